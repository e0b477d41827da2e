#include "CommandResponder.h"

#include "WireHelpers.h"

#include "natnet/codec/ModelDefinitions.h"

#include <algorithm>
#include <cstring>

namespace NatNet::Sim::Internal {

namespace {

constexpr size_t kDatagramCapacity = 65536;
constexpr size_t kMaxConnectPeers = 64;

}  // namespace

CommandResponder::CommandResponder(const SimulatorConfig& config, ServerState& state,
                                   const ServerClock& clock)
    : m_config(config),
      m_state(state),
      m_clock(clock),
      m_replyBuffer(kDatagramCapacity),
      m_filtered(std::make_unique<sDataDescriptions>())
{
}

// True (and one drop used) when the script says to ignore this reception.
bool CommandResponder::dropKind(MessageKind kind)
{
    auto it = m_state.kindDrops.find(kind);
    if (it == m_state.kindDrops.end() || it->second <= 0) {
        return false;
    }
    --it->second;
    ++m_state.counters.droppedByScript;
    return true;
}

Wire::ServerInfo CommandResponder::serverInfoLocked() const
{
    Wire::ServerInfo info;
    info.sender.setName(m_state.appName);
    std::copy(m_state.appVersion.begin(), m_state.appVersion.end(), info.sender.version);
    std::copy(m_state.natNetVersion.begin(), m_state.natNetVersion.end(), info.sender.natNetVersion);
    info.hasConnectionInfo = toVersion(m_state.natNetVersion).atLeast(Wire::Gate::ServerInfoConnectionInfo);
    info.highResClockFrequency = m_clock.frequency();
    info.dataPort = m_group.port;
    info.isMulticast = m_config.multicast;
    if (m_config.multicast) {
        Net::ipv4ToBytes(m_group.address, info.multicastAddress);
    }
    return info;
}

std::vector<uint8_t> CommandResponder::serverInfoMessageLocked(
    const std::array<uint8_t, 4>* claimedVersion) const
{
    Wire::ServerInfo info = serverInfoLocked();
    if (claimedVersion != nullptr) {
        std::copy(claimedVersion->begin(), claimedVersion->end(), info.sender.natNetVersion);
        info.hasConnectionInfo = toVersion(*claimedVersion).atLeast(Wire::Gate::ServerInfoConnectionInfo);
    }
    std::vector<uint8_t> bytes(kDatagramCapacity);
    Wire::ByteWriter out(bytes.data(), bytes.size());
    if (Wire::encodeServerInfo(out, info) != Wire::Status::Ok || out.failed()) {
        return {};
    }
    bytes.resize(out.size());
    return bytes;
}

Wire::Version CommandResponder::versionFor(Net::Ipv4Endpoint endpoint)
{
    if (const UnicastClient* client = m_state.clients.find(endpoint)) {
        return client->version;
    }
    return toVersion(m_state.natNetVersion);
}

size_t CommandResponder::respond(const Wire::Datagram& message, Net::Ipv4Endpoint from,
                                 uint64_t receivedTicks)
{
    Wire::ByteWriter out(m_replyBuffer.data(), m_replyBuffer.size());
    const uint64_t nowNs = ServerClock::steadyNowNs();
    m_state.clients.touch(from, nowNs);
    switch (static_cast<Wire::MessageId>(message.messageId)) {
        case Wire::MessageId::Connect: {
            ++m_state.counters.connects;
            if (m_state.silent || dropKind(MessageKind::Connect)) {
                return 0;
            }
            if (!m_config.multicast) {
                registerClient(message, from, nowNs);
            } else if (std::find(m_state.connectPeers.begin(), m_state.connectPeers.end(), from) ==
                       m_state.connectPeers.end()) {
                if (m_state.connectPeers.size() >= kMaxConnectPeers) {
                    m_state.connectPeers.erase(m_state.connectPeers.begin());
                }
                m_state.connectPeers.push_back(from);
            }
            if (m_state.noHost) {
                Wire::encodeEmpty(out, Wire::MessageId::ServerInfo);
            } else {
                Wire::encodeServerInfo(out, serverInfoLocked());
            }
            break;
        }
        case Wire::MessageId::Discovery:
            ++m_state.counters.discoveries;
            if (m_state.silent || dropKind(MessageKind::Discovery)) {
                return 0;
            }
            Wire::encodeServerInfo(out, serverInfoLocked());
            break;
        case Wire::MessageId::Request:
            return handleRequestLocked(message, from, out);
        case Wire::MessageId::RequestModelDef:
            ++m_state.counters.modelDefRequests;
            if (m_state.silent || dropKind(MessageKind::ModelDefRequest)) {
                return 0;
            }
            encodeModelDefinitionsLocked(out, versionFor(from));
            break;
        case Wire::MessageId::EchoRequest: {
            ++m_state.counters.echoRequests;
            uint64_t stamp = 0;
            if (Wire::decodeEchoRequest(message.payload, message.payloadSize, stamp) != Wire::Status::Ok) {
                // Shorter than a stamp: echo what there is, zero-padded, rather than stay mute.
                uint8_t bytes[8] = {};
                std::memcpy(bytes, message.payload, std::min<size_t>(message.payloadSize, sizeof(bytes)));
                for (int i = 7; i >= 0; --i) {
                    stamp = (stamp << 8) | bytes[i];
                }
            }
            if (m_state.silent || dropKind(MessageKind::EchoRequest)) {
                return 0;
            }
            Wire::encodeEchoResponse(out, Wire::EchoResponse{stamp, receivedTicks});
            break;
        }
        case Wire::MessageId::KeepAlive:
            // Never answered: the vendor's client reports an answer as an unknown message.
            ++m_state.counters.keepAlives;
            return 0;
        case Wire::MessageId::Disconnect:
            ++m_state.counters.disconnects;
            unregisterClient(from);
            return 0;
        default:
            ++m_state.counters.otherMessages;
            return 0;
    }
    return out.failed() ? 0 : out.size();
}

void CommandResponder::registerClient(const Wire::Datagram& message, Net::Ipv4Endpoint from, uint64_t nowNs)
{
    Wire::ConnectRequest request;
    // Any length is accepted; options count only when they are there.
    if (Wire::decodeConnect(message.payload, message.payloadSize, request) != Wire::Status::Ok) {
        request = Wire::ConnectRequest{};
    }
    UnicastClient client;
    client.endpoint = from;
    client.version = toVersion(m_state.natNetVersion);
    client.lastHeardNs = nowNs;
    if (request.hasOptions) {
        client.subscribedDataOnly = request.subscribedDataOnly;
        const Wire::Version wanted = Wire::Version::fromBytes(request.bitstreamVersion);
        if (!isZero(request.bitstreamVersion) && client.version.major >= 4 && Wire::isSupported(wanted)) {
            client.version = wanted;
        }
    }
    if (m_state.clients.upsert(client)) {
        ++m_state.counters.clientsRegistered;
    }
    m_state.counters.clientsConnected = m_state.clients.size();
}

void CommandResponder::unregisterClient(Net::Ipv4Endpoint from)
{
    if (m_state.clients.remove(from)) {
        ++m_state.counters.clientsDisconnected;
        m_state.counters.clientsConnected = m_state.clients.size();
    }
}

void CommandResponder::encodeModelDefinitionsLocked(Wire::ByteWriter& out, Wire::Version version)
{
    if (m_state.modelDefPayload) {
        Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::ModelDef),
                            m_state.modelDefPayload->data(), m_state.modelDefPayload->size());
        return;
    }
    // Only the kinds this version has.
    std::memset(m_filtered.get(), 0, sizeof(sDataDescriptions));
    if (m_state.descriptions) {
        for (int32_t i = 0; i < m_state.descriptions->nDataDescriptions; ++i) {
            const sDataDescription& entry = m_state.descriptions->arrDataDescriptions[i];
            if (Wire::descriptionInVersion(entry.type, version)) {
                m_filtered->arrDataDescriptions[m_filtered->nDataDescriptions++] = entry;
            }
        }
    }
    if (Wire::encodeModelDefinitions(out, *m_filtered, version) != Wire::Status::Ok) {
        out.reset();
    }
}

size_t CommandResponder::handleRequestLocked(const Wire::Datagram& message, Net::Ipv4Endpoint from,
                                             Wire::ByteWriter& out)
{
    ++m_state.counters.requests;
    std::string_view text;
    if (Wire::decodeText(message.payload, message.payloadSize, text) != Wire::Status::Ok) {
        ++m_state.counters.malformed;
        return 0;
    }
    const size_t comma = text.find(',');
    const std::string_view word = text.substr(0, comma);
    const std::string_view argument =
        comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    ++m_state.counters.requestsByCommand[std::string(word)];
    const std::string key = lowercase(word);
    if (key == "disconnect") {
        ++m_state.counters.disconnects;
        unregisterClient(from);
    }
    if (m_state.silent) {
        return 0;
    }
    if (auto drop = m_state.requestDrops.find(key); drop != m_state.requestDrops.end() && drop->second > 0) {
        --drop->second;
        ++m_state.counters.droppedByScript;
        return 0;
    }
    if (auto custom = m_state.responses.find(key); custom != m_state.responses.end()) {
        Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::Response), custom->second.data(),
                            custom->second.size());
        return out.failed() ? 0 : out.size();
    }
    const auto scripted = m_state.answers.find(key);
    const Answer answer = scripted == m_state.answers.end() ? Answer::Normal : scripted->second;
    if (answer == Answer::None) {
        ++m_state.counters.droppedByScript;
        return 0;
    }
    if (answer == Answer::Normal && builtInAnswerLocked(key, argument, from, out)) {
        return out.failed() ? 0 : out.size();
    }
    out.reset();
    // Motive answers unknown commands with a sender-shaped body.
    Wire::SenderBlock body;
    body.setName("NatNetLib");
    std::copy(m_state.natNetVersion.begin(), m_state.natNetVersion.end(), body.version);
    std::copy(m_state.natNetVersion.begin(), m_state.natNetVersion.end(), body.natNetVersion);
    Wire::encodeUnrecognizedRequest(out, body);
    return out.failed() ? 0 : out.size();
}

// The commands this server knows; false for any other.
bool CommandResponder::builtInAnswerLocked(const std::string& key, std::string_view argument,
                                           Net::Ipv4Endpoint from, Wire::ByteWriter& out)
{
    if (key == "unitstomillimeters") {
        Wire::encodeResponseFloat(out, m_state.unitsToMillimeters);
    } else if (key == "framerate") {
        Wire::encodeResponseFloat(out, m_state.frameRate);
    } else if (key == "analogsamplespermocapframe") {
        Wire::encodeResponseInt32(out, m_state.analogSamples);
    } else if (key == "currentmode") {
        Wire::encodeResponseInt32(out, m_state.editMode ? 2 : 0);
    } else if (key == "startrecording" || key == "stoprecording") {
        m_state.recording = key == "startrecording";
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "livemode" || key == "editmode") {
        m_state.editMode = key == "editmode";
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "timelineplay" || key == "timelinestop" || key == "disconnect") {
        // Live data only: there is no timeline to move, and a client's goodbye needs no state;
        // both succeed.
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "bitstream") {
        answerBitstreamLocked(argument, from, out);
    } else {
        return false;
    }
    return true;
}

void CommandResponder::answerBitstreamLocked(std::string_view argument, Net::Ipv4Endpoint from,
                                             Wire::ByteWriter& out)
{
    UnicastClient* client = m_state.clients.find(from);
    if (argument.empty()) {
        const Wire::Version current = client != nullptr ? client->version : toVersion(m_state.natNetVersion);
        Wire::encodeResponseText(
            out, "Bitstream," + std::to_string(current.major) + "." + std::to_string(current.minor) + "." +
                     std::to_string(current.build) + "." + std::to_string(current.revision));
        return;
    }
    const std::optional<Wire::Version> wanted = Wire::Version::parse(argument);
    // Only unicast clients of a NatNet 4 server may change their stream.
    const bool allowed = wanted && client != nullptr && toVersion(m_state.natNetVersion).major >= 4 &&
                         Wire::isSupported(*wanted);
    if (allowed) {
        client->version = *wanted;
        client->versionChanged = true;
    }
    Wire::encodeResponseInt32(out, allowed ? 0 : -1);
}

}  // namespace NatNet::Sim::Internal
