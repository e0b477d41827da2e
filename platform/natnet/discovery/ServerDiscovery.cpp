#include "ServerDiscovery.h"

#include "natnet/transport/ThreadName.h"

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
    : targets_(std::move(targets)),
      intervalMs_(std::max(intervalMs, 1)),
      buffer_(kReceiveBufferSize),
      socket_(io_),
      timer_(io_)
{
    // The vendor's library announces with its sender block (264 bytes).
    Wire::ConnectRequest request;
    request.hasSender = true;
    request.sender.setName(Internal::kLibraryName);
    std::memcpy(request.sender.version, Internal::kLibraryVersion, 4);
    std::memcpy(request.sender.natNetVersion, Internal::kLibraryVersion, 4);
    announcement_.resize(Wire::kHeaderSize + Wire::kSenderSize);
    Wire::ByteWriter writer(announcement_.data(), announcement_.size());
    Wire::encodeConnect(writer, request, Wire::MessageId::Discovery);
    announcement_.resize(writer.size());
}

ServerDiscovery::~ServerDiscovery()
{
    stopping_.store(true);
    io_.stop();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

ErrorCode ServerDiscovery::openSocket()
{
    UdpSocketOptions options;
    options.broadcast = true;
    options.receiveBufferBytes = 256 * 1024;
    if (const std::error_code ec = socket_.open({0, 0}, options)) {
        Internal::logMessage(Verbosity_Error,
                             ("NatNet: cannot open the discovery socket: " + ec.message()).c_str());
        return ErrorCode_Network;
    }
    // Without it the local address is taken from the routing table instead.
    (void)socket_.enableLocalAddressReport();
    return ErrorCode_OK;
}

void ServerDiscovery::announce()
{
    for (const Ipv4Endpoint& target : targets_) {
        (void)socket_.sendTo(announcement_.data(), announcement_.size(), target);
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
    socket_.asyncWaitReadable([this](std::error_code ec) {
        if (ec || stopping_.load()) {
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
            socket_.receiveNow(buffer_.data(), buffer_.size(), size, from, localAddress);
        if (ec) {
            return;  // nothing more waiting (or a transient error: wait again)
        }
        sNatNetDiscoveredServer server;
        if (!decodeReply(buffer_.data(), size, from, localAddress, server)) {
            continue;
        }
        if (collected_ != nullptr) {
            const bool known = std::any_of(collected_->begin(), collected_->end(), [&](const auto& other) {
                return std::strcmp(other.serverAddress, server.serverAddress) == 0 &&
                       other.serverCommandPort == server.serverCommandPort;
            });
            if (!known) {
                collected_->push_back(server);
            }
        }
        if (callback_ && !stopping_.load()) {
            callback_(server);
        }
        if (stopping_.load()) {
            return;
        }
    }
}

void ServerDiscovery::scheduleAnnouncement()
{
    timer_.expires_after(std::chrono::milliseconds(intervalMs_));
    timer_.async_wait([this](const boost::system::error_code& ec) {
        if (ec || stopping_.load()) {
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
    callback_ = std::move(callback);
    // Set up before the thread starts; from then on only the thread uses the socket.
    announce();
    waitForReplies();
    scheduleAnnouncement();
    std::lock_guard<std::mutex> lock(startMutex_);
    thread_ = std::thread([self = shared_from_this()] { self->run(); });
    return ErrorCode_OK;
}

void ServerDiscovery::run()
{
    {
        std::lock_guard<std::mutex> lock(startMutex_);
    }
    setCurrentThreadName("natnet-discover");
    while (!stopping_.load()) {
        try {
            io_.run();
            break;
        } catch (const std::exception& error) {
            Internal::logMessage(Verbosity_Error,
                                 (std::string("NatNet: discovery thread: ") + error.what()).c_str());
        } catch (...) {
            Internal::logMessage(Verbosity_Error, "NatNet: discovery thread: unknown exception");
        }
    }
}

void ServerDiscovery::stop()
{
    stopping_.store(true);
    io_.stop();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

ErrorCode ServerDiscovery::collect(int timeoutMs, std::vector<sNatNetDiscoveredServer>& servers)
{
    servers.clear();
    if (const ErrorCode error = openSocket()) {
        return error;
    }
    collected_ = &servers;
    announce();
    waitForReplies();
    io_.run_for(std::chrono::milliseconds(std::max(timeoutMs, 0)));
    collected_ = nullptr;
    socket_.close();
    return ErrorCode_OK;
}

}  // namespace NatNet::Net
