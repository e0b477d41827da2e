#include "natnet/sim/Simulator.h"

#include "AnswerScheduler.h"
#include "CommandResponder.h"
#include "FrameSender.h"
#include "ServerClock.h"
#include "ServerState.h"
#include "StreamRunner.h"
#include "WireHelpers.h"

#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/ThreadName.h"
#include "natnet/transport/UdpSocket.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace NatNet::Sim {

namespace {

using Net::Ipv4Endpoint;

constexpr size_t kDatagramCapacity = 65536;
constexpr int kHousekeepingMs = 100;
constexpr int kSocketBufferBytes = 4 * 1024 * 1024;

}  // namespace

// The sockets, the command thread and the housekeeping; the answers, the frame
// sending and the stream thread are the parts in Internal.
class Simulator::Impl
{
public:
    explicit Impl(const SimulatorConfig& config)
        : config_(config),
          commandSocket_(io_),
          housekeeping_(io_),
          responder_(config_, state_, clock_),
          answers_(io_, commandSocket_, state_),
          sender_(config_, state_, io_),
          runner_(state_, sender_, clock_),
          rxBuffer_(kDatagramCapacity)
    {
        clock_.setFrequency(10'000'000);
    }

    ~Impl() { stop(); }

    bool start(std::string* error)
    {
        const auto fail = [&](const std::string& why) {
            if (error != nullptr) {
                *error = why;
            }
            commandSocket_.close();
            sender_.socket().close();
            return false;
        };
        if (running_.load()) {
            return fail("already running");
        }
        const auto local = Net::parseIpv4(config_.localAddress.c_str());
        if (!local) {
            return fail("bad local address \"" + config_.localAddress + "\"");
        }
        uint32_t group = 0;
        if (config_.multicast) {
            const auto parsed = Net::parseIpv4(config_.multicastAddress.c_str());
            if (!parsed || !Net::isMulticast(*parsed)) {
                return fail("bad multicast address \"" + config_.multicastAddress + "\"");
            }
            group = *parsed;
        }
        Net::UdpSocketOptions commandOptions;
        commandOptions.receiveBufferBytes = 1024 * 1024;
        commandOptions.broadcast = true;
        const uint32_t commandBind = config_.answerBroadcasts ? 0u : *local;
        if (const auto ec = commandSocket_.open({commandBind, config_.commandPort}, commandOptions)) {
            return fail("command socket " + Net::formatIpv4(commandBind) + ":" +
                        std::to_string(config_.commandPort) + ": " + ec.message());
        }
        Net::UdpSocket& data = sender_.socket();
        Net::UdpSocketOptions dataOptions;
        dataOptions.reuseAddress = true;
        dataOptions.sendBufferBytes = kSocketBufferBytes;
        if (const auto ec = data.open({*local, config_.dataPort}, dataOptions)) {
            return fail("data socket " + config_.localAddress + ":" + std::to_string(config_.dataPort) +
                        ": " + ec.message());
        }
        if (const auto ec = sender_.otherSocket().open({*local, 0}, {})) {
            return fail("second data socket " + config_.localAddress + ": " + ec.message());
        }
        if (config_.multicast) {
            const int ttl = std::clamp(config_.multicastTtl, 0, 255);
            (void)sender_.otherSocket().setMulticastSending(*local, ttl, true);
            if (const auto ec = data.setMulticastSending(*local, ttl, true)) {
                return fail("multicast sending on " + config_.localAddress + ": " + ec.message());
            }
        }
        commandPort_ = commandSocket_.localEndpoint().port;
        dataPort_ = data.localEndpoint().port;
        otherDataPort_ = sender_.otherSocket().localEndpoint().port;
        responder_.setDataEndpoint({group, dataPort_});
        sender_.enable({group, dataPort_});
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
        runner_.stop();
        io_.stop();
        if (ioThread_.joinable()) {
            ioThread_.join();
        }
        housekeeping_.cancel();
        answers_.reset();
        {
            std::lock_guard<std::mutex> sending(commandSendMutex_);
            commandSocket_.close();
        }
        sender_.disable();  // a frame being sent from another thread finishes first
        running_.store(false);
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.clients.all().clear();
        state_.connectPeers.clear();
        state_.counters.clientsConnected = 0;
        state_.changed.notify_all();
    }

    bool isRunning() const { return running_.load(); }
    uint16_t commandPort() const { return commandPort_; }
    uint16_t dataPort() const { return dataPort_; }
    uint16_t otherDataPort() const { return otherDataPort_; }

    template <class Change>
    void script(Change&& change)
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
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
        if (Wire::decodeModelDefinitions(bytes.data() + Wire::kHeaderSize, writer.size() - Wire::kHeaderSize,
                                         full, &copy) != Wire::Status::Ok) {
            return false;
        }
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.descriptions.reset(copy);
        state_.modelDefPayload.reset();
        return true;
    }

    bool startStreaming(const ScenarioConfig& config)
    {
        if (!running_.load()) {
            return false;
        }
        runner_.stop();
        const Scenario probe(config);
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            state_.frameRate = static_cast<float>(probe.config().rateHz);
            state_.unitsToMillimeters = probe.unitsToMillimeters();
        }
        setDataDescriptions(probe.descriptions().view());
        runner_.startScenario(config);
        return true;
    }

    bool startReplay(const Capture& capture, int loops)
    {
        if (!running_.load()) {
            return false;
        }
        runner_.stop();
        std::vector<CapturedDatagram> frames;
        for (const CapturedDatagram* frame : capture.frames()) {
            frames.push_back(*frame);
        }
        if (frames.empty()) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            if (const auto version = capture.serverNatNetVersion()) {
                state_.natNetVersion = *version;
            }
            if (auto payload = capture.modelDefinitionsPayload()) {
                state_.modelDefPayload = std::move(*payload);
            }
        }
        runner_.startReplay(std::move(frames), loops);
        return true;
    }

    SimulatorCounters counters() const
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        return state_.counters;
    }

    std::vector<ClientInfo> clients() const
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        std::vector<ClientInfo> out;
        for (const Internal::UnicastClient& client : state_.clients.all()) {
            ClientInfo info;
            info.address = Net::formatIpv4(client.endpoint.address);
            info.port = client.endpoint.port;
            info.bitstreamVersion = Internal::toBytes(client.version);
            info.subscribedDataOnly = client.subscribedDataOnly;
            out.push_back(info);
        }
        return out;
    }

    bool waitFor(const std::function<bool(const SimulatorCounters&)>& predicate,
                 std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> lock(state_.mutex);
        return state_.changed.wait_for(lock, timeout, [&] { return predicate(state_.counters); });
    }

    int sendUnsolicitedServerInfo(const std::array<uint8_t, 4>* claimedVersion)
    {
        if (!running_.load()) {
            return 0;
        }
        std::vector<uint8_t> message;
        std::vector<Ipv4Endpoint> targets;
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            message = responder_.serverInfoMessageLocked(claimedVersion);
            for (const Internal::UnicastClient& client : state_.clients.all()) {
                targets.push_back(client.endpoint);
            }
            targets.insert(targets.end(), state_.connectPeers.begin(), state_.connectPeers.end());
        }
        if (message.empty()) {
            return 0;
        }
        int sent = 0;
        {
            // Not while stop() closes the socket.
            std::lock_guard<std::mutex> sending(commandSendMutex_);
            for (const Ipv4Endpoint& target : targets) {
                sent +=
                    commandSocket_.isOpen() && !commandSocket_.sendTo(message.data(), message.size(), target)
                        ? 1
                        : 0;
            }
        }
        if (config_.multicast) {
            // The group hears it on the data port, from the data socket.
            sent += sender_.sendRawDatagram(message.data(), message.size());
        }
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.counters.unsolicitedServerInfos += static_cast<uint64_t>(sent);
        state_.changed.notify_all();
        return sent;
    }

    int sendFrame(const sFrameOfMocapData& frame) { return sender_.sendFrame(frame); }
    int sendFrameFromOtherPort(const sFrameOfMocapData& frame)
    {
        return sender_.sendFrameFromOtherPort(frame);
    }
    int sendRawDatagram(const void* bytes, size_t size) { return sender_.sendRawDatagram(bytes, size); }
    void stopStreaming() { runner_.stop(); }
    bool isStreaming() const { return runner_.isStreaming(); }
    bool waitForStreamEnd(std::chrono::milliseconds timeout) { return runner_.waitForEnd(timeout); }

    const SimulatorConfig config_;
    Internal::ServerClock clock_;
    Internal::ServerState state_;

private:
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

    void onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from)
    {
        const uint64_t receivedTicks = clock_.ticksNow();
        size_t replySize = 0;
        bool isAnswer = false;
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            Wire::Datagram message;
            if (Wire::decodeDatagram(data, size, message) != Wire::Status::Ok) {
                ++state_.counters.malformed;
            } else {
                replySize = responder_.respond(message, from, receivedTicks);
                const auto id = static_cast<Wire::MessageId>(message.messageId);
                isAnswer = id == Wire::MessageId::Connect || id == Wire::MessageId::Request ||
                           id == Wire::MessageId::RequestModelDef;
            }
            state_.changed.notify_all();
        }
        if (replySize > 0 && isAnswer) {
            // Answers are what the script may delay, duplicate or shift.
            answers_.submit(responder_.reply(), replySize, from);
        } else if (replySize > 0) {
            // Always to the source of the datagram being answered.
            (void)commandSocket_.sendTo(responder_.reply(), replySize, from);
        }
    }

    // Drops unicast clients that fell silent.
    void scheduleHousekeeping()
    {
        housekeeping_.expires_after(std::chrono::milliseconds(kHousekeepingMs));
        housekeeping_.async_wait([this](const boost::system::error_code& ec) {
            if (ec) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(state_.mutex);
                const uint64_t timeoutNs =
                    static_cast<uint64_t>(std::max(config_.clientTimeoutMs, 1)) * 1'000'000u;
                const size_t dropped = state_.clients.expire(Internal::ServerClock::steadyNowNs(), timeoutNs);
                if (dropped > 0) {
                    state_.counters.clientsDropped += dropped;
                    state_.counters.clientsConnected = state_.clients.size();
                    state_.changed.notify_all();
                }
            }
            scheduleHousekeeping();
        });
    }

    boost::asio::io_context io_;
    Net::UdpSocket commandSocket_;
    boost::asio::steady_timer housekeeping_;
    Internal::CommandResponder responder_;
    Internal::AnswerScheduler answers_;  // command thread only
    Internal::FrameSender sender_;
    Internal::StreamRunner runner_;
    std::vector<uint8_t> rxBuffer_;  // command thread only

    std::mutex startMutex_;
    std::mutex commandSendMutex_;  // sends from other threads than the command thread, and close()
    std::thread ioThread_;
    std::atomic<bool> running_{false};
    uint16_t commandPort_ = 0;
    uint16_t dataPort_ = 0;
    uint16_t otherDataPort_ = 0;
};

// ---- Simulator ------------------------------------------------------------------------------

Simulator::Simulator(SimulatorConfig config)
    : config_(std::move(config)), impl_(std::make_unique<Impl>(config_))
{
}

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
    impl_->script([&] { impl_->state_.appName = name; });
}

void Simulator::setAppVersion(const std::array<uint8_t, 4>& version)
{
    impl_->script([&] { impl_->state_.appVersion = version; });
}

void Simulator::setNatNetVersion(const std::array<uint8_t, 4>& version)
{
    impl_->script([&] { impl_->state_.natNetVersion = version; });
}

std::array<uint8_t, 4> Simulator::natNetVersion() const
{
    std::lock_guard<std::mutex> lock(impl_->state_.mutex);
    return impl_->state_.natNetVersion;
}

void Simulator::setClockFrequency(uint64_t ticksPerSecond)
{
    impl_->clock_.setFrequency(ticksPerSecond);
}

void Simulator::setUnitsToMillimeters(float value)
{
    impl_->script([&] { impl_->state_.unitsToMillimeters = value; });
}

void Simulator::setFrameRate(float value)
{
    impl_->script([&] { impl_->state_.frameRate = value; });
}

void Simulator::setAnalogSamplesPerFrame(int32_t value)
{
    impl_->script([&] { impl_->state_.analogSamples = value; });
}

bool Simulator::setDataDescriptions(const sDataDescriptions& descriptions)
{
    return impl_->setDataDescriptions(descriptions);
}

void Simulator::setModelDefinitionsPayload(std::vector<uint8_t> payload)
{
    impl_->script([&] { impl_->state_.modelDefPayload = std::move(payload); });
}

void Simulator::setNoHostPresent(bool noHost)
{
    impl_->script([&] { impl_->state_.noHost = noHost; });
}

void Simulator::setCommandAnswer(const std::string& command, Answer answer)
{
    impl_->script([&] { impl_->state_.answers[Internal::lowercase(command)] = answer; });
}

void Simulator::setCommandResponse(const std::string& command, std::vector<uint8_t> payload)
{
    impl_->script([&] { impl_->state_.responses[Internal::lowercase(command)] = std::move(payload); });
}

void Simulator::dropNextRequests(const std::string& command, int count)
{
    impl_->script([&] { impl_->state_.requestDrops[Internal::lowercase(command)] = std::max(count, 0); });
}

void Simulator::dropNext(MessageKind kind, int count)
{
    impl_->script([&] { impl_->state_.kindDrops[kind] = std::max(count, 0); });
}

void Simulator::setSilent(bool silent)
{
    impl_->script([&] { impl_->state_.silent = silent; });
}

void Simulator::setAnswerDelay(std::chrono::milliseconds min, std::chrono::milliseconds max, uint32_t seed)
{
    impl_->script([&] {
        const int low = static_cast<int>(std::clamp<int64_t>(min.count(), 0, 60'000));
        const int high = static_cast<int>(std::clamp<int64_t>(max.count(), 0, 60'000));
        impl_->state_.answerDelayMinMs = std::min(low, high);
        impl_->state_.answerDelayMaxMs = std::max(low, high);
        impl_->state_.answerRng.seed(seed);
    });
}

void Simulator::setDuplicateAnswers(bool duplicate)
{
    impl_->script([&] { impl_->state_.duplicateAnswers = duplicate; });
}

void Simulator::setShiftedAnswers(bool shifted)
{
    impl_->script([&] { impl_->state_.shiftAnswers = shifted; });
}

int Simulator::sendUnsolicitedServerInfo()
{
    return impl_->sendUnsolicitedServerInfo(nullptr);
}

int Simulator::sendUnsolicitedServerInfo(const std::array<uint8_t, 4>& claimedNatNetVersion)
{
    return impl_->sendUnsolicitedServerInfo(&claimedNatNetVersion);
}

int Simulator::sendFrameFromOtherPort(const sFrameOfMocapData& frame)
{
    return impl_->sendFrameFromOtherPort(frame);
}

uint16_t Simulator::otherDataPort() const
{
    return impl_->otherDataPort();
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
