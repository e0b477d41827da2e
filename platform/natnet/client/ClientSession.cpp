#include "ClientSession.h"

#include "natnet/transport/NamedThread.h"

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

// The sender block that connects and keep-alives carry: the library's name and version.
Wire::ConnectRequest librarySender()
{
    Wire::ConnectRequest request;
    request.hasSender = true;
    request.sender.setName(Internal::kLibraryName);
    std::memcpy(request.sender.version, Internal::kLibraryVersion, 4);
    std::memcpy(request.sender.natNetVersion, Internal::kLibraryVersion, 4);
    return request;
}

// A datagram of at most `capacity` bytes as `encode(writer)` writes it.
template <typename Encode>
std::vector<uint8_t> encodeDatagram(size_t capacity, Encode&& encode)
{
    std::vector<uint8_t> datagram(capacity);
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    encode(writer);
    datagram.resize(writer.size());
    return datagram;
}

void logLine(Verbosity level, const std::string& text)
{
    Internal::logMessage(level, text.c_str());
}

}  // namespace

ClientSession::ClientSession(std::shared_ptr<ClientShared> shared, const SessionConfig& config)
    : m_shared(std::move(shared)),
      m_config(config),
      m_work(boost::asio::make_work_guard(m_io)),
      m_commandSocket(m_io),
      m_dataSocket(m_io),
      m_echoTimer(m_io),
      m_keepAliveTimer(m_io),
      m_ledger(std::chrono::milliseconds(config.timeouts.lateAnswerMs))
{
}

ClientSession::~ClientSession()
{
    // The last owner may be one of the session's own threads (a client destroyed in
    // its own callback): that one is not joined, it ends right after this.
    m_stopping.store(true, std::memory_order_release);
    m_ioThread.requestStop();
    m_receiveThread.requestStop();
    m_ioThread.join();
    m_receiveThread.join();
}

ClientSession* ClientSession::current()
{
    return tCurrentSession;
}

ErrorCode ClientSession::openCommandSocket()
{
    UdpSocketOptions options;
    options.receiveBufferBytes = kSocketReceiveBytes;
    const std::error_code ec = m_commandSocket.open({m_config.localAddress, 0}, options);
    if (ec) {
        logLine(Verbosity_Error, "NatNet: cannot open the command socket on " +
                                     formatIpv4(m_config.localAddress) + ": " + ec.message());
        return ErrorCode_Network;
    }
    return ErrorCode_OK;
}

ErrorCode ClientSession::openDataSocket()
{
    const sServerDescription description = m_shared->serverDescription();
    uint32_t group = kDefaultMulticastGroup;
    if (m_config.multicastGroup) {
        group = *m_config.multicastGroup;
    } else if (description.bConnectionInfoValid && description.ConnectionMulticast &&
               Net::isMulticast(ipv4FromBytes(description.ConnectionMulticastAddress))) {
        group = ipv4FromBytes(description.ConnectionMulticastAddress);
    }
    uint16_t port = NATNET_DEFAULT_PORT_DATA;
    if (m_config.dataPort != 0) {
        port = m_config.dataPort;
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
    std::error_code ec = m_dataSocket.open({bindAddress, port}, options);
    if (!ec) {
        ec = m_dataSocket.joinMulticast(group, m_config.localAddress);
    }
    if (ec) {
        logLine(Verbosity_Error, "NatNet: cannot receive multicast group " + formatIpv4(group) + ":" +
                                     std::to_string(port) + " on " + formatIpv4(m_config.localAddress) +
                                     ": " + ec.message());
        m_dataSocket.close();
        return ErrorCode_Network;
    }
    // From here on only natnet-recv reads the data socket.
    startReceiveThread(m_dataSocket);
    return ErrorCode_OK;
}

std::vector<uint8_t> ClientSession::encodeConnectDatagram() const
{
    Wire::ConnectRequest request = librarySender();
    request.hasOptions = true;
    request.subscribedDataOnly = m_config.subscribedDataOnly;
    std::memcpy(request.bitstreamVersion, m_config.bitstreamVersion, 4);
    return encodeDatagram(Wire::kHeaderSize + Wire::kSenderSize + Wire::kConnectOptionsSize,
                          [&request](Wire::ByteWriter& writer) {
                              Wire::encodeConnect(writer, request, Wire::MessageId::Connect);
                          });
}

std::vector<uint8_t> ClientSession::encodeKeepAliveDatagram() const
{
    // The vendor's library sends its sender block with every keep-alive.
    const Wire::ConnectRequest block = librarySender();
    const std::vector<uint8_t> sender = encodeDatagram(
        Wire::kHeaderSize + Wire::kSenderSize,
        [&block](Wire::ByteWriter& writer) { Wire::encodeConnect(writer, block, Wire::MessageId::Connect); });
    return encodeDatagram(Wire::kHeaderSize + Wire::kSenderSize, [&sender](Wire::ByteWriter& writer) {
        Wire::encodeMessage(writer, static_cast<uint16_t>(Wire::MessageId::KeepAlive),
                            sender.data() + Wire::kHeaderSize, sender.size() - Wire::kHeaderSize);
    });
}

void ClientSession::startIoThread()
{
    m_ioThread.start(
        "natnet-io", [self = shared_from_this()] { self->runIo(); }, [this] { m_io.stop(); });
}

void ClientSession::startReceiveThread(UdpSocket& socket)
{
    m_receiveThread.start(
        "natnet-recv", [self = shared_from_this(), &socket] { self->runReceive(socket); },
        [&socket] { socket.shutdownReceive(); });
}

void ClientSession::runIo()
{
    tCurrentSession = this;
    NamedThread::serve(
        m_io, [](const char* what) { logLine(Verbosity_Error, std::string("NatNet: io thread: ") + what); });
    tCurrentSession = nullptr;
}

void ClientSession::runReceive(UdpSocket& socket)
{
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
    m_shared->clearServerDescription();
    m_shared->setDecodeVersion(Wire::Version());
    m_shared->clock.reset(0);
    m_shared->rigidBodies.clear();
    // Until the server advertises its data port, frames must come from the configured one.
    m_dataSourcePort =
        m_config.dataPort != 0 ? m_config.dataPort : static_cast<uint16_t>(NATNET_DEFAULT_PORT_DATA);

    if (const ErrorCode error = openCommandSocket()) {
        return error;
    }
    m_connectDatagram = encodeConnectDatagram();
    m_keepAliveDatagram = encodeKeepAliveDatagram();
    if (m_config.multicast) {
        // Answers come to the command socket, frames to the data socket (once it is open).
        // The first receive starts before the thread so that Asio sets up the socket here,
        // before any other thread uses it.
        m_answerBuffer.resize(kReceiveBufferSize);
        receiveAnswers();
    } else {
        startReceiveThread(m_commandSocket);
    }
    startIoThread();

    // The server information is applied by the receive thread as it arrives.
    std::array<uint8_t, 1024> buffer{};
    Request request;
    request.datagram = m_connectDatagram.data();
    request.size = m_connectDatagram.size();
    request.answer = AnswerKind::ServerInfo;
    request.tries = m_config.timeouts.connectTries;
    request.timeoutMs = m_config.timeouts.connectTryMs;
    Reply reply{buffer.data(), buffer.size()};
    const ErrorCode result = exchange(request, reply);
    if (result != ErrorCode_OK) {
        logLine(Verbosity_Error, "NatNet: no answer from server " + formatIpv4(m_config.server.address) +
                                     ":" + std::to_string(m_config.server.port) + " to the connect request");
        return result;
    }
    if (m_config.multicast) {
        if (const ErrorCode error = openDataSocket()) {
            return error;
        }
    }
    boost::asio::post(m_io, [this] { startTimers(); });
    return ErrorCode_OK;
}

ErrorCode ClientSession::exchange(const Request& request, Reply& reply)
{
    reply.size = 0;
    reply.messageId = 0;
    const uint64_t question = RequestLedger::questionOf(request.datagram, request.size);
    if (!m_ledger.open(request.answer, question, reply.buffer, reply.capacity)) {
        return ErrorCode_Network;
    }
    bool answered = false;
    for (int attempt = 0; attempt < request.tries && !answered && !isStopping(); ++attempt) {
        // Noted before sending: an answer may come back before send() returns.
        m_ledger.noteTry();
        send(request.datagram, request.size);
        bump(m_shared->counters.requestsSent);
        answered = m_ledger.waitAnswered(std::chrono::steady_clock::now() +
                                         std::chrono::milliseconds(request.timeoutMs));
    }
    const RequestLedger::Outcome outcome = m_ledger.close();
    if (outcome.answered) {
        reply.size = outcome.size;
        reply.messageId = outcome.messageId;
        return ErrorCode_OK;
    }
    if (!isStopping()) {
        bump(m_shared->counters.requestTimeouts);
    }
    return ErrorCode_Network;
}

void ClientSession::sendDisconnectRequest()
{
    if (m_config.multicast || !m_commandSocket.isOpen()) {
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
    m_stopping.store(true, std::memory_order_release);
    m_ledger.stop();
    m_ioThread.requestStop();
    m_receiveThread.requestStop();
    if (current() != this) {
        m_ioThread.join();
        m_receiveThread.join();
    }
}

void ClientSession::send(const uint8_t* datagram, size_t size)
{
    // Losses are the protocol's business (requests retry, timers repeat).
    (void)m_commandSocket.sendTo(datagram, size, m_config.server);
}

void ClientSession::receiveAnswers()
{
    m_commandSocket.asyncReceive(m_answerBuffer.data(), m_answerBuffer.size(),
                                 [this](std::error_code ec, size_t size, Ipv4Endpoint from) {
                                     if (ec == std::errc::operation_canceled || isStopping()) {
                                         return;
                                     }
                                     if (!ec) {
                                         onDatagram(m_answerBuffer.data(), size, from);
                                     }
                                     if (!isStopping() && m_commandSocket.isOpen()) {
                                         receiveAnswers();
                                     }
                                 });
}

void ClientSession::onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from)
{
    AtomicCounters& counters = m_shared->counters;
    bump(counters.datagramsReceived);
    if (from.address != m_config.server.address) {
        bump(counters.droppedForeignSender);
        return;
    }
    Wire::Datagram datagram;
    if (Wire::decodeDatagram(data, size, datagram) != Wire::Status::Ok) {
        bump(counters.droppedMalformed);
        return;
    }
    // Frames come from the server's data port, everything else from its command port.
    const bool fromCommandPort = from.port == m_config.server.port;
    const auto id = static_cast<Wire::MessageId>(datagram.messageId);
    const bool expectedPort = id == Wire::MessageId::FrameOfData
                                  ? from.port == m_dataSourcePort.load(std::memory_order_relaxed)
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
    switch (m_ledger.settle(kind, id, payload, size)) {
        case AnswerVerdict::Answer:
        case AnswerVerdict::Unawaited:
            return;
        case AnswerVerdict::Late:
        case AnswerVerdict::Duplicate:
            bump(m_shared->counters.droppedLateAnswer);
            return;
        case AnswerVerdict::Unsolicited:
            bump(m_shared->counters.droppedUnsolicited);
            return;
    }
}

void ClientSession::onFrame(const uint8_t* payload, size_t size)
{
    AtomicCounters& counters = m_shared->counters;
    sFrameOfMocapData& frame = m_shared->frame();
    const Wire::Status status =
        Wire::decodeFrame(payload, size, m_shared->decodeVersion(), m_shared->frameStorage(), frame);
    if (status != Wire::Status::Ok) {
        reportBadFrame(status);
        return;
    }
    const uint64_t nowNs = ClockSync::localNowNs();
    if (!m_config.multicast) {
        m_lastFrameNs.store(nowNs,
                            std::memory_order_relaxed);  // the server streams to us, whatever the order
    }
    const FrameVerdict verdict = m_frameOrder.admit(frame.iFrame, nowNs);
    counters.framesMissing.store(m_frameOrder.missing(), std::memory_order_relaxed);
    if (verdict == FrameVerdict::Old) {
        bump(counters.droppedOldFrame);
        return;
    }
    if (verdict == FrameVerdict::Restart) {
        reportRestart(m_lastFrameNumber, frame.iFrame);
    }
    m_lastFrameNumber = frame.iFrame;
    bump(counters.framesDecoded);
    m_shared->rigidBodies.record(frame);
    const auto callback = m_shared->frameCallback();
    if (callback.function != nullptr && !isStopping()) {
        callback.function(&frame, callback.context);
    }
}

void ClientSession::reportBadFrame(Wire::Status status)
{
    AtomicCounters& counters = m_shared->counters;
    bump(counters.droppedBadFrame);
    counters.lastBadFrameStatus.store(static_cast<uint16_t>(status), std::memory_order_relaxed);
    // A server speaking another layout fails every frame: say so, but once a second at most.
    constexpr uint64_t kReportIntervalNs = 1'000'000'000;
    ++m_badFramesUnreported;
    const uint64_t nowNs = ClockSync::localNowNs();
    if (m_lastBadFrameReportNs != 0 && nowNs - m_lastBadFrameReportNs < kReportIntervalNs) {
        return;
    }
    const Wire::Version version = m_shared->decodeVersion();
    logLine(Verbosity_Warning, "NatNet: " + std::to_string(m_badFramesUnreported) +
                                   " frame(s) not decoded (last: " + Wire::statusName(status) +
                                   ", bitstream " + std::to_string(version.major) + "." +
                                   std::to_string(version.minor) + ")");
    m_badFramesUnreported = 0;
    m_lastBadFrameReportNs = nowNs;
}

void ClientSession::reportRestart(int32_t from, int32_t to)
{
    bump(m_shared->counters.frameNumberRestarts);
    logLine(Verbosity_Info, "NatNet: frame numbers jumped from " + std::to_string(from) + " to " +
                                std::to_string(to) + " (server restarted or playback looped); following");
}

void ClientSession::onServerInfo(const uint8_t* payload, size_t size, Ipv4Endpoint from)
{
    // Only the answer to a connect of ours describes the server: anything else
    // (a late repeat, another program's traffic) must not switch the decoder.
    const RequestLedger::Claim claim = m_ledger.claim(
        AnswerKind::ServerInfo, static_cast<uint16_t>(Wire::MessageId::ServerInfo), payload, size);
    if (claim.verdict == AnswerVerdict::Unsolicited) {
        bump(m_shared->counters.droppedUnsolicited);
        return;
    }
    if (claim.verdict == AnswerVerdict::Late || claim.verdict == AnswerVerdict::Duplicate) {
        bump(m_shared->counters.droppedLateAnswer);
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
        if (!m_config.multicast && !versionIsZero(m_config.bitstreamVersion) && serverVersion.major >= 4) {
            decodeVersion = Wire::Version::fromBytes(m_config.bitstreamVersion);
        }
        m_shared->setServerDescription(description);
        m_shared->setDecodeVersion(decodeVersion);
        // Repeated server information (a repeated CONNECT) keeps the clock model;
        // a jump of the server's clock is noticed by the model itself.
        m_shared->clock.setFrequency(info.highResClockFrequency);
        if (const uint16_t advertised = advertisedDataPort()) {
            m_dataSourcePort.store(advertised, std::memory_order_relaxed);
        }
    } else {
        // An answer that describes no host: the connection stands, HostPresent stays false.
        bump(m_shared->counters.droppedMalformed);
    }
    if (claim.verdict == AnswerVerdict::Answer &&
        !m_ledger.complete(claim, static_cast<uint16_t>(Wire::MessageId::ServerInfo), payload, size)) {
        bump(m_shared->counters.droppedLateAnswer);
    }
}

uint16_t ClientSession::advertisedDataPort() const
{
    const sServerDescription description = m_shared->serverDescription();
    return description.bConnectionInfoValid ? description.ConnectionDataPort : uint16_t{0};
}

void ClientSession::onEchoResponse(const uint8_t* payload, size_t size)
{
    Wire::EchoResponse response;
    if (Wire::decodeEchoResponse(payload, size, response) != Wire::Status::Ok) {
        bump(m_shared->counters.droppedMalformed);
        return;
    }
    if (m_shared->clock.addSample(response.requestStamp, ClockSync::localNowNs(), response.serverTicks)) {
        bump(m_shared->counters.echoResponsesReceived);
    } else {
        bump(m_shared->counters.droppedStaleReply);
    }
}

void ClientSession::onUnknownMessage(uint16_t id, const uint8_t* payload, size_t size)
{
    const auto callback = m_shared->unknownMessageCallback();
    if (callback.function == nullptr || isStopping()) {
        bump(m_shared->counters.droppedUnexpected);
        return;
    }
    sPacket& packet = m_shared->packet();
    const size_t kept = std::min<size_t>(size, MAX_PACKETSIZE);
    packet.iMessage = id;
    packet.nDataBytes = static_cast<uint16_t>(kept);
    if (kept > 0) {
        std::memcpy(packet.Data.cData, payload, kept);
    }
    bump(m_shared->counters.unknownMessages);
    callback.function(&packet, callback.context);
}

void ClientSession::startTimers()
{
    if (isStopping()) {
        return;
    }
    m_lastFrameNs.store(ClockSync::localNowNs(), std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    schedule(m_echoTimer, now, &ClientSession::onEchoTimer);
    if (!m_config.multicast) {
        schedule(m_keepAliveTimer, now + std::chrono::milliseconds(m_config.timeouts.keepAliveMs),
                 &ClientSession::onKeepAliveTimer);
    }
}

void ClientSession::schedule(boost::asio::steady_timer& timer, std::chrono::steady_clock::time_point when,
                             void (ClientSession::*tick)())
{
    timer.expires_at(when);
    timer.async_wait([this, tick](const boost::system::error_code& ec) {
        if (!ec) (this->*tick)();
    });
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
        bump(m_shared->counters.echoRequestsSent);
    }
    schedule(m_echoTimer, nextExpiry(m_echoTimer.expiry(), m_config.timeouts.echoMs),
             &ClientSession::onEchoTimer);
}

void ClientSession::onKeepAliveTimer()
{
    if (isStopping()) {
        return;
    }
    send(m_keepAliveDatagram.data(), m_keepAliveDatagram.size());
    bump(m_shared->counters.keepAlivesSent);
    const uint64_t silentNs = ClockSync::localNowNs() - m_lastFrameNs.load(std::memory_order_relaxed);
    if (silentNs > static_cast<uint64_t>(m_config.timeouts.reconnectAfterSilenceMs) * 1'000'000u) {
        // No frames: the server may have restarted and forgotten us (it may still
        // answer echoes). Registering again is harmless if it merely pauses.
        m_ledger.noteUnawaited(AnswerKind::ServerInfo,
                               RequestLedger::questionOf(m_connectDatagram.data(), m_connectDatagram.size()));
        send(m_connectDatagram.data(), m_connectDatagram.size());
        bump(m_shared->counters.reconnectsSent);
    }
    schedule(m_keepAliveTimer, nextExpiry(m_keepAliveTimer.expiry(), m_config.timeouts.keepAliveMs),
             &ClientSession::onKeepAliveTimer);
}

}  // namespace NatNet::Net
