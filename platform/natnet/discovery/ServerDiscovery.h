// NatNet server discovery: NAT_DISCOVERY announcements to the configured
// targets, NAT_SERVERINFO replies turned into sNatNetDiscoveredServer records.
//
// Asynchronous use: start() runs a thread ("natnet-discover") that announces
// at once and then every interval, and calls the callback for every reply
// (finding the same server again is reported again; de-duplication is the
// caller's). stop() joins the thread; no callback runs after it returns. Like
// the client, the object is shared with its thread so that stopping from
// inside the callback is safe.
//
// Blocking use: collect() announces once and gathers the distinct servers
// that answer within the timeout.
#pragma once

#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/NamedThread.h"
#include "natnet/transport/UdpSocket.h"

#include "NatNetCAPI.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace NatNet::Net {

class ServerDiscovery : public std::enable_shared_from_this<ServerDiscovery>
{
public:
    using Callback = std::function<void(const sNatNetDiscoveredServer&)>;

    ServerDiscovery(std::vector<Ipv4Endpoint> targets, int intervalMs);
    ~ServerDiscovery();
    ServerDiscovery(const ServerDiscovery&) = delete;
    ServerDiscovery& operator=(const ServerDiscovery&) = delete;

    ErrorCode start(Callback callback);
    void stop();

    // Distinct servers (by address and command port) that answered within timeoutMs.
    ErrorCode collect(int timeoutMs, std::vector<sNatNetDiscoveredServer>& servers);

    // Turns one datagram into a record; false when it is not a server information.
    static bool decodeReply(const uint8_t* data, size_t size, Ipv4Endpoint from, uint32_t localAddress,
                            sNatNetDiscoveredServer& out);

private:
    ErrorCode openSocket();
    void announce();
    void waitForReplies();
    void onReadable();
    void scheduleAnnouncement();
    void run();

    std::vector<Ipv4Endpoint> m_targets;
    int m_intervalMs;
    std::vector<uint8_t> m_announcement;
    std::vector<uint8_t> m_buffer;

    boost::asio::io_context m_io;
    UdpSocket m_socket;
    boost::asio::steady_timer m_timer;
    Callback m_callback;
    std::vector<sNatNetDiscoveredServer>* m_collected = nullptr;

    NamedThread m_thread;
    std::atomic<bool> m_stopping{false};
};

}  // namespace NatNet::Net
