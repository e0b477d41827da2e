#include "ClientSession.h"

#include "natnet/transport/ThreadName.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameCodec.h"

#include "LibraryVersion.h"
#include "Log.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string>

namespace NatNet::Net {

namespace {

thread_local ClientSession* tCurrentSession = nullptr;

// Large enough for the largest UDP datagram.
constexpr size_t kReceiveBufferSize = 65536;
// A generous kernel buffer: at 10 kHz a short stall of the receive thread must
// not overflow it (the kernel caps it at its configured maximum).
constexpr int kSocketReceiveBytes = 4 * 1024 * 1024;

constexpr uint32_t kDefaultMulticastGroup = (239u << 24) | (255u << 16) | (42u << 8) | 99u;

bool versionIsZero(const uint8_t (&version)[4])
{
    return version[0] == 0 && version[1] == 0 && version[2] == 0 && version[3] == 0;
}

void logLine(Verbosity level, const std::string& text)
{
    Internal::logMessage(level, text.c_str());
}

}  // namespace

ClientSession::ClientSession(std::shared_ptr<ClientShared> shared, const SessionConfig& config)
    : shared_(std::move(shared)),
      config_(config),
      work_(boost::asio::make_work_guard(io_)),
      commandSocket_(io_),
      dataSocket_(io_),
      echoTimer_(io_),
      keepAliveTimer_(io_),
      ledger_(std::chrono::milliseconds(config.timeouts.lateAnswerMs))
{
}

ClientSession::~ClientSession()
{
    stopping_.store(true, std::memory_order_release);
    io_.stop();
    if (frameSocket_ != nullptr) {
        frameSocket_->shutdownReceive();
    }
    for (std::thread* thread : {&ioThread_, &receiveThread_}) {
        if (!thread->joinable()) {
            continue;
        }
        // The last owner may be one of the session's own threads (a client destroyed
        // in its own callback); it cannot join itself and ends right after this.
        if (thread->get_id() == std::this_thread::get_id()) {
            thread->detach();
        } else {
            thread->join();
        }
    }
}

ClientSession* ClientSession::current()
{
    return tCurrentSession;
}

ErrorCode ClientSession::openCommandSocket()
{
    UdpSocketOptions options;
    options.receiveBufferBytes = kSocketReceiveBytes;
    const std::error_code ec = commandSocket_.open({config_.localAddress, 0}, options);
    if (ec) {
        logLine(Verbosity_Error, "NatNet: cannot open the command socket on " +
                                     formatIpv4(config_.localAddress) + ": " + ec.message());
        return ErrorCode_Network;
    }
    return ErrorCode_OK;
}

ErrorCode ClientSession::openDataSocket()
{
    const sServerDescription description = shared_->serverDescription();
    uint32_t group = kDefaultMulticastGroup;
    if (config_.multicastGroup) {
        group = *config_.multicastGroup;
    } else if (description.bConnectionInfoValid && description.ConnectionMulticast &&
               Net::isMulticast(ipv4FromBytes(description.ConnectionMulticastAddress))) {
        group = ipv4FromBytes(description.ConnectionMulticastAddress);
    }
    uint16_t port = NATNET_DEFAULT_PORT_DATA;
    if (config_.dataPort != 0) {
        port = config_.dataPort;
    } else if (description.bConnectionInfoValid && description.ConnectionDataPort != 0) {
        port = description.ConnectionDataPort;
    }

    UdpSocketOptions options;
    options.reuseAddress = true;  // several clients on one host share the data port
    options.receiveBufferBytes = kSocketReceiveBytes;
#if defined(__linux__) || defined(__APPLE__)
    // Bound to the group, the socket gets that group's datagrams and nothing else on the port.
    const uint32_t bindAddress = group;
#else
    const uint32_t bindAddress = 0;
#endif
    std::error_code ec = dataSocket_.open({bindAddress, port}, options);
    if (!ec) {
        ec = dataSocket_.joinMulticast(group, config_.localAddress);
    }
    if (ec) {
        logLine(Verbosity_Error, "NatNet: cannot receive multicast group " + formatIpv4(group) + ":" +
                                     std::to_string(port) + " on " + formatIpv4(config_.localAddress) + ": " +
                                     ec.message());
        dataSocket_.close();
        return ErrorCode_Network;
    }
    // From here on only natnet-recv reads the data socket.
    startReceiveThread(dataSocket_);
    return ErrorCode_OK;
}

std::vector<uint8_t> ClientSession::encodeConnectDatagram() const
{
    Wire::ConnectRequest request;
    request.hasSender = true;
    request.sender.setName(Internal::kLibraryName);
    std::memcpy(request.sender.version, Internal::kLibraryVersion, 4);
    std::memcpy(request.sender.natNetVersion, Internal::kLibraryVersion, 4);
    request.hasOptions = true;
    request.subscribedDataOnly = config_.subscribedDataOnly;
    std::memcpy(request.bitstreamVersion, config_.bitstreamVersion, 4);
    std::vector<uint8_t> datagram(Wire::kHeaderSize + Wire::kSenderSize + Wire::kConnectOptionsSize);
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    Wire::encodeConnect(writer, request, Wire::MessageId::Connect);
    datagram.resize(writer.size());
    return datagram;
}

std::vector<uint8_t> ClientSession::encodeKeepAliveDatagram() const
{
    // The vendor's library sends its sender block with every keep-alive.
    Wire::ConnectRequest block;
    block.hasSender = true;
    block.sender.setName(Internal::kLibraryName);
    std::memcpy(block.sender.version, Internal::kLibraryVersion, 4);
    std::memcpy(block.sender.natNetVersion, Internal::kLibraryVersion, 4);
    std::vector<uint8_t> senderDatagram(Wire::kHeaderSize + Wire::kSenderSize);
    Wire::ByteWriter senderWriter(senderDatagram.data(), senderDatagram.size());
    Wire::encodeConnect(senderWriter, block, Wire::MessageId::Connect);

    std::vector<uint8_t> datagram(Wire::kHeaderSize + Wire::kSenderSize);
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    Wire::encodeMessage(writer, static_cast<uint16_t>(Wire::MessageId::KeepAlive),
                        senderDatagram.data() + Wire::kHeaderSize, senderWriter.size() - Wire::kHeaderSize);
    datagram.resize(writer.size());
    return datagram;
}

void ClientSession::startIoThread()
{
    std::lock_guard<std::mutex> lock(startMutex_);
    ioThread_ = std::thread([self = shared_from_this()] { self->runIo(); });
}

void ClientSession::startReceiveThread(UdpSocket& socket)
{
    std::lock_guard<std::mutex> lock(startMutex_);
    frameSocket_ = &socket;
    receiveThread_ = std::thread([self = shared_from_this(), &socket] { self->runReceive(socket); });
}

void ClientSession::runIo()
{
    {
        // Wait until the starting thread has stored the thread.
        std::lock_guard<std::mutex> lock(startMutex_);
    }
    setCurrentThreadName("natnet-io");
    tCurrentSession = this;
    while (!isStopping()) {
        try {
            io_.run();
            break;
        } catch (const std::exception& error) {
            logLine(Verbosity_Error, std::string("NatNet: io thread: ") + error.what());
        } catch (...) {
            logLine(Verbosity_Error, "NatNet: io thread: unknown exception");
        }
    }
    tCurrentSession = nullptr;
}

void ClientSession::runReceive(UdpSocket& socket)
{
    {
        std::lock_guard<std::mutex> lock(startMutex_);
    }
    setCurrentThreadName("natnet-recv");
    tCurrentSession = this;
    // Bounds the wait should stop()'s wake-up be missed.
    constexpr int kWakeCheckMs = 250;
    DatagramBatch batch;
    while (!isStopping()) {
        try {
            if (const std::error_code ec = socket.receiveWaiting(batch, kWakeCheckMs)) {
                // Not for a stray ICMP error (connection refused after a send): the socket stays usable.
                if (ec != std::errc::connection_refused) {
                    logLine(Verbosity_Error, "NatNet: receive: " + ec.message());
                    break;
                }
                continue;
            }
            for (size_t i = 0; i < batch.count() && !isStopping(); ++i) {
                onDatagram(batch.data(i), batch.size(i), batch.sender(i));
            }
        } catch (const std::exception& error) {
            logLine(Verbosity_Error, std::string("NatNet: receive thread: ") + error.what());
        } catch (...) {
            logLine(Verbosity_Error, "NatNet: receive thread: unknown exception");
        }
    }
    tCurrentSession = nullptr;
}

ErrorCode ClientSession::connect()
{
    shared_->clearServerDescription();
    shared_->setDecodeVersion(Wire::Version());
    shared_->clock.reset(0);
    shared_->rigidBodies.clear();
    // Until the server advertises its data port, frames must come from the configured one.
    dataSourcePort_ =
        config_.dataPort != 0 ? config_.dataPort : static_cast<uint16_t>(NATNET_DEFAULT_PORT_DATA);

    if (const ErrorCode error = openCommandSocket()) {
        return error;
    }
    connectDatagram_ = encodeConnectDatagram();
    keepAliveDatagram_ = encodeKeepAliveDatagram();
    if (config_.multicast) {
        // Answers come to the command socket, frames to the data socket (once it is open).
        // The first receive starts before the thread so that Asio sets up the socket here,
        // before any other thread uses it.
        answerBuffer_.resize(kReceiveBufferSize);
        receiveAnswers();
    } else {
        startReceiveThread(commandSocket_);
    }
    startIoThread();

    // The server information is applied by the receive thread as it arrives.
    std::array<uint8_t, 1024> buffer{};
    Request request;
    request.datagram = connectDatagram_.data();
    request.size = connectDatagram_.size();
    request.answer = AnswerKind::ServerInfo;
    request.tries = config_.timeouts.connectTries;
    request.timeoutMs = config_.timeouts.connectTryMs;
    Reply reply{buffer.data(), buffer.size()};
    const ErrorCode result = exchange(request, reply);
    if (result != ErrorCode_OK) {
        logLine(Verbosity_Error, "NatNet: no answer from server " + formatIpv4(config_.server.address) + ":" +
                                     std::to_string(config_.server.port) + " to the connect request");
        return result;
    }
    if (config_.multicast) {
        if (const ErrorCode error = openDataSocket()) {
            return error;
        }
    }
    boost::asio::post(io_, [this] { startTimers(); });
    return ErrorCode_OK;
}

ErrorCode ClientSession::exchange(const Request& request, Reply& reply)
{
    reply.size = 0;
    reply.messageId = 0;
    const uint64_t question = RequestLedger::questionOf(request.datagram, request.size);
    if (!ledger_.open(request.answer, question, reply.buffer, reply.capacity)) {
        return ErrorCode_Network;
    }
    bool answered = false;
    for (int attempt = 0; attempt < request.tries && !answered && !isStopping(); ++attempt) {
        // Noted before sending: an answer may come back before send() returns.
        ledger_.noteTry();
        send(request.datagram, request.size);
        bump(shared_->counters.requestsSent);
        answered = ledger_.waitAnswered(std::chrono::steady_clock::now() +
                                        std::chrono::milliseconds(request.timeoutMs));
    }
    const RequestLedger::Outcome outcome = ledger_.close();
    if (outcome.answered) {
        reply.size = outcome.size;
        reply.messageId = outcome.messageId;
        return ErrorCode_OK;
    }
    if (!isStopping()) {
        bump(shared_->counters.requestTimeouts);
    }
    return ErrorCode_Network;
}

void ClientSession::sendDisconnectRequest()
{
    if (config_.multicast || !commandSocket_.isOpen()) {
        return;
    }
    static constexpr char kText[] = "Disconnect";
    std::array<uint8_t, Wire::kHeaderSize + sizeof(kText)> datagram{};
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    if (Wire::encodeRequest(writer, kText) == Wire::Status::Ok) {
        send(datagram.data(), writer.size());
    }
}

void ClientSession::stop()
{
    stopping_.store(true, std::memory_order_release);
    ledger_.stop();
    io_.stop();
    UdpSocket* frameSocket = nullptr;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        frameSocket = frameSocket_;
    }
    if (frameSocket != nullptr) {
        frameSocket->shutdownReceive();
    }
    if (current() != this) {
        for (std::thread* thread : {&ioThread_, &receiveThread_}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
    }
}

void ClientSession::send(const uint8_t* datagram, size_t size)
{
    // Losses are the protocol's business (requests retry, timers repeat).
    (void)commandSocket_.sendTo(datagram, size, config_.server);
}

void ClientSession::receiveAnswers()
{
    commandSocket_.asyncReceive(answerBuffer_.data(), answerBuffer_.size(),
                                [this](std::error_code ec, size_t size, Ipv4Endpoint from) {
                                    if (ec == std::errc::operation_canceled || isStopping()) {
                                        return;
                                    }
                                    if (!ec) {
                                        onDatagram(answerBuffer_.data(), size, from);
                                    }
                                    if (!isStopping() && commandSocket_.isOpen()) {
                                        receiveAnswers();
                                    }
                                });
}

void ClientSession::onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from)
{
    AtomicCounters& counters = shared_->counters;
    bump(counters.datagramsReceived);
    if (from.address != config_.server.address) {
        bump(counters.droppedForeignSender);
        return;
    }
    Wire::Datagram datagram;
    if (Wire::decodeDatagram(data, size, datagram) != Wire::Status::Ok) {
        bump(counters.droppedMalformed);
        return;
    }
    // Frames come from the server's data port, everything else from its command port.
    const bool fromCommandPort = from.port == config_.server.port;
    const auto id = static_cast<Wire::MessageId>(datagram.messageId);
    const bool expectedPort = id == Wire::MessageId::FrameOfData
                                  ? from.port == dataSourcePort_.load(std::memory_order_relaxed)
                                  : fromCommandPort;
    if (!expectedPort) {
        bump(counters.droppedForeignSender);
        return;
    }
    switch (id) {
        case Wire::MessageId::FrameOfData:
            onFrame(datagram.payload, datagram.payloadSize);
            return;
        case Wire::MessageId::ServerInfo:
            onServerInfo(datagram.payload, datagram.payloadSize, from);
            return;
        case Wire::MessageId::Response:
        case Wire::MessageId::UnrecognizedRequest:
            onAnswer(AnswerKind::Response, datagram.messageId, datagram.payload, datagram.payloadSize);
            return;
        case Wire::MessageId::ModelDef:
            onAnswer(AnswerKind::ModelDef, datagram.messageId, datagram.payload, datagram.payloadSize);
            return;
        case Wire::MessageId::EchoResponse:
            onEchoResponse(datagram.payload, datagram.payloadSize);
            return;
        default:
            onUnknownMessage(datagram.messageId, datagram.payload, datagram.payloadSize);
            return;
    }
}

void ClientSession::onAnswer(AnswerKind kind, uint16_t id, const uint8_t* payload, size_t size)
{
    switch (ledger_.settle(kind, id, payload, size)) {
        case AnswerVerdict::Answer:
        case AnswerVerdict::Unawaited:
            return;
        case AnswerVerdict::Late:
        case AnswerVerdict::Duplicate:
            bump(shared_->counters.droppedLateAnswer);
            return;
        case AnswerVerdict::Unsolicited:
            bump(shared_->counters.droppedUnsolicited);
            return;
    }
}

void ClientSession::onFrame(const uint8_t* payload, size_t size)
{
    AtomicCounters& counters = shared_->counters;
    sFrameOfMocapData& frame = shared_->frame();
    const Wire::Status status =
        Wire::decodeFrame(payload, size, shared_->decodeVersion(), shared_->frameStorage(), frame);
    if (status != Wire::Status::Ok) {
        reportBadFrame(status);
        return;
    }
    const uint64_t nowNs = ClockSync::localNowNs();
    if (!config_.multicast) {
        lastFrameNs_.store(nowNs, std::memory_order_relaxed);  // the server streams to us, whatever the order
    }
    const FrameVerdict verdict = frameOrder_.admit(frame.iFrame, nowNs);
    counters.framesMissing.store(frameOrder_.missing(), std::memory_order_relaxed);
    if (verdict == FrameVerdict::Old) {
        bump(counters.droppedOldFrame);
        return;
    }
    if (verdict == FrameVerdict::Restart) {
        reportRestart(lastFrameNumber_, frame.iFrame);
    }
    lastFrameNumber_ = frame.iFrame;
    bump(counters.framesDecoded);
    shared_->rigidBodies.record(frame);
    NatNetFrameReceivedCallback callback = nullptr;
    void* context = nullptr;
    shared_->frameCallback(callback, context);
    if (callback != nullptr && !isStopping()) {
        callback(&frame, context);
    }
}

void ClientSession::reportBadFrame(Wire::Status status)
{
    AtomicCounters& counters = shared_->counters;
    bump(counters.droppedBadFrame);
    counters.lastBadFrameStatus.store(static_cast<uint16_t>(status), std::memory_order_relaxed);
    // A server speaking another layout fails every frame: say so, but once a second at most.
    constexpr uint64_t kReportIntervalNs = 1'000'000'000;
    ++badFramesUnreported_;
    const uint64_t nowNs = ClockSync::localNowNs();
    if (lastBadFrameReportNs_ != 0 && nowNs - lastBadFrameReportNs_ < kReportIntervalNs) {
        return;
    }
    const Wire::Version version = shared_->decodeVersion();
    logLine(Verbosity_Warning, "NatNet: " + std::to_string(badFramesUnreported_) +
                                   " frame(s) not decoded (last: " + Wire::statusName(status) +
                                   ", bitstream " + std::to_string(version.major) + "." +
                                   std::to_string(version.minor) + ")");
    badFramesUnreported_ = 0;
    lastBadFrameReportNs_ = nowNs;
}

void ClientSession::reportRestart(int32_t from, int32_t to)
{
    bump(shared_->counters.frameNumberRestarts);
    logLine(Verbosity_Info, "NatNet: frame numbers jumped from " + std::to_string(from) + " to " +
                                std::to_string(to) + " (server restarted or playback looped); following");
}

void ClientSession::onServerInfo(const uint8_t* payload, size_t size, Ipv4Endpoint from)
{
    // Only the answer to a connect of ours describes the server: anything else
    // (a late repeat, another program's traffic) must not switch the decoder.
    const RequestLedger::Claim claim = ledger_.claim(
        AnswerKind::ServerInfo, static_cast<uint16_t>(Wire::MessageId::ServerInfo), payload, size);
    if (claim.verdict == AnswerVerdict::Unsolicited) {
        bump(shared_->counters.droppedUnsolicited);
        return;
    }
    if (claim.verdict == AnswerVerdict::Late || claim.verdict == AnswerVerdict::Duplicate) {
        bump(shared_->counters.droppedLateAnswer);
        return;
    }
    Wire::ServerInfo info;
    if (Wire::decodeServerInfo(payload, size, info) == Wire::Status::Ok) {
        uint8_t host[4];
        ipv4ToBytes(from.address, host);
        sServerDescription description;
        Wire::fillServerDescription(info, host, description);
        const Wire::Version serverVersion = Wire::Version::fromBytes(info.sender.natNetVersion);
        Wire::Version decodeVersion = serverVersion;
        // A unicast client may ask a NatNet 4 server for an older layout when it connects.
        if (!config_.multicast && !versionIsZero(config_.bitstreamVersion) && serverVersion.major >= 4) {
            decodeVersion = Wire::Version::fromBytes(config_.bitstreamVersion);
        }
        shared_->setServerDescription(description);
        shared_->setDecodeVersion(decodeVersion);
        // Repeated server information (a repeated CONNECT) keeps the clock model;
        // a jump of the server's clock is noticed by the model itself.
        shared_->clock.setFrequency(info.highResClockFrequency);
        if (const uint16_t advertised = advertisedDataPort()) {
            dataSourcePort_.store(advertised, std::memory_order_relaxed);
        }
    } else {
        // An answer that describes no host: the connection stands, HostPresent stays false.
        bump(shared_->counters.droppedMalformed);
    }
    if (claim.verdict == AnswerVerdict::Answer &&
        !ledger_.complete(claim, static_cast<uint16_t>(Wire::MessageId::ServerInfo), payload, size)) {
        bump(shared_->counters.droppedLateAnswer);
    }
}

uint16_t ClientSession::advertisedDataPort() const
{
    const sServerDescription description = shared_->serverDescription();
    return description.bConnectionInfoValid ? description.ConnectionDataPort : uint16_t{0};
}

void ClientSession::onEchoResponse(const uint8_t* payload, size_t size)
{
    Wire::EchoResponse response;
    if (Wire::decodeEchoResponse(payload, size, response) != Wire::Status::Ok) {
        bump(shared_->counters.droppedMalformed);
        return;
    }
    if (shared_->clock.addSample(response.requestStamp, ClockSync::localNowNs(), response.serverTicks)) {
        bump(shared_->counters.echoResponsesReceived);
    } else {
        bump(shared_->counters.droppedStaleReply);
    }
}

void ClientSession::onUnknownMessage(uint16_t id, const uint8_t* payload, size_t size)
{
    NatNetUnknownMessageCallback callback = nullptr;
    void* context = nullptr;
    shared_->unknownMessageCallback(callback, context);
    if (callback == nullptr || isStopping()) {
        bump(shared_->counters.droppedUnexpected);
        return;
    }
    sPacket& packet = shared_->packet();
    const size_t kept = std::min<size_t>(size, MAX_PACKETSIZE);
    packet.iMessage = id;
    packet.nDataBytes = static_cast<uint16_t>(kept);
    if (kept > 0) {
        std::memcpy(packet.Data.cData, payload, kept);
    }
    bump(shared_->counters.unknownMessages);
    callback(&packet, context);
}

void ClientSession::startTimers()
{
    if (isStopping()) {
        return;
    }
    lastFrameNs_.store(ClockSync::localNowNs(), std::memory_order_relaxed);
    echoTimer_.expires_after(std::chrono::milliseconds(0));
    echoTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) {
            onEchoTimer();
        }
    });
    if (!config_.multicast) {
        keepAliveTimer_.expires_after(std::chrono::milliseconds(config_.timeouts.keepAliveMs));
        keepAliveTimer_.async_wait([this](const boost::system::error_code& ec) {
            if (!ec) {
                onKeepAliveTimer();
            }
        });
    }
}

namespace {

// Next expiry of a periodic timer: one period later, but not in the past
// (after a stall the timer does not fire a burst to catch up).
std::chrono::steady_clock::time_point nextExpiry(std::chrono::steady_clock::time_point previous, int periodMs)
{
    const auto next = previous + std::chrono::milliseconds(periodMs);
    return std::max(next, std::chrono::steady_clock::now());
}

}  // namespace

void ClientSession::onEchoTimer()
{
    if (isStopping()) {
        return;
    }
    std::array<uint8_t, 32> datagram{};
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    if (Wire::encodeEchoRequest(writer, ClockSync::localNowNs()) == Wire::Status::Ok) {
        send(datagram.data(), writer.size());
        bump(shared_->counters.echoRequestsSent);
    }
    echoTimer_.expires_at(nextExpiry(echoTimer_.expiry(), config_.timeouts.echoMs));
    echoTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) {
            onEchoTimer();
        }
    });
}

void ClientSession::onKeepAliveTimer()
{
    if (isStopping()) {
        return;
    }
    send(keepAliveDatagram_.data(), keepAliveDatagram_.size());
    bump(shared_->counters.keepAlivesSent);
    const uint64_t silentNs = ClockSync::localNowNs() - lastFrameNs_.load(std::memory_order_relaxed);
    if (silentNs > static_cast<uint64_t>(config_.timeouts.reconnectAfterSilenceMs) * 1'000'000u) {
        // No frames: the server may have restarted and forgotten us (it may still
        // answer echoes). Registering again is harmless if it merely pauses.
        ledger_.noteUnawaited(AnswerKind::ServerInfo,
                              RequestLedger::questionOf(connectDatagram_.data(), connectDatagram_.size()));
        send(connectDatagram_.data(), connectDatagram_.size());
        bump(shared_->counters.reconnectsSent);
    }
    keepAliveTimer_.expires_at(nextExpiry(keepAliveTimer_.expiry(), config_.timeouts.keepAliveMs));
    keepAliveTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) {
            onKeepAliveTimer();
        }
    });
}

}  // namespace NatNet::Net
