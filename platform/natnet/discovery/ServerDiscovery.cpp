#include "ServerDiscovery.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"

#include "LibraryVersion.h"
#include "Log.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace NatNet::Net {

namespace {

constexpr size_t kReceiveBufferSize = 65536;

}  // namespace

ServerDiscovery::ServerDiscovery(std::vector<Ipv4Endpoint> targets, int intervalMs)
    : m_targets(std::move(targets)),
      m_intervalMs(std::max(intervalMs, 1)),
      m_buffer(kReceiveBufferSize),
      m_socket(m_io),
      m_timer(m_io)
{
    // The vendor's library announces with its sender block (264 bytes).
    Wire::ConnectRequest request;
    request.hasSender = true;
    request.sender.setName(Internal::kLibraryName);
    std::memcpy(request.sender.version, Internal::kLibraryVersion, 4);
    std::memcpy(request.sender.natNetVersion, Internal::kLibraryVersion, 4);
    m_announcement.resize(Wire::kHeaderSize + Wire::kSenderSize);
    Wire::ByteWriter writer(m_announcement.data(), m_announcement.size());
    Wire::encodeConnect(writer, request, Wire::MessageId::Discovery);
    m_announcement.resize(writer.size());
}

ServerDiscovery::~ServerDiscovery()
{
    // From the discovery thread itself (the last owner let go in the callback) the
    // thread is left to end on its own.
    m_stopping.store(true);
    m_thread.stop();
}

ErrorCode ServerDiscovery::openSocket()
{
    UdpSocketOptions options;
    options.broadcast = true;
    options.receiveBufferBytes = 256 * 1024;
    if (const std::error_code ec = m_socket.open({0, 0}, options)) {
        Internal::logMessage(Verbosity_Error,
                             ("NatNet: cannot open the discovery socket: " + ec.message()).c_str());
        return ErrorCode_Network;
    }
    // Without it the local address is taken from the routing table instead.
    (void)m_socket.enableLocalAddressReport();
    return ErrorCode_OK;
}

void ServerDiscovery::announce()
{
    for (const Ipv4Endpoint& target : m_targets) {
        (void)m_socket.sendTo(m_announcement.data(), m_announcement.size(), target);
    }
}

bool ServerDiscovery::decodeReply(const uint8_t* data, size_t size, Ipv4Endpoint from, uint32_t localAddress,
                                  sNatNetDiscoveredServer& out)
{
    Wire::Datagram datagram;
    if (Wire::decodeDatagram(data, size, datagram) != Wire::Status::Ok ||
        datagram.messageId != static_cast<uint16_t>(Wire::MessageId::ServerInfo)) {
        return false;
    }
    Wire::ServerInfo info;
    if (Wire::decodeServerInfo(datagram.payload, datagram.payloadSize, info) != Wire::Status::Ok) {
        return false;
    }
    std::memset(&out, 0, sizeof(out));
    formatIpv4(localAddress, out.localAddress);
    formatIpv4(from.address, out.serverAddress);
    out.serverCommandPort = from.port;
    uint8_t host[4];
    ipv4ToBytes(from.address, host);
    Wire::fillServerDescription(info, host, out.serverDescription);
    return true;
}

void ServerDiscovery::waitForReplies()
{
    m_socket.asyncWaitReadable([this](std::error_code ec) {
        if (ec || m_stopping.load()) {
            return;
        }
        onReadable();
        waitForReplies();
    });
}

void ServerDiscovery::onReadable()
{
    for (;;) {
        size_t size = 0;
        Ipv4Endpoint from;
        uint32_t localAddress = 0;
        const std::error_code ec =
            m_socket.receiveNow(m_buffer.data(), m_buffer.size(), size, from, localAddress);
        if (ec) {
            return;  // nothing more waiting (or a transient error: wait again)
        }
        sNatNetDiscoveredServer server;
        if (!decodeReply(m_buffer.data(), size, from, localAddress, server)) {
            continue;
        }
        if (m_collected != nullptr) {
            const bool known = std::any_of(m_collected->begin(), m_collected->end(), [&](const auto& other) {
                return std::strcmp(other.serverAddress, server.serverAddress) == 0 &&
                       other.serverCommandPort == server.serverCommandPort;
            });
            if (!known) {
                m_collected->push_back(server);
            }
        }
        if (m_callback && !m_stopping.load()) {
            m_callback(server);
        }
        if (m_stopping.load()) {
            return;
        }
    }
}

void ServerDiscovery::scheduleAnnouncement()
{
    m_timer.expires_after(std::chrono::milliseconds(m_intervalMs));
    m_timer.async_wait([this](const boost::system::error_code& ec) {
        if (ec || m_stopping.load()) {
            return;
        }
        announce();
        scheduleAnnouncement();
    });
}

ErrorCode ServerDiscovery::start(Callback callback)
{
    if (const ErrorCode error = openSocket()) {
        return error;
    }
    m_callback = std::move(callback);
    // Set up before the thread starts; from then on only the thread uses the socket.
    announce();
    waitForReplies();
    scheduleAnnouncement();
    m_thread.start(
        "natnet-discover", [self = shared_from_this()] { self->run(); }, [this] { m_io.stop(); });
    return ErrorCode_OK;
}

void ServerDiscovery::run()
{
    NamedThread::serve(m_io, [](const char* what) {
        Internal::logMessage(Verbosity_Error, (std::string("NatNet: discovery thread: ") + what).c_str());
    });
}

void ServerDiscovery::stop()
{
    m_stopping.store(true);
    m_thread.stop();
}

ErrorCode ServerDiscovery::collect(int timeoutMs, std::vector<sNatNetDiscoveredServer>& servers)
{
    servers.clear();
    if (const ErrorCode error = openSocket()) {
        return error;
    }
    m_collected = &servers;
    announce();
    waitForReplies();
    m_io.run_for(std::chrono::milliseconds(std::max(timeoutMs, 0)));
    m_collected = nullptr;
    m_socket.close();
    return ErrorCode_OK;
}

}  // namespace NatNet::Net
