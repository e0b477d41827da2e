#include "ClientCore.h"

#include "natnet/transport/Ipv4Text.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include "Log.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace NatNet::Net {

namespace {

bool validTimeouts(const NatNetExt::ClientTimeouts& t)
{
    return t.connectTries >= 1 && t.connectTryMs >= 1 && t.descriptionTries >= 1 && t.descriptionTryMs >= 1 &&
           t.keepAliveMs >= 1 && t.echoMs >= 1 && t.reconnectAfterSilenceMs >= 1 && t.lateAnswerMs >= 1;
}

}  // namespace

ClientCore::~ClientCore()
{
    // The lock orders this with the Connect that stored the session, also when
    // the client is destroyed on its own receive thread (inside its callback).
    std::shared_ptr<ClientSession> session;
    {
        std::lock_guard<std::mutex> lock(m_lifecycle);
        session = std::move(m_session);
    }
    if (session) {
        session->sendDisconnectRequest();
        // From inside its own callback this only ends the loop: the receive thread
        // keeps the session alive until it has returned from the callback.
        session->stop();
    }
}

bool ClientCore::onOwnReceiveThread() const
{
    const ClientSession* own = ClientSession::current();
    return own != nullptr && own->shared() == m_shared.get();
}

std::shared_ptr<ClientSession> ClientCore::currentSession() const
{
    std::lock_guard<std::mutex> lock(m_lifecycle);
    return m_session;
}

void ClientCore::stopSessionLocked()
{
    if (m_session) {
        m_session->sendDisconnectRequest();
        m_session->stop();
        m_session.reset();
    }
}

ErrorCode ClientCore::connect(const sNatNetClientConnectParams& params)
{
    if (onOwnReceiveThread()) {
        return ErrorCode_InvalidOperation;  // the receive thread cannot replace itself
    }
    // Read as a plain integer: a caller may have stored any value in the enum's bytes.
    int type = 0;
    std::memcpy(&type, &params.connectionType, sizeof(type));
    if (type != ConnectionType_Multicast && type != ConnectionType_Unicast) {
        return ErrorCode_InvalidArgument;
    }
    SessionConfig config;
    config.multicast = type == ConnectionType_Multicast;
    const auto server = parseIpv4(params.serverAddress);
    if (!server || *server == 0 || *server == 0xFFFFFFFFu || isMulticast(*server)) {
        return ErrorCode_InvalidArgument;
    }
    config.server = {*server, params.serverCommandPort != 0
                                  ? params.serverCommandPort
                                  : static_cast<uint16_t>(NATNET_DEFAULT_PORT_COMMAND)};
    if (params.localAddress != nullptr && params.localAddress[0] != '\0') {
        const auto local = parseIpv4(params.localAddress);
        if (!local || isMulticast(*local) || *local == 0xFFFFFFFFu) {
            return ErrorCode_InvalidArgument;
        }
        config.localAddress = *local;
    }
    config.dataPort = params.serverDataPort;
    if (config.multicast && params.multicastAddress != nullptr && params.multicastAddress[0] != '\0') {
        const auto group = parseIpv4(params.multicastAddress);
        if (!group || !isMulticast(*group)) {
            return ErrorCode_InvalidArgument;
        }
        config.multicastGroup = *group;
    }
    config.subscribedDataOnly = params.subscribedDataOnly;
    std::memcpy(config.bitstreamVersion, params.BitstreamVersion, 4);

    std::lock_guard<std::mutex> lock(m_lifecycle);
    stopSessionLocked();
    config.timeouts = timeouts();
    auto session = std::make_shared<ClientSession>(m_shared, config);
    const ErrorCode result = session->connect();
    if (result != ErrorCode_OK) {
        session->stop();
        m_shared->clearServerDescription();
        return result;
    }
    m_session = std::move(session);
    m_everConnected = true;
    return ErrorCode_OK;
}

ErrorCode ClientCore::disconnect()
{
    if (ClientSession* own = ClientSession::current(); own != nullptr && own->shared() == m_shared.get()) {
        // From the frame callback: end the loop; the thread is joined by the next
        // Connect, Disconnect or the destructor on another thread.
        own->sendDisconnectRequest();
        own->stop();
        return ErrorCode_OK;
    }
    std::lock_guard<std::mutex> lock(m_lifecycle);
    if (!m_session) {
        return m_everConnected ? ErrorCode_OK : ErrorCode_InvalidOperation;
    }
    stopSessionLocked();
    return ErrorCode_OK;
}

ErrorCode ClientCore::setFrameCallback(NatNetFrameReceivedCallback callback, void* context)
{
    m_shared->setFrameCallback(callback, context);
    return ErrorCode_OK;
}

ErrorCode ClientCore::setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context)
{
    m_shared->setUnknownMessageCallback(callback, context);
    return ErrorCode_OK;
}

ErrorCode ClientCore::sendMessageAndWait(const char* request, int tries, int timeoutMs, void** response,
                                         int* responseSize)
{
    if (response != nullptr) {
        *response = nullptr;
    }
    if (responseSize != nullptr) {
        *responseSize = 0;
    }
    if (request == nullptr || tries < 1 || timeoutMs < 1) {
        return ErrorCode_InvalidArgument;
    }
    const size_t length = strnlen(request, MAX_PACKETSIZE);
    if (length >= MAX_PACKETSIZE) {
        return ErrorCode_InvalidArgument;
    }
    if (onOwnReceiveThread()) {
        return ErrorCode_InvalidOperation;  // the answer would have to come through this very thread
    }
    const std::shared_ptr<ClientSession> session = currentSession();
    if (!session || session->isStopping()) {
        return ErrorCode_Network;
    }

    std::vector<uint8_t> datagram(Wire::kHeaderSize + length + 1);
    Wire::ByteWriter writer(datagram.data(), datagram.size());
    if (Wire::encodeRequest(writer, std::string_view(request, length)) != Wire::Status::Ok) {
        return ErrorCode_InvalidArgument;
    }

    const auto buffers = m_shared->requests.lock();
    ClientSession::Request exchange;
    exchange.datagram = datagram.data();
    exchange.size = writer.size();
    exchange.answer = AnswerKind::Response;
    exchange.tries = tries;
    exchange.timeoutMs = timeoutMs;
    ClientSession::Reply reply{buffers->response.get(), ClientShared::kResponseCapacity};
    const ErrorCode result = session->exchange(exchange, reply);
    const size_t size = reply.size;
    if (result != ErrorCode_OK) {
        buffers->responseSize = 0;
        return result;
    }
    if (reply.messageId == static_cast<uint16_t>(Wire::MessageId::UnrecognizedRequest)) {
        buffers->responseSize = 0;
        return ErrorCode_Other;
    }
    // Zeros after the answer: a caller reading a 4-byte value from a shorter
    // answer reads defined bytes inside the buffer.
    std::memset(buffers->response.get() + size, 0, ClientShared::kResponseSlack);
    buffers->responseSize = size;
    if (response != nullptr) {
        *response = buffers->response.get();
    }
    if (responseSize != nullptr) {
        *responseSize = static_cast<int>(size);
    }
    maybeSwitchBitstream(*session, request, Wire::Response{buffers->response.get(), size});
    return ErrorCode_OK;
}

void ClientCore::maybeSwitchBitstream(const ClientSession& session, const char* request,
                                      const Wire::Response& answer)
{
    static constexpr std::string_view kCommand = "Bitstream,";
    const std::string_view text(request);
    if (session.isMulticast() || text.substr(0, kCommand.size()) != kCommand) {
        return;
    }
    const std::optional<Wire::Version> wanted = Wire::Version::parse(text.substr(kCommand.size()));
    if (!wanted) {
        return;
    }
    int32_t code = -1;
    const std::string_view answerText = answer.text();
    // Success is a 0 result, or the text naming the new version.
    const auto echoedSameLayout = [&] {
        const std::optional<Wire::Version> echoed = Wire::Version::parse(answerText.substr(kCommand.size()));
        return echoed && echoed->major == wanted->major && echoed->minor == wanted->minor;
    };
    const bool accepted = (answer.asInt32(code) && code == 0) ||
                          (answerText.substr(0, kCommand.size()) == kCommand && echoedSameLayout());
    if (accepted) {
        m_shared->setDecodeVersion(*wanted);
    }
}

ErrorCode ClientCore::getServerDescription(sServerDescription* description) const
{
    if (description == nullptr) {
        return ErrorCode_InvalidArgument;
    }
    *description = m_shared->serverDescription();
    return ErrorCode_OK;
}

ErrorCode ClientCore::getDataDescriptionList(sDataDescriptions** descriptions, uint32_t typeMask)
{
    if (descriptions == nullptr) {
        return ErrorCode_InvalidArgument;
    }
    *descriptions = nullptr;
    if (onOwnReceiveThread()) {
        return ErrorCode_InvalidOperation;
    }
    const std::shared_ptr<ClientSession> session = currentSession();
    if (!session || session->isStopping()) {
        return ErrorCode_Network;
    }
    const NatNetExt::ClientTimeouts limits = timeouts();

    uint8_t datagram[Wire::kHeaderSize];
    Wire::ByteWriter writer(datagram, sizeof(datagram));
    Wire::encodeEmpty(writer, Wire::MessageId::RequestModelDef);

    const auto buffers = m_shared->requests.lock();
    std::vector<uint8_t>& buffer = buffers->scratchReply;
    buffer.resize(ClientShared::kResponseCapacity);
    ClientSession::Request exchange;
    exchange.datagram = datagram;
    exchange.size = writer.size();
    exchange.answer = AnswerKind::ModelDef;
    exchange.tries = limits.descriptionTries;
    exchange.timeoutMs = limits.descriptionTryMs;
    ClientSession::Reply reply{buffer.data(), buffer.size()};
    const ErrorCode result = session->exchange(exchange, reply);
    if (result != ErrorCode_OK) {
        return result;
    }
    const Wire::Version version = m_shared->decodeVersion();
    const Wire::Status status =
        Wire::decodeModelDefinitions(buffer.data(), reply.size, version, descriptions, typeMask);
    if (status != Wire::Status::Ok) {
        const std::string text =
            std::string("NatNet: data descriptions not decoded: ") + Wire::statusName(status);
        Internal::logMessage(Verbosity_Error, text.c_str());
        *descriptions = nullptr;
        return ErrorCode_Other;
    }
    return ErrorCode_OK;
}

ErrorCode ClientCore::getPredictedRigidBodyPose(int32_t streamingId, sRigidBodyData& pose, double dt) const
{
    return m_shared->rigidBodies.predict(streamingId, dt, pose) ? ErrorCode_OK : ErrorCode_InvalidArgument;
}

double ClientCore::secondsSinceHostTimestamp(uint64_t timestamp) const
{
    return m_shared->clock.secondsSince(timestamp, ClockSync::localNowNs());
}

uint64_t ClientCore::clockRoundTripNs() const
{
    return m_shared->clock.bestRoundTripNs();
}

ErrorCode ClientCore::setTimeouts(const NatNetExt::ClientTimeouts& timeouts)
{
    if (!validTimeouts(timeouts)) {
        return ErrorCode_InvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_timeoutsMutex);
    m_timeouts = timeouts;
    return ErrorCode_OK;
}

NatNetExt::ClientTimeouts ClientCore::timeouts() const
{
    std::lock_guard<std::mutex> lock(m_timeoutsMutex);
    return m_timeouts;
}

NatNetExt::ClientCounters ClientCore::counters() const
{
    return m_shared->counters.snapshot();
}

void ClientCore::decodeVersion(uint8_t (&version)[4]) const
{
    m_shared->decodeVersion().toBytes(version);
}

}  // namespace NatNet::Net
