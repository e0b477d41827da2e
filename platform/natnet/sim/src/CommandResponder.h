// The simulator's answers on its command socket: CONNECT and DISCOVERY with
// the server information (registering unicast clients), requests by command,
// model definitions per client version, echoes with the server clock; never
// keep-alives. Follows the script in ServerState (drops, silence, overrides).
//
// Not thread-safe by itself: respond() runs on the command thread with the
// state's lock held.
#pragma once

#include "ServerClock.h"
#include "ServerState.h"

#include "natnet/transport/Ipv4Text.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/sim/SimulatorConfig.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace NatNet::Sim::Internal {

class CommandResponder
{
public:
    CommandResponder(const SimulatorConfig& config, ServerState& state, const ServerClock& clock);

    // Where frames go, as the server information advertises it (group 0 in unicast).
    void setDataEndpoint(Net::Ipv4Endpoint group) { m_group = group; }

    // Handles one message (lock held); returns the size of the reply in reply()
    // (0: no answer).
    size_t respond(const Wire::Datagram& message, Net::Ipv4Endpoint from, uint64_t receivedTicks);
    const uint8_t* reply() const { return m_replyBuffer.data(); }
    // The NAT_SERVERINFO a NAT_CONNECT would get, optionally claiming another
    // bitstream version (lock held); empty when it cannot be encoded.
    std::vector<uint8_t> serverInfoMessageLocked(const std::array<uint8_t, 4>* claimedVersion) const;

private:
    bool dropKind(MessageKind kind);
    Wire::ServerInfo serverInfoLocked() const;
    Wire::Version versionFor(Net::Ipv4Endpoint endpoint);
    void registerClient(const Wire::Datagram& message, Net::Ipv4Endpoint from, uint64_t nowNs);
    void unregisterClient(Net::Ipv4Endpoint from);
    void encodeModelDefinitionsLocked(Wire::ByteWriter& out, Wire::Version version);
    size_t handleRequestLocked(const Wire::Datagram& message, Net::Ipv4Endpoint from, Wire::ByteWriter& out);
    bool builtInAnswerLocked(const std::string& key, std::string_view argument, Net::Ipv4Endpoint from,
                             Wire::ByteWriter& out);
    void answerBitstreamLocked(std::string_view argument, Net::Ipv4Endpoint from, Wire::ByteWriter& out);

    const SimulatorConfig& m_config;
    ServerState& m_state;
    const ServerClock& m_clock;
    Net::Ipv4Endpoint m_group;
    std::vector<uint8_t> m_replyBuffer;
    std::unique_ptr<sDataDescriptions> m_filtered;  // the kinds one version carries
};

}  // namespace NatNet::Sim::Internal
