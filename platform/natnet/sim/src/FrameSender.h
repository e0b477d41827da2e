// Sends frames from the simulator's data socket: to the group in multicast,
// else to every registered unicast client, each encoded in the bitstream
// version of its receiver; the first frame after a client's version change
// carries params bit 3. Any thread may send; sends are serialised.
#pragma once

#include "ServerState.h"

#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/UdpSocket.h"

#include "natnet/codec/Version.h"
#include "natnet/sim/SimulatorConfig.h"

#include "NatNetTypes.h"

#include <boost/asio/io_context.hpp>

#include <mutex>
#include <vector>

namespace NatNet::Sim::Internal {

class FrameSender
{
public:
    FrameSender(const SimulatorConfig& config, ServerState& state, boost::asio::io_context& io);

    // Opened and bound by the simulator before enable().
    Net::UdpSocket& socket() { return m_socket; }
    // A second socket on the server's address but another port (misbehaviour).
    Net::UdpSocket& otherSocket() { return m_otherSocket; }
    // From now on frames go out; in multicast to `group` (address and data port).
    void enable(Net::Ipv4Endpoint group);
    // Waits for a send in progress, then closes the socket; later sends do nothing.
    void disable();

    // Returns the number of datagrams sent.
    int sendFrame(const sFrameOfMocapData& frame);
    // The same frame from otherSocket(): what a receiver must not take for the server's.
    int sendFrameFromOtherPort(const sFrameOfMocapData& frame);
    int sendRawDatagram(const void* bytes, size_t size);

private:
    struct Target
    {
        Net::Ipv4Endpoint endpoint;
        Wire::Version version;
        bool versionChanged = false;
    };

    void collectTargets();
    void countSent(int datagrams);
    int sendFrameVia(Net::UdpSocket& socket, const sFrameOfMocapData& frame);

    const SimulatorConfig& m_config;
    ServerState& m_state;
    Net::UdpSocket m_socket;
    Net::UdpSocket m_otherSocket;

    std::mutex m_sendMutex;  // guards everything below
    bool m_enabled = false;
    Net::Ipv4Endpoint m_group;
    std::vector<uint8_t> m_frameBuffer;
    std::vector<Target> m_targets;  // reused: no allocation per frame
};

}  // namespace NatNet::Sim::Internal
