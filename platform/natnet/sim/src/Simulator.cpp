#include "natnet/sim/Simulator.h"

#include "ClientTable.h"
#include "PreciseTimer.h"
#include "ServerClock.h"

#include "transport/Ipv4Text.h"
#include "transport/ThreadName.h"
#include "transport/UdpSocket.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace NatNet::Sim {

namespace {

using Net::Ipv4Endpoint;

constexpr size_t kDatagramCapacity = 65536;
constexpr int kHousekeepingMs = 100;
constexpr int kSocketBufferBytes = 4 * 1024 * 1024;

std::string lowercase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

Wire::Version toVersion(const std::array<uint8_t, 4>& bytes)
{
    return Wire::Version(bytes[0], bytes[1], bytes[2], bytes[3]);
}

std::array<uint8_t, 4> toBytes(Wire::Version version)
{
    return {version.major, version.minor, version.build, version.revision};
}

bool sameLayout(Wire::Version a, Wire::Version b)
{
    return a.major == b.major && a.minor == b.minor;
}

bool isZero(const uint8_t (&bytes)[4])
{
    return bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0;
}

// "M.m[.b[.r]]"
std::optional<Wire::Version> parseVersion(std::string_view text)
{
    uint8_t parts[4] = {};
    size_t count = 0;
    size_t i = 0;
    while (count < 4 && i <= text.size()) {
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        parts[count++] = static_cast<uint8_t>(value);
        if (i == text.size()) {
            break;
        }
        if (text[i++] != '.') {
            return std::nullopt;
        }
    }
    if (count < 2 || i != text.size()) {
        return std::nullopt;
    }
    return Wire::Version(parts[0], parts[1], parts[2], parts[3]);
}

bool kindInVersion(int32_t type, Wire::Version version)
{
    switch (type) {
    case Descriptor_MarkerSet:
    case Descriptor_RigidBody:
    case Descriptor_Skeleton:
        return true;
    case Descriptor_ForcePlate:
        return version.atLeast(Wire::Gate::ForcePlateDescription);
    case Descriptor_Device:
        return version.atLeast(Wire::Gate::DeviceDescription);
    case Descriptor_Camera:
        return version.atLeast(Wire::Gate::CameraDescription);
    case Descriptor_Asset:
        return version.atLeast(Wire::Gate::AssetDescription);
    default:
        return false;
    }
}

struct DescriptionsDeleter
{
    void operator()(sDataDescriptions* list) const { Wire::freeDescriptions(list); }
};
using OwnedList = std::unique_ptr<sDataDescriptions, DescriptionsDeleter>;

}  // namespace

class Simulator::Impl
{
public:
    explicit Impl(const SimulatorConfig& config)
        : config_(config)
        , commandSocket_(io_)
        , dataSocket_(io_)
        , housekeeping_(io_)
        , rxBuffer_(kDatagramCapacity)
        , replyBuffer_(kDatagramCapacity)
        , filtered_(std::make_unique<sDataDescriptions>())
        , frameBuffer_(kDatagramCapacity)
    {
        clock_.setFrequency(10'000'000);
    }

    ~Impl() { stop(); }

    // ---- Lifecycle -------------------------------------------------------------
    bool start(std::string* error)
    {
        const auto fail = [&](const std::string& why) {
            if (error != nullptr) {
                *error = why;
            }
            commandSocket_.close();
            dataSocket_.close();
            return false;
        };
        if (running_.load()) {
            return fail("already running");
        }
        const auto local = Net::parseIpv4(config_.localAddress.c_str());
        if (!local) {
            return fail("bad local address \"" + config_.localAddress + "\"");
        }
        localAddress_ = *local;
        if (config_.multicast) {
            const auto group = Net::parseIpv4(config_.multicastAddress.c_str());
            if (!group || !Net::isMulticast(*group)) {
                return fail("bad multicast address \"" + config_.multicastAddress + "\"");
            }
            groupAddress_ = *group;
        }
        Net::UdpSocketOptions commandOptions;
        commandOptions.receiveBufferBytes = 1024 * 1024;
        commandOptions.broadcast = true;
        const uint32_t commandBind = config_.answerBroadcasts ? 0u : localAddress_;
        if (const auto ec = commandSocket_.open({commandBind, config_.commandPort}, commandOptions)) {
            return fail("command socket " + Net::formatIpv4(commandBind) + ":" + std::to_string(config_.commandPort) +
                        ": " + ec.message());
        }
        Net::UdpSocketOptions dataOptions;
        dataOptions.reuseAddress = true;
        dataOptions.sendBufferBytes = kSocketBufferBytes;
        if (const auto ec = dataSocket_.open({localAddress_, config_.dataPort}, dataOptions)) {
            return fail("data socket " + config_.localAddress + ":" + std::to_string(config_.dataPort) + ": " +
                        ec.message());
        }
        if (config_.multicast) {
            const int ttl = std::clamp(config_.multicastTtl, 0, 255);
            if (const auto ec = dataSocket_.setMulticastSending(localAddress_, ttl, true)) {
                return fail("multicast sending on " + config_.localAddress + ": " + ec.message());
            }
        }
        commandPort_ = commandSocket_.localEndpoint().port;
        dataPort_ = dataSocket_.localEndpoint().port;
        io_.restart();
        receive();
        scheduleHousekeeping();
        running_.store(true);
        std::lock_guard<std::mutex> lock(startMutex_);
        ioThread_ = std::thread([this] { runIo(); });
        return true;
    }

    void stop()
    {
        stopStreaming();
        io_.stop();
        if (ioThread_.joinable()) {
            ioThread_.join();
        }
        housekeeping_.cancel();
        commandSocket_.close();
        {
            // A frame being sent from another thread finishes first.
            std::lock_guard<std::mutex> sending(sendMutex_);
            running_.store(false);
            dataSocket_.close();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        clients_.all().clear();
        counters_.clientsConnected = 0;
        changed_.notify_all();
    }

    bool isRunning() const { return running_.load(); }
    uint16_t commandPort() const { return commandPort_; }
    uint16_t dataPort() const { return dataPort_; }

    // ---- Script ------------------------------------------------------------------
    template <class Change>
    void script(Change&& change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
    }

    bool setDataDescriptions(const sDataDescriptions& descriptions)
    {
        // Deep copy through the codec: every kind the record holds survives 4.1.
        std::vector<uint8_t> bytes(1 << 20);
        Wire::ByteWriter writer(bytes.data(), bytes.size());
        const Wire::Version full(4, 1);
        if (Wire::encodeModelDefinitions(writer, descriptions, full) != Wire::Status::Ok) {
            return false;
        }
        sDataDescriptions* copy = nullptr;
        if (Wire::decodeModelDefinitions(bytes.data() + Wire::kHeaderSize, writer.size() - Wire::kHeaderSize, full,
                                         &copy) != Wire::Status::Ok) {
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        descriptions_.reset(copy);
        modelDefPayload_.reset();
        return true;
    }

    // ---- Frames --------------------------------------------------------------------
    struct Target
    {
        Ipv4Endpoint endpoint;
        Wire::Version version;
        bool versionChanged = false;
    };

    void collectTargets()
    {
        targets_.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        if (config_.multicast) {
            targets_.push_back({{groupAddress_, dataPort_}, toVersion(natNetVersion_), false});
            return;
        }
        for (Internal::UnicastClient& client : clients_.all()) {
            targets_.push_back({client.endpoint, client.version, client.versionChanged});
            client.versionChanged = false;
        }
    }

    void countSent(int datagrams)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.framesSent;
        counters_.datagramsSent += static_cast<uint64_t>(datagrams);
        changed_.notify_all();
    }

    int sendFrame(const sFrameOfMocapData& frame)
    {
        std::lock_guard<std::mutex> sending(sendMutex_);
        if (!running_.load()) {
            return 0;
        }
        collectTargets();
        int sent = 0;
        bool encoded = false;
        Wire::Version encodedVersion;
        size_t size = 0;
        for (const Target& target : targets_) {
            if (!encoded || !sameLayout(encodedVersion, target.version)) {
                Wire::ByteWriter writer(frameBuffer_.data(), frameBuffer_.size());
                encoded = Wire::encodeFrame(writer, frame, target.version) == Wire::Status::Ok;
                encodedVersion = target.version;
                size = writer.size();
                if (!encoded) {
                    continue;
                }
            }
            // After a version change the first frame says so (params bit 3); params
            // sit just before the 4-byte end tag.
            const bool flag = target.versionChanged && target.version.atLeast(Wire::Gate::FrameParams) &&
                              size >= Wire::kHeaderSize + 6;
            uint8_t saved = 0;
            if (flag) {
                saved = frameBuffer_[size - 6];
                frameBuffer_[size - 6] = static_cast<uint8_t>(saved | 0x08);
            }
            if (!dataSocket_.sendTo(frameBuffer_.data(), size, target.endpoint)) {
                ++sent;
            }
            if (flag) {
                frameBuffer_[size - 6] = saved;
            }
        }
        countSent(sent);
        return sent;
    }

    int sendRawDatagram(const void* bytes, size_t size)
    {
        std::lock_guard<std::mutex> sending(sendMutex_);
        if (!running_.load()) {
            return 0;
        }
        collectTargets();
        int sent = 0;
        for (const Target& target : targets_) {
            if (!dataSocket_.sendTo(bytes, size, target.endpoint)) {
                ++sent;
            }
        }
        countSent(sent);
        return sent;
    }

    // ---- Streaming -----------------------------------------------------------------
    bool startStreaming(const ScenarioConfig& config)
    {
        if (!running_.load()) {
            return false;
        }
        stopStreaming();
        Scenario probe(config);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            frameRate_ = static_cast<float>(probe.config().rateHz);
            units_ = probe.unitsToMillimeters();
        }
        setDataDescriptions(probe.descriptions().view());
        startStreamThread([this, config] { streamScenario(config); });
        return true;
    }

    bool startReplay(const Capture& capture, int loops)
    {
        if (!running_.load()) {
            return false;
        }
        stopStreaming();
        std::vector<CapturedDatagram> frames;
        for (const CapturedDatagram* frame : capture.frames()) {
            frames.push_back(*frame);
        }
        if (frames.empty()) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (const auto version = capture.serverNatNetVersion()) {
                natNetVersion_ = *version;
            }
            if (auto payload = capture.modelDefinitionsPayload()) {
                modelDefPayload_ = std::move(*payload);
            }
        }
        startStreamThread([this, frames = std::move(frames), loops] { streamReplay(frames, loops); });
        return true;
    }

    void stopStreaming()
    {
        stopStream_.store(true);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            changed_.notify_all();
        }
        if (streamThread_.joinable()) {
            streamThread_.join();
        }
        streaming_.store(false);
    }

    bool isStreaming() const { return streaming_.load(); }

    bool waitForStreamEnd(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return !streaming_.load(); });
    }

    // ---- Observation -----------------------------------------------------------------
    SimulatorCounters counters() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return counters_;
    }

    std::vector<ClientInfo> clients() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<ClientInfo> out;
        for (const Internal::UnicastClient& client : clients_.all()) {
            ClientInfo info;
            info.address = Net::formatIpv4(client.endpoint.address);
            info.port = client.endpoint.port;
            info.bitstreamVersion = toBytes(client.version);
            info.subscribedDataOnly = client.subscribedDataOnly;
            out.push_back(info);
        }
        return out;
    }

    bool waitFor(const std::function<bool(const SimulatorCounters&)>& predicate,
                 std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return predicate(counters_); });
    }

    const SimulatorConfig config_;
    Internal::ServerClock clock_;

    // Guarded by mutex_: the script, the clients and the counters.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string appName_ = "Motive";
    std::array<uint8_t, 4> appVersion_{3, 1, 0, 0};
    std::array<uint8_t, 4> natNetVersion_{4, 1, 0, 0};
    float units_ = 1000.0f;
    float frameRate_ = 120.0f;
    int32_t analogSamples_ = 0;
    OwnedList descriptions_;
    std::optional<std::vector<uint8_t>> modelDefPayload_;
    bool noHost_ = false;
    bool silent_ = false;
    bool recording_ = false;
    bool editMode_ = false;
    std::map<std::string, Answer> answers_;                  // by lower-case command word
    std::map<std::string, std::vector<uint8_t>> responses_;  // by lower-case command word
    std::map<std::string, int> requestDrops_;                // by lower-case command word
    std::map<MessageKind, int> kindDrops_;
    Internal::ClientTable clients_;
    SimulatorCounters counters_;

private:
    // ---- Command socket (io thread) -------------------------------------------------------
    void runIo()
    {
        {
            std::lock_guard<std::mutex> lock(startMutex_);
        }
        Net::setCurrentThreadName("natnet-sim-cmd");
        for (;;) {
            try {
                io_.run();
                return;
            } catch (...) {
                // A handler failed (out of memory): keep serving.
            }
        }
    }

    void receive()
    {
        commandSocket_.asyncReceive(rxBuffer_.data(), rxBuffer_.size(),
                                    [this](std::error_code ec, size_t size, Ipv4Endpoint from) {
                                        if (ec == std::errc::operation_canceled) {
                                            return;
                                        }
                                        if (!ec) {
                                            onDatagram(rxBuffer_.data(), size, from);
                                        }
                                        if (commandSocket_.isOpen()) {
                                            receive();
                                        }
                                    });
    }

    void scheduleHousekeeping()
    {
        housekeeping_.expires_after(std::chrono::milliseconds(kHousekeepingMs));
        housekeeping_.async_wait([this](const boost::system::error_code& ec) {
            if (ec) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const uint64_t timeoutNs = static_cast<uint64_t>(std::max(config_.clientTimeoutMs, 1)) * 1'000'000u;
                const size_t dropped = clients_.expire(Internal::ServerClock::steadyNowNs(), timeoutNs);
                if (dropped > 0) {
                    counters_.clientsDropped += dropped;
                    counters_.clientsConnected = clients_.size();
                    changed_.notify_all();
                }
            }
            scheduleHousekeeping();
        });
    }

    // True (and one drop used) when the script says to ignore this reception.
    bool dropKind(MessageKind kind)
    {
        auto it = kindDrops_.find(kind);
        if (it == kindDrops_.end() || it->second <= 0) {
            return false;
        }
        --it->second;
        ++counters_.droppedByScript;
        return true;
    }

    Wire::ServerInfo serverInfoLocked() const
    {
        Wire::ServerInfo info;
        info.sender.setName(appName_);
        std::copy(appVersion_.begin(), appVersion_.end(), info.sender.version);
        std::copy(natNetVersion_.begin(), natNetVersion_.end(), info.sender.natNetVersion);
        info.hasConnectionInfo = toVersion(natNetVersion_).atLeast(Wire::Gate::ServerInfoConnectionInfo);
        info.highResClockFrequency = clock_.frequency();
        info.dataPort = dataPort_;
        info.isMulticast = config_.multicast;
        if (config_.multicast) {
            Net::ipv4ToBytes(groupAddress_, info.multicastAddress);
        }
        return info;
    }

    Wire::Version versionFor(Ipv4Endpoint endpoint)
    {
        if (const Internal::UnicastClient* client = clients_.find(endpoint)) {
            return client->version;
        }
        return toVersion(natNetVersion_);
    }

    // Builds the reply into replyBuffer_; returns its size (0: no reply).
    size_t handleLocked(const Wire::Datagram& message, Ipv4Endpoint from, uint64_t receivedTicks)
    {
        Wire::ByteWriter out(replyBuffer_.data(), replyBuffer_.size());
        const uint64_t nowNs = Internal::ServerClock::steadyNowNs();
        clients_.touch(from, nowNs);
        switch (static_cast<Wire::MessageId>(message.messageId)) {
        case Wire::MessageId::Connect: {
            ++counters_.connects;
            if (silent_ || dropKind(MessageKind::Connect)) {
                return 0;
            }
            if (!config_.multicast) {
                registerClient(message, from, nowNs);
            }
            if (noHost_) {
                Wire::encodeEmpty(out, Wire::MessageId::ServerInfo);
            } else {
                Wire::encodeServerInfo(out, serverInfoLocked());
            }
            break;
        }
        case Wire::MessageId::Discovery:
            ++counters_.discoveries;
            if (silent_ || dropKind(MessageKind::Discovery)) {
                return 0;
            }
            Wire::encodeServerInfo(out, serverInfoLocked());
            break;
        case Wire::MessageId::Request:
            return handleRequestLocked(message, from, out);
        case Wire::MessageId::RequestModelDef:
            ++counters_.modelDefRequests;
            if (silent_ || dropKind(MessageKind::ModelDefRequest)) {
                return 0;
            }
            encodeModelDefinitionsLocked(out, versionFor(from));
            break;
        case Wire::MessageId::EchoRequest: {
            ++counters_.echoRequests;
            uint64_t stamp = 0;
            if (Wire::decodeEchoRequest(message.payload, message.payloadSize, stamp) != Wire::Status::Ok) {
                // Shorter than a stamp: echo what there is, zero-padded, rather than stay mute.
                uint8_t bytes[8] = {};
                std::memcpy(bytes, message.payload, std::min<size_t>(message.payloadSize, sizeof(bytes)));
                for (int i = 7; i >= 0; --i) {
                    stamp = (stamp << 8) | bytes[i];
                }
            }
            if (silent_ || dropKind(MessageKind::EchoRequest)) {
                return 0;
            }
            Wire::encodeEchoResponse(out, Wire::EchoResponse{stamp, receivedTicks});
            break;
        }
        case Wire::MessageId::KeepAlive:
            // Never answered: the vendor's client reports an answer as an unknown message.
            ++counters_.keepAlives;
            return 0;
        case Wire::MessageId::Disconnect:
            ++counters_.disconnects;
            unregisterClient(from);
            return 0;
        default:
            ++counters_.otherMessages;
            return 0;
        }
        return out.failed() ? 0 : out.size();
    }

    void registerClient(const Wire::Datagram& message, Ipv4Endpoint from, uint64_t nowNs)
    {
        Wire::ConnectRequest request;
        // Any length is accepted; options count only when they are there.
        if (Wire::decodeConnect(message.payload, message.payloadSize, request) != Wire::Status::Ok) {
            request = Wire::ConnectRequest{};
        }
        Internal::UnicastClient client;
        client.endpoint = from;
        client.version = toVersion(natNetVersion_);
        client.lastHeardNs = nowNs;
        if (request.hasOptions) {
            client.subscribedDataOnly = request.subscribedDataOnly;
            const Wire::Version wanted = Wire::Version::fromBytes(request.bitstreamVersion);
            if (!isZero(request.bitstreamVersion) && client.version.major >= 4 && Wire::isSupported(wanted)) {
                client.version = wanted;
            }
        }
        if (clients_.upsert(client)) {
            ++counters_.clientsRegistered;
        }
        counters_.clientsConnected = clients_.size();
    }

    void unregisterClient(Ipv4Endpoint from)
    {
        if (clients_.remove(from)) {
            ++counters_.clientsDisconnected;
            counters_.clientsConnected = clients_.size();
        }
    }

    void encodeModelDefinitionsLocked(Wire::ByteWriter& out, Wire::Version version)
    {
        if (modelDefPayload_) {
            Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::ModelDef), modelDefPayload_->data(),
                                modelDefPayload_->size());
            return;
        }
        // Only the kinds this version has.
        std::memset(filtered_.get(), 0, sizeof(sDataDescriptions));
        if (descriptions_) {
            for (int32_t i = 0; i < descriptions_->nDataDescriptions; ++i) {
                const sDataDescription& entry = descriptions_->arrDataDescriptions[i];
                if (kindInVersion(entry.type, version)) {
                    filtered_->arrDataDescriptions[filtered_->nDataDescriptions++] = entry;
                }
            }
        }
        if (Wire::encodeModelDefinitions(out, *filtered_, version) != Wire::Status::Ok) {
            out.reset();
        }
    }

    size_t handleRequestLocked(const Wire::Datagram& message, Ipv4Endpoint from, Wire::ByteWriter& out)
    {
        ++counters_.requests;
        std::string_view text;
        if (Wire::decodeText(message.payload, message.payloadSize, text) != Wire::Status::Ok) {
            ++counters_.malformed;
            return 0;
        }
        const size_t comma = text.find(',');
        const std::string_view word = text.substr(0, comma);
        const std::string_view argument = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        ++counters_.requestsByCommand[std::string(word)];
        const std::string key = lowercase(word);
        if (key == "disconnect") {
            ++counters_.disconnects;
            unregisterClient(from);
        }
        if (silent_) {
            return 0;
        }
        if (auto drop = requestDrops_.find(key); drop != requestDrops_.end() && drop->second > 0) {
            --drop->second;
            ++counters_.droppedByScript;
            return 0;
        }
        if (auto custom = responses_.find(key); custom != responses_.end()) {
            Wire::encodeMessage(out, static_cast<uint16_t>(Wire::MessageId::Response), custom->second.data(),
                                custom->second.size());
            return out.failed() ? 0 : out.size();
        }
        const auto scripted = answers_.find(key);
        const Answer answer = scripted == answers_.end() ? Answer::Normal : scripted->second;
        if (answer == Answer::None) {
            ++counters_.droppedByScript;
            return 0;
        }
        if (answer == Answer::Normal && builtInAnswerLocked(key, argument, from, out)) {
            return out.failed() ? 0 : out.size();
        }
        out.reset();
        // Motive answers unknown commands with a sender-shaped body.
        Wire::SenderBlock body;
        body.setName("NatNetLib");
        std::copy(natNetVersion_.begin(), natNetVersion_.end(), body.version);
        std::copy(natNetVersion_.begin(), natNetVersion_.end(), body.natNetVersion);
        Wire::encodeUnrecognizedRequest(out, body);
        return out.failed() ? 0 : out.size();
    }

    // The commands this server knows; false for any other.
    bool builtInAnswerLocked(const std::string& key, std::string_view argument, Ipv4Endpoint from,
                             Wire::ByteWriter& out)
    {
        if (key == "unitstomillimeters") {
            Wire::encodeResponseFloat(out, units_);
        } else if (key == "framerate") {
            Wire::encodeResponseFloat(out, frameRate_);
        } else if (key == "analogsamplespermocapframe") {
            Wire::encodeResponseInt32(out, analogSamples_);
        } else if (key == "currentmode") {
            Wire::encodeResponseInt32(out, editMode_ ? 2 : 0);
        } else if (key == "startrecording" || key == "stoprecording") {
            recording_ = key == "startrecording";
            Wire::encodeResponseInt32(out, 0);
        } else if (key == "livemode" || key == "editmode") {
            editMode_ = key == "editmode";
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

    void answerBitstreamLocked(std::string_view argument, Ipv4Endpoint from, Wire::ByteWriter& out)
    {
        Internal::UnicastClient* client = clients_.find(from);
        if (argument.empty()) {
            const Wire::Version current = client != nullptr ? client->version : toVersion(natNetVersion_);
            Wire::encodeResponseText(out, "Bitstream," + std::to_string(current.major) + "." +
                                              std::to_string(current.minor) + "." + std::to_string(current.build) +
                                              "." + std::to_string(current.revision));
            return;
        }
        const auto wanted = parseVersion(argument);
        // Only unicast clients of a NatNet 4 server may change their stream.
        const bool allowed = wanted && client != nullptr && toVersion(natNetVersion_).major >= 4 &&
                             Wire::isSupported(*wanted);
        if (allowed) {
            client->version = *wanted;
            client->versionChanged = true;
        }
        Wire::encodeResponseInt32(out, allowed ? 0 : -1);
    }

    void onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from)
    {
        const uint64_t receivedTicks = clock_.ticksNow();
        size_t replySize = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Wire::Datagram message;
            if (Wire::decodeDatagram(data, size, message) != Wire::Status::Ok) {
                ++counters_.malformed;
            } else {
                replySize = handleLocked(message, from, receivedTicks);
            }
            changed_.notify_all();
        }
        if (replySize > 0) {
            (void)commandSocket_.sendTo(replyBuffer_.data(), replySize, from);
        }
    }

    // ---- Stream thread -----------------------------------------------------------------
    template <class Body>
    void startStreamThread(Body&& body)
    {
        stopStream_.store(false);
        streaming_.store(true);
        streamThread_ = std::thread([this, b = std::forward<Body>(body)]() mutable {
            Net::setCurrentThreadName("natnet-sim-tx");
            Internal::PreciseTimer::tuneCurrentThread();
            try {
                b();
            } catch (...) {
                // Out of memory in a frame: the stream ends.
            }
            std::lock_guard<std::mutex> lock(mutex_);
            streaming_.store(false);
            changed_.notify_all();
        });
    }

    static uint64_t spinFor(double periodNs)
    {
        // Above ~500 Hz a wake-up's jitter is a noticeable part of the period.
        return periodNs < 2e6 ? 30'000 : 0;
    }

    void streamScenario(const ScenarioConfig& config)
    {
        Scenario scenario(config);
        auto frame = std::make_unique<sFrameOfMocapData>();
        const uint64_t total = scenario.totalFrames();
        const double periodNs = 1e9 / scenario.config().rateHz;
        const uint64_t spin = spinFor(periodNs);
        uint64_t start = Internal::ServerClock::steadyNowNs() + 1'000'000;
        for (uint64_t k = 0; total == 0 || k < total; ++k) {
            uint64_t deadline = start + static_cast<uint64_t>(std::llround(static_cast<double>(k) * periodNs));
            const uint64_t now = Internal::ServerClock::steadyNowNs();
            if (now > deadline + 100'000'000) {
                // Far behind (the machine stalled): shift the schedule instead of bursting.
                start += now - deadline;
                deadline = now;
            }
            if (!Internal::PreciseTimer::sleepUntil(deadline, spin, stopStream_)) {
                return;
            }
            scenario.fill(k, *frame);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                frame->params = static_cast<int16_t>((recording_ ? 0x01 : 0) | (editMode_ ? 0x04 : 0));
            }
            // One clock for everything: seconds since the server started and its ticks.
            frame->fTimestamp = clock_.secondsAt(deadline);
            frame->CameraMidExposureTimestamp = clock_.ticksAt(deadline - std::min<uint64_t>(deadline, 3'000'000));
            frame->CameraDataReceivedTimestamp = clock_.ticksAt(deadline - std::min<uint64_t>(deadline, 1'000'000));
            frame->TransmitTimestamp = clock_.ticksNow();
            sendFrame(*frame);
        }
    }

    void streamReplay(const std::vector<CapturedDatagram>& frames, int loops)
    {
        for (int loop = 0; loops <= 0 || loop < loops; ++loop) {
            const uint64_t start = Internal::ServerClock::steadyNowNs() + 1'000'000;
            const double first = frames.front().seconds;
            for (const CapturedDatagram& datagram : frames) {
                const auto offset = static_cast<uint64_t>(std::llround((datagram.seconds - first) * 1e9));
                if (!Internal::PreciseTimer::sleepUntil(start + offset, 0, stopStream_)) {
                    return;
                }
                sendRawDatagram(datagram.bytes.data(), datagram.bytes.size());
            }
        }
    }

    boost::asio::io_context io_;
    Net::UdpSocket commandSocket_;
    Net::UdpSocket dataSocket_;
    boost::asio::steady_timer housekeeping_;
    std::mutex startMutex_;
    std::thread ioThread_;
    std::atomic<bool> running_{false};
    uint32_t localAddress_ = 0;
    uint32_t groupAddress_ = 0;
    uint16_t commandPort_ = 0;
    uint16_t dataPort_ = 0;

    // io thread only.
    std::vector<uint8_t> rxBuffer_;
    std::vector<uint8_t> replyBuffer_;
    std::unique_ptr<sDataDescriptions> filtered_;

    // Frame sending, under sendMutex_.
    std::mutex sendMutex_;
    std::vector<uint8_t> frameBuffer_;
    std::vector<Target> targets_;

    std::thread streamThread_;
    std::atomic<bool> stopStream_{false};
    std::atomic<bool> streaming_{false};
};

// ---- Simulator ------------------------------------------------------------------------------

Simulator::Simulator(SimulatorConfig config) : config_(std::move(config)), impl_(std::make_unique<Impl>(config_)) {}

Simulator::~Simulator()
{
    impl_->stop();
}

bool Simulator::start(std::string* error)
{
    return impl_->start(error);
}

void Simulator::stop()
{
    impl_->stop();
}

bool Simulator::isRunning() const
{
    return impl_->isRunning();
}

uint16_t Simulator::commandPort() const
{
    return impl_->commandPort();
}

uint16_t Simulator::dataPort() const
{
    return impl_->dataPort();
}

void Simulator::setAppName(const std::string& name)
{
    impl_->script([&] { impl_->appName_ = name; });
}

void Simulator::setAppVersion(const std::array<uint8_t, 4>& version)
{
    impl_->script([&] { impl_->appVersion_ = version; });
}

void Simulator::setNatNetVersion(const std::array<uint8_t, 4>& version)
{
    impl_->script([&] { impl_->natNetVersion_ = version; });
}

std::array<uint8_t, 4> Simulator::natNetVersion() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex_);
    return impl_->natNetVersion_;
}

void Simulator::setClockFrequency(uint64_t ticksPerSecond)
{
    impl_->clock_.setFrequency(ticksPerSecond);
}

void Simulator::setUnitsToMillimeters(float value)
{
    impl_->script([&] { impl_->units_ = value; });
}

void Simulator::setFrameRate(float value)
{
    impl_->script([&] { impl_->frameRate_ = value; });
}

void Simulator::setAnalogSamplesPerFrame(int32_t value)
{
    impl_->script([&] { impl_->analogSamples_ = value; });
}

bool Simulator::setDataDescriptions(const sDataDescriptions& descriptions)
{
    return impl_->setDataDescriptions(descriptions);
}

void Simulator::setModelDefinitionsPayload(std::vector<uint8_t> payload)
{
    impl_->script([&] { impl_->modelDefPayload_ = std::move(payload); });
}

void Simulator::setNoHostPresent(bool noHost)
{
    impl_->script([&] { impl_->noHost_ = noHost; });
}

void Simulator::setCommandAnswer(const std::string& command, Answer answer)
{
    impl_->script([&] { impl_->answers_[lowercase(command)] = answer; });
}

void Simulator::setCommandResponse(const std::string& command, std::vector<uint8_t> payload)
{
    impl_->script([&] { impl_->responses_[lowercase(command)] = std::move(payload); });
}

void Simulator::dropNextRequests(const std::string& command, int count)
{
    impl_->script([&] { impl_->requestDrops_[lowercase(command)] = std::max(count, 0); });
}

void Simulator::dropNext(MessageKind kind, int count)
{
    impl_->script([&] { impl_->kindDrops_[kind] = std::max(count, 0); });
}

void Simulator::setSilent(bool silent)
{
    impl_->script([&] { impl_->silent_ = silent; });
}

int Simulator::sendFrame(const sFrameOfMocapData& frame)
{
    return impl_->sendFrame(frame);
}

int Simulator::sendRawDatagram(const void* bytes, size_t size)
{
    return impl_->sendRawDatagram(bytes, size);
}

bool Simulator::startStreaming(const ScenarioConfig& scenario)
{
    return impl_->startStreaming(scenario);
}

bool Simulator::startReplay(const Capture& capture, int loops)
{
    return impl_->startReplay(capture, loops);
}

void Simulator::stopStreaming()
{
    impl_->stopStreaming();
}

bool Simulator::isStreaming() const
{
    return impl_->isStreaming();
}

bool Simulator::waitForStreamEnd(std::chrono::milliseconds timeout)
{
    return impl_->waitForStreamEnd(timeout);
}

uint64_t Simulator::ticksNow() const
{
    return impl_->clock_.ticksNow();
}

uint64_t Simulator::clockFrequency() const
{
    return impl_->clock_.frequency();
}

SimulatorCounters Simulator::counters() const
{
    return impl_->counters();
}

std::vector<ClientInfo> Simulator::clients() const
{
    return impl_->clients();
}

bool Simulator::waitFor(const std::function<bool(const SimulatorCounters&)>& predicate,
                        std::chrono::milliseconds timeout) const
{
    return impl_->waitFor(predicate, timeout);
}

}  // namespace NatNet::Sim
