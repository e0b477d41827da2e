#include "natnet/sim/Simulator.h"

#include "AnswerScheduler.h"
#include "CommandResponder.h"
#include "FrameSender.h"
#include "ServerClock.h"
#include "ServerState.h"
#include "StreamRunner.h"
#include "WireHelpers.h"

#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/NamedThread.h"
#include "natnet/transport/UdpSocket.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>

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
        : m_config(config),
          m_commandSocket(m_io),
          m_housekeeping(m_io),
          m_responder(m_config, m_state, m_clock),
          m_answers(m_io, m_commandSocket, m_state),
          m_sender(m_config, m_state, m_io),
          m_runner(m_state, m_sender, m_clock),
          m_rxBuffer(kDatagramCapacity)
    {
        m_clock.setFrequency(10'000'000);
    }

    ~Impl() { stop(); }

    bool start(std::string* error)
    {
        const auto fail = [&](const std::string& why) {
            if (error != nullptr) {
                *error = why;
            }
            m_commandSocket.close();
            m_sender.socket().close();
            return false;
        };
        if (m_running.load()) {
            return fail("already running");
        }
        const auto local = Net::parseIpv4(m_config.localAddress.c_str());
        if (!local) {
            return fail("bad local address \"" + m_config.localAddress + "\"");
        }
        uint32_t group = 0;
        if (m_config.multicast) {
            const auto parsed = Net::parseIpv4(m_config.multicastAddress.c_str());
            if (!parsed || !Net::isMulticast(*parsed)) {
                return fail("bad multicast address \"" + m_config.multicastAddress + "\"");
            }
            group = *parsed;
        }
        Net::UdpSocketOptions commandOptions;
        commandOptions.receiveBufferBytes = 1024 * 1024;
        commandOptions.broadcast = true;
        const uint32_t commandBind = m_config.answerBroadcasts ? 0u : *local;
        if (const auto ec = m_commandSocket.open({commandBind, m_config.commandPort}, commandOptions)) {
            return fail("command socket " + Net::formatIpv4(commandBind) + ":" +
                        std::to_string(m_config.commandPort) + ": " + ec.message());
        }
        Net::UdpSocket& data = m_sender.socket();
        Net::UdpSocketOptions dataOptions;
        dataOptions.reuseAddress = true;
        dataOptions.sendBufferBytes = kSocketBufferBytes;
        if (const auto ec = data.open({*local, m_config.dataPort}, dataOptions)) {
            return fail("data socket " + m_config.localAddress + ":" + std::to_string(m_config.dataPort) +
                        ": " + ec.message());
        }
        if (const auto ec = m_sender.otherSocket().open({*local, 0}, {})) {
            return fail("second data socket " + m_config.localAddress + ": " + ec.message());
        }
        if (m_config.multicast) {
            const int ttl = std::clamp(m_config.multicastTtl, 0, 255);
            (void)m_sender.otherSocket().setMulticastSending(*local, ttl, true);
            if (const auto ec = data.setMulticastSending(*local, ttl, true)) {
                return fail("multicast sending on " + m_config.localAddress + ": " + ec.message());
            }
        }
        m_commandPort = m_commandSocket.localEndpoint().port;
        m_dataPort = data.localEndpoint().port;
        m_otherDataPort = m_sender.otherSocket().localEndpoint().port;
        m_responder.setDataEndpoint({group, m_dataPort});
        m_sender.enable({group, m_dataPort});
        m_io.restart();
        receive();
        scheduleHousekeeping();
        m_running.store(true);
        // A handler that fails (out of memory) is dropped: the thread keeps serving.
        m_ioThread.startServing("natnet-sim-cmd", m_io);
        return true;
    }

    void stop()
    {
        m_runner.stop();
        m_ioThread.stop();
        m_housekeeping.cancel();
        m_answers.reset();
        {
            std::lock_guard<std::mutex> sending(m_commandSendMutex);
            m_commandSocket.close();
        }
        m_sender.disable();  // a frame being sent from another thread finishes first
        m_running.store(false);
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.clients.all().clear();
        m_state.connectPeers.clear();
        m_state.counters.clientsConnected = 0;
        m_state.changed.notify_all();
    }

    bool isRunning() const { return m_running.load(); }
    uint16_t commandPort() const { return m_commandPort; }
    uint16_t dataPort() const { return m_dataPort; }
    uint16_t otherDataPort() const { return m_otherDataPort; }

    template <class Change>
    void script(Change&& change)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
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
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.descriptions.reset(copy);
        m_state.modelDefPayload.reset();
        return true;
    }

    bool startStreaming(const ScenarioConfig& config)
    {
        if (!m_running.load()) {
            return false;
        }
        m_runner.stop();
        const Scenario probe(config);
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            m_state.frameRate = static_cast<float>(probe.config().rateHz);
            m_state.unitsToMillimeters = probe.unitsToMillimeters();
        }
        setDataDescriptions(probe.descriptions().view());
        m_runner.startScenario(config);
        return true;
    }

    bool startReplay(const Capture& capture, int loops)
    {
        if (!m_running.load()) {
            return false;
        }
        m_runner.stop();
        std::vector<CapturedDatagram> frames;
        for (const CapturedDatagram* frame : capture.frames()) {
            frames.push_back(*frame);
        }
        if (frames.empty()) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            if (const auto version = capture.serverNatNetVersion()) {
                m_state.natNetVersion = *version;
            }
            if (auto payload = capture.modelDefinitionsPayload()) {
                m_state.modelDefPayload = std::move(*payload);
            }
        }
        m_runner.startReplay(std::move(frames), loops);
        return true;
    }

    SimulatorCounters counters() const
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        return m_state.counters;
    }

    std::vector<ClientInfo> clients() const
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        std::vector<ClientInfo> out;
        for (const Internal::UnicastClient& client : m_state.clients.all()) {
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
        std::unique_lock<std::mutex> lock(m_state.mutex);
        return m_state.changed.wait_for(lock, timeout, [&] { return predicate(m_state.counters); });
    }

    int sendUnsolicitedServerInfo(const std::array<uint8_t, 4>* claimedVersion)
    {
        if (!m_running.load()) {
            return 0;
        }
        std::vector<uint8_t> message;
        std::vector<Ipv4Endpoint> targets;
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            message = m_responder.serverInfoMessageLocked(claimedVersion);
            for (const Internal::UnicastClient& client : m_state.clients.all()) {
                targets.push_back(client.endpoint);
            }
            targets.insert(targets.end(), m_state.connectPeers.begin(), m_state.connectPeers.end());
        }
        if (message.empty()) {
            return 0;
        }
        int sent = 0;
        {
            // Not while stop() closes the socket.
            std::lock_guard<std::mutex> sending(m_commandSendMutex);
            for (const Ipv4Endpoint& target : targets) {
                sent += m_commandSocket.isOpen() &&
                                !m_commandSocket.sendTo(message.data(), message.size(), target)
                            ? 1
                            : 0;
            }
        }
        if (m_config.multicast) {
            // The group hears it on the data port, from the data socket.
            sent += m_sender.sendRawDatagram(message.data(), message.size());
        }
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.counters.unsolicitedServerInfos += static_cast<uint64_t>(sent);
        m_state.changed.notify_all();
        return sent;
    }

    int sendFrame(const sFrameOfMocapData& frame) { return m_sender.sendFrame(frame); }
    int sendFrameFromOtherPort(const sFrameOfMocapData& frame)
    {
        return m_sender.sendFrameFromOtherPort(frame);
    }
    int sendRawDatagram(const void* bytes, size_t size) { return m_sender.sendRawDatagram(bytes, size); }
    void stopStreaming() { m_runner.stop(); }
    bool isStreaming() const { return m_runner.isStreaming(); }
    bool waitForStreamEnd(std::chrono::milliseconds timeout) { return m_runner.waitForEnd(timeout); }

    const SimulatorConfig m_config;
    Internal::ServerClock m_clock;
    Internal::ServerState m_state;

private:
    void receive()
    {
        m_commandSocket.asyncReceive(m_rxBuffer.data(), m_rxBuffer.size(),
                                     [this](std::error_code ec, size_t size, Ipv4Endpoint from) {
                                         if (ec == std::errc::operation_canceled) {
                                             return;
                                         }
                                         if (!ec) {
                                             onDatagram(m_rxBuffer.data(), size, from);
                                         }
                                         if (m_commandSocket.isOpen()) {
                                             receive();
                                         }
                                     });
    }

    void onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from)
    {
        const uint64_t receivedTicks = m_clock.ticksNow();
        size_t replySize = 0;
        bool isAnswer = false;
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            Wire::Datagram message;
            if (Wire::decodeDatagram(data, size, message) != Wire::Status::Ok) {
                ++m_state.counters.malformed;
            } else {
                replySize = m_responder.respond(message, from, receivedTicks);
                const auto id = static_cast<Wire::MessageId>(message.messageId);
                isAnswer = id == Wire::MessageId::Connect || id == Wire::MessageId::Request ||
                           id == Wire::MessageId::RequestModelDef;
            }
            m_state.changed.notify_all();
        }
        if (replySize > 0 && isAnswer) {
            // Answers are what the script may delay, duplicate or shift.
            m_answers.submit(m_responder.reply(), replySize, from);
        } else if (replySize > 0) {
            // Always to the source of the datagram being answered.
            (void)m_commandSocket.sendTo(m_responder.reply(), replySize, from);
        }
    }

    // Drops unicast clients that fell silent.
    void scheduleHousekeeping()
    {
        m_housekeeping.expires_after(std::chrono::milliseconds(kHousekeepingMs));
        m_housekeeping.async_wait([this](const boost::system::error_code& ec) {
            if (ec) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(m_state.mutex);
                const uint64_t timeoutNs =
                    static_cast<uint64_t>(std::max(m_config.clientTimeoutMs, 1)) * 1'000'000u;
                const size_t dropped =
                    m_state.clients.expire(Internal::ServerClock::steadyNowNs(), timeoutNs);
                if (dropped > 0) {
                    m_state.counters.clientsDropped += dropped;
                    m_state.counters.clientsConnected = m_state.clients.size();
                    m_state.changed.notify_all();
                }
            }
            scheduleHousekeeping();
        });
    }

    boost::asio::io_context m_io;
    Net::UdpSocket m_commandSocket;
    boost::asio::steady_timer m_housekeeping;
    Internal::CommandResponder m_responder;
    Internal::AnswerScheduler m_answers;  // command thread only
    Internal::FrameSender m_sender;
    Internal::StreamRunner m_runner;
    std::vector<uint8_t> m_rxBuffer;  // command thread only

    std::mutex m_commandSendMutex;  // sends from other threads than the command thread, and close()
    Net::NamedThread m_ioThread;
    std::atomic<bool> m_running{false};
    uint16_t m_commandPort = 0;
    uint16_t m_dataPort = 0;
    uint16_t m_otherDataPort = 0;
};

// ---- Simulator ------------------------------------------------------------------------------

Simulator::Simulator(SimulatorConfig config)
    : m_config(std::move(config)), m_impl(std::make_unique<Impl>(m_config))
{
}

Simulator::~Simulator()
{
    m_impl->stop();
}

bool Simulator::start(std::string* error)
{
    return m_impl->start(error);
}

void Simulator::stop()
{
    m_impl->stop();
}

bool Simulator::isRunning() const
{
    return m_impl->isRunning();
}

uint16_t Simulator::commandPort() const
{
    return m_impl->commandPort();
}

uint16_t Simulator::dataPort() const
{
    return m_impl->dataPort();
}

void Simulator::setAppName(const std::string& name)
{
    m_impl->script([&] { m_impl->m_state.appName = name; });
}

void Simulator::setAppVersion(const std::array<uint8_t, 4>& version)
{
    m_impl->script([&] { m_impl->m_state.appVersion = version; });
}

void Simulator::setNatNetVersion(const std::array<uint8_t, 4>& version)
{
    m_impl->script([&] { m_impl->m_state.natNetVersion = version; });
}

std::array<uint8_t, 4> Simulator::natNetVersion() const
{
    std::lock_guard<std::mutex> lock(m_impl->m_state.mutex);
    return m_impl->m_state.natNetVersion;
}

void Simulator::setClockFrequency(uint64_t ticksPerSecond)
{
    m_impl->m_clock.setFrequency(ticksPerSecond);
}

void Simulator::setUnitsToMillimeters(float value)
{
    m_impl->script([&] { m_impl->m_state.unitsToMillimeters = value; });
}

void Simulator::setFrameRate(float value)
{
    m_impl->script([&] { m_impl->m_state.frameRate = value; });
}

void Simulator::setAnalogSamplesPerFrame(int32_t value)
{
    m_impl->script([&] { m_impl->m_state.analogSamples = value; });
}

bool Simulator::setDataDescriptions(const sDataDescriptions& descriptions)
{
    return m_impl->setDataDescriptions(descriptions);
}

void Simulator::setModelDefinitionsPayload(std::vector<uint8_t> payload)
{
    m_impl->script([&] { m_impl->m_state.modelDefPayload = std::move(payload); });
}

void Simulator::setNoHostPresent(bool noHost)
{
    m_impl->script([&] { m_impl->m_state.noHost = noHost; });
}

void Simulator::setCommandAnswer(const std::string& command, Answer answer)
{
    m_impl->script([&] { m_impl->m_state.answers[Internal::lowercase(command)] = answer; });
}

void Simulator::setCommandResponse(const std::string& command, std::vector<uint8_t> payload)
{
    m_impl->script([&] { m_impl->m_state.responses[Internal::lowercase(command)] = std::move(payload); });
}

void Simulator::dropNextRequests(const std::string& command, int count)
{
    m_impl->script([&] { m_impl->m_state.requestDrops[Internal::lowercase(command)] = std::max(count, 0); });
}

void Simulator::dropNext(MessageKind kind, int count)
{
    m_impl->script([&] { m_impl->m_state.kindDrops[kind] = std::max(count, 0); });
}

void Simulator::setSilent(bool silent)
{
    m_impl->script([&] { m_impl->m_state.silent = silent; });
}

void Simulator::setAnswerDelay(std::chrono::milliseconds min, std::chrono::milliseconds max, uint32_t seed)
{
    m_impl->script([&] {
        const int low = static_cast<int>(std::clamp<int64_t>(min.count(), 0, 60'000));
        const int high = static_cast<int>(std::clamp<int64_t>(max.count(), 0, 60'000));
        m_impl->m_state.answerDelayMinMs = std::min(low, high);
        m_impl->m_state.answerDelayMaxMs = std::max(low, high);
        m_impl->m_state.answerRng.seed(seed);
    });
}

void Simulator::setDuplicateAnswers(bool duplicate)
{
    m_impl->script([&] { m_impl->m_state.duplicateAnswers = duplicate; });
}

void Simulator::setShiftedAnswers(bool shifted)
{
    m_impl->script([&] { m_impl->m_state.shiftAnswers = shifted; });
}

int Simulator::sendUnsolicitedServerInfo()
{
    return m_impl->sendUnsolicitedServerInfo(nullptr);
}

int Simulator::sendUnsolicitedServerInfo(const std::array<uint8_t, 4>& claimedNatNetVersion)
{
    return m_impl->sendUnsolicitedServerInfo(&claimedNatNetVersion);
}

int Simulator::sendFrameFromOtherPort(const sFrameOfMocapData& frame)
{
    return m_impl->sendFrameFromOtherPort(frame);
}

uint16_t Simulator::otherDataPort() const
{
    return m_impl->otherDataPort();
}

int Simulator::sendFrame(const sFrameOfMocapData& frame)
{
    return m_impl->sendFrame(frame);
}

int Simulator::sendRawDatagram(const void* bytes, size_t size)
{
    return m_impl->sendRawDatagram(bytes, size);
}

bool Simulator::startStreaming(const ScenarioConfig& scenario)
{
    return m_impl->startStreaming(scenario);
}

bool Simulator::startReplay(const Capture& capture, int loops)
{
    return m_impl->startReplay(capture, loops);
}

void Simulator::stopStreaming()
{
    m_impl->stopStreaming();
}

bool Simulator::isStreaming() const
{
    return m_impl->isStreaming();
}

bool Simulator::waitForStreamEnd(std::chrono::milliseconds timeout)
{
    return m_impl->waitForStreamEnd(timeout);
}

uint64_t Simulator::ticksNow() const
{
    return m_impl->m_clock.ticksNow();
}

uint64_t Simulator::clockFrequency() const
{
    return m_impl->m_clock.frequency();
}

SimulatorCounters Simulator::counters() const
{
    return m_impl->counters();
}

std::vector<ClientInfo> Simulator::clients() const
{
    return m_impl->clients();
}

bool Simulator::waitFor(const std::function<bool(const SimulatorCounters&)>& predicate,
                        std::chrono::milliseconds timeout) const
{
    return m_impl->waitFor(predicate, timeout);
}

}  // namespace NatNet::Sim
