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
    : config_(config),
      state_(state),
      clock_(clock),
      replyBuffer_(kDatagramCapacity),
      filtered_(std::make_unique<sDataDescriptions>())
{
}

// True (and one drop used) when the script says to ignore this reception.
bool CommandResponder::dropKind(MessageKind kind)
{
    auto it = state_.kindDrops.find(kind);
    if (it == state_.kindDrops.end() || it->second <= 0) {
        return false;
    }
    --it->second;
    ++state_.counters.droppedByScript;
    return true;
}

Wire::ServerInfo CommandResponder::serverInfoLocked() const
{
    Wire::ServerInfo info;
    info.sender.setName(state_.appName);
    std::copy(state_.appVersion.begin(), state_.appVersion.end(), info.sender.version);
    std::copy(state_.natNetVersion.begin(), state_.natNetVersion.end(), info.sender.natNetVersion);
    info.hasConnectionInfo = toVersion(state_.natNetVersion).atLeast(Wire::Gate::ServerInfoConnectionInfo);
    info.highResClockFrequency = clock_.frequency();
    info.dataPort = group_.port;
    info.isMulticast = config_.multicast;
    if (config_.multicast) {
        Net::ipv4ToBytes(group_.address, info.multicastAddress);
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
    if (const UnicastClient* client = state_.clients.find(endpoint)) {
        return client->version;
    }
    return toVersion(state_.natNetVersion);
}

size_t CommandResponder::respond(const Wire::Datagram& message, Net::Ipv4Endpoint from,
                                 uint64_t receivedTicks)
{
    Wire::ByteWriter out(replyBuffer_.data(), replyBuffer_.size());
    const uint64_t nowNs = ServerClock::steadyNowNs();
    state_.clients.touch(from, nowNs);
    switch (static_cast<Wire::MessageId>(message.messageId)) {
        case Wire::MessageId::Connect: {
            ++state_.counters.connects;
            if (state_.silent || dropKind(MessageKind::Connect)) {
                return 0;
            }
            if (!config_.multicast) {
                registerClient(message, from, nowNs);
            } else if (std::find(state_.connectPeers.begin(), state_.connectPeers.end(), from) ==
                       state_.connectPeers.end()) {
                if (state_.connectPeers.size() >= kMaxConnectPeers) {
                    state_.connectPeers.erase(state_.connectPeers.begin());
                }
                state_.connectPeers.push_back(from);
            }
            if (state_.noHost) {
                Wire::encodeEmpty(out, Wire::MessageId::ServerInfo);
            } else {
                Wire::encodeServerInfo(out, serverInfoLocked());
            }
            break;
        }
        case Wire::MessageId::Discovery:
            ++state_.counters.discoveries;
            if (state_.silent || dropKind(MessageKind::Discovery)) {
                return 0;
            }
            Wire::encodeServerInfo(out, serverInfoLocked());
            break;
        case Wire::MessageId::Request:
            return handleRequestLocked(message, from, out);
        case Wire::MessageId::RequestModelDef:
            ++state_.counters.modelDefRequests;
            if (state_.silent || dropKind(MessageKind::ModelDefRequest)) {
                return 0;
            }
            encodeModelDefinitionsLocked(out, versionFor(from));
            break;
        case Wire::MessageId::EchoRequest: {
            ++state_.counters.echoRequests;
            uint64_t stamp = 0;
            if (Wire::decodeEchoRequest(message.payload, message.payloadSize, stamp) != Wire::Status::Ok) {
                // Shorter than a stamp: echo what there is, zero-padded, rather than stay mute.
                uint8_t bytes[8] = {};
                std::memcpy(bytes, message.payload, std::min<size_t>(message.payloadSize, sizeof(bytes)));
                for (int i = 7; i >= 0; --i) {
                    stamp = (stamp << 8) | bytes[i];
                }
            }
            if (state_.silent || dropKind(MessageKind::EchoRequest)) {
                return 0;
            }
            Wire::encodeEchoResponse(out, Wire::EchoResponse{stamp, receivedTicks});
            break;
        }
        case Wire::MessageId::KeepAlive:
            // Never answered: the vendor's client reports an answer as an unknown message.
            ++state_.counters.keepAlives;
            return 0;
        case Wire::MessageId::Disconnect:
            ++state_.counters.disconnects;
            unregisterClient(from);
            return 0;
        default:
            ++state_.counters.otherMessages;
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
    client.version = toVersion(state_.natNetVersion);
    client.lastHeardNs = nowNs;
    if (request.hasOptions) {
        client.subscribedDataOnly = request.subscribedDataOnly;
        const Wire::Version wanted = Wire::Version::fromBytes(request.bitstreamVersion);
        if (!isZero(request.bitstreamVersion) && client.version.major >= 4 && Wire::isSupported(wanted)) {
            client.version = wanted;
        }
    }
    if (state_.clients.upsert(client)) {
        ++state_.counters.clientsRegistered;
    }
    state_.counters.clientsConnected = state_.clients.size();
}

void CommandResponder::unregisterClient(Net::Ipv4Endpoint from)
{
    if (state_.clients.remove(from)) {
        ++state_.counters.clientsDisconnected;
        state_.counters.clientsConnected = state_.clients.size();
    }
}

void CommandResponder::encodeModelDefinitionsLocked(Wire::ByteWriter& out, Wire::Version version)
{
    if (state_.modelDefPayload) {
        Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::ModelDef),
                            state_.modelDefPayload->data(), state_.modelDefPayload->size());
        return;
    }
    // Only the kinds this version has.
    std::memset(filtered_.get(), 0, sizeof(sDataDescriptions));
    if (state_.descriptions) {
        for (int32_t i = 0; i < state_.descriptions->nDataDescriptions; ++i) {
            const sDataDescription& entry = state_.descriptions->arrDataDescriptions[i];
            if (kindInVersion(entry.type, version)) {
                filtered_->arrDataDescriptions[filtered_->nDataDescriptions++] = entry;
            }
        }
    }
    if (Wire::encodeModelDefinitions(out, *filtered_, version) != Wire::Status::Ok) {
        out.reset();
    }
}

size_t CommandResponder::handleRequestLocked(const Wire::Datagram& message, Net::Ipv4Endpoint from,
                                             Wire::ByteWriter& out)
{
    ++state_.counters.requests;
    std::string_view text;
    if (Wire::decodeText(message.payload, message.payloadSize, text) != Wire::Status::Ok) {
        ++state_.counters.malformed;
        return 0;
    }
    const size_t comma = text.find(',');
    const std::string_view word = text.substr(0, comma);
    const std::string_view argument =
        comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    ++state_.counters.requestsByCommand[std::string(word)];
    const std::string key = lowercase(word);
    if (key == "disconnect") {
        ++state_.counters.disconnects;
        unregisterClient(from);
    }
    if (state_.silent) {
        return 0;
    }
    if (auto drop = state_.requestDrops.find(key); drop != state_.requestDrops.end() && drop->second > 0) {
        --drop->second;
        ++state_.counters.droppedByScript;
        return 0;
    }
    if (auto custom = state_.responses.find(key); custom != state_.responses.end()) {
        Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::Response), custom->second.data(),
                            custom->second.size());
        return out.failed() ? 0 : out.size();
    }
    const auto scripted = state_.answers.find(key);
    const Answer answer = scripted == state_.answers.end() ? Answer::Normal : scripted->second;
    if (answer == Answer::None) {
        ++state_.counters.droppedByScript;
        return 0;
    }
    if (answer == Answer::Normal && builtInAnswerLocked(key, argument, from, out)) {
        return out.failed() ? 0 : out.size();
    }
    out.reset();
    // Motive answers unknown commands with a sender-shaped body.
    Wire::SenderBlock body;
    body.setName("NatNetLib");
    std::copy(state_.natNetVersion.begin(), state_.natNetVersion.end(), body.version);
    std::copy(state_.natNetVersion.begin(), state_.natNetVersion.end(), body.natNetVersion);
    Wire::encodeUnrecognizedRequest(out, body);
    return out.failed() ? 0 : out.size();
}

// The commands this server knows; false for any other.
bool CommandResponder::builtInAnswerLocked(const std::string& key, std::string_view argument,
                                           Net::Ipv4Endpoint from, Wire::ByteWriter& out)
{
    if (key == "unitstomillimeters") {
        Wire::encodeResponseFloat(out, state_.unitsToMillimeters);
    } else if (key == "framerate") {
        Wire::encodeResponseFloat(out, state_.frameRate);
    } else if (key == "analogsamplespermocapframe") {
        Wire::encodeResponseInt32(out, state_.analogSamples);
    } else if (key == "currentmode") {
        Wire::encodeResponseInt32(out, state_.editMode ? 2 : 0);
    } else if (key == "startrecording" || key == "stoprecording") {
        state_.recording = key == "startrecording";
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "livemode" || key == "editmode") {
        state_.editMode = key == "editmode";
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "timelineplay" || key == "timelinestop") {
        // Live data only: there is no timeline to move, the command succeeds.
        Wire::encodeResponseInt32(out, 0);
    } else if (key == "disconnect") {
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
    UnicastClient* client = state_.clients.find(from);
    if (argument.empty()) {
        const Wire::Version current = client != nullptr ? client->version : toVersion(state_.natNetVersion);
        Wire::encodeResponseText(
            out, "Bitstream," + std::to_string(current.major) + "." + std::to_string(current.minor) + "." +
                     std::to_string(current.build) + "." + std::to_string(current.revision));
        return;
    }
    const std::optional<Wire::Version> wanted = Wire::Version::parse(argument);
    // Only unicast clients of a NatNet 4 server may change their stream.
    const bool allowed = wanted && client != nullptr && toVersion(state_.natNetVersion).major >= 4 &&
                         Wire::isSupported(*wanted);
    if (allowed) {
        client->version = *wanted;
        client->versionChanged = true;
    }
    Wire::encodeResponseInt32(out, allowed ? 0 : -1);
}

}  // namespace NatNet::Sim::Internal
