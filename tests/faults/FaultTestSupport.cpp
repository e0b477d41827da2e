#include "FaultTestSupport.h"

#include "RigidBodyFrames.h"

#include <Quorvane/Stream/InstrumentModification.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

namespace Quorvane::FaultTesting {

bool waitForQuiet(const std::function<std::uint64_t()>& value, std::chrono::milliseconds quiet,
                  std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint64_t last = value();
    auto lastChange = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
        const std::uint64_t now = value();
        if (now != last) {
            last = now;
            lastChange = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastChange >= quiet) {
            return true;
        }
    }
    return false;
}

NatNet::Sim::SimulatorConfig simulatorConfig(bool multicast, std::uint16_t commandPort,
                                             std::uint16_t dataPort)
{
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = "127.0.0.1";
    config.multicast = multicast;
    config.multicastAddress = kGroup;
    config.multicastTtl = 0;
    config.commandPort = commandPort;
    config.dataPort = dataPort;
    return config;
}

std::unique_ptr<NatNet::Sim::Simulator> startSimulator(bool multicast, std::uint16_t commandPort,
                                                       std::uint16_t dataPort)
{
    auto sim = std::make_unique<NatNet::Sim::Simulator>(simulatorConfig(multicast, commandPort, dataPort));
    sim->setUnitsToMillimeters(1.0f);
    std::string error;
    if (!sim->start(&error)) {
        ADD_FAILURE() << "simulator: " << error;
        return nullptr;
    }
    return sim;
}

std::unique_ptr<sFrameOfMocapData> numberedFrame(std::int32_t number, int bodies)
{
    auto frame = NatNetTest::newFrame();
    NatNetTest::buildFrame(*frame, number, bodies);
    frame->fTimestamp = number / 1000.0;
    if (bodies > 0) frame->RigidBodies[0].x = static_cast<float>(number);
    return frame;
}

DeliveredFrames::DeliveredFrames(OptiTrackStream& stream)
{
    const OptiTrackStream& reader = stream;
    stream.instrumentsUpdated.connect([this, &reader](InstrumentModifications) { onUpdate(reader); });
}

void DeliveredFrames::onUpdate(const OptiTrackStream& stream)
{
    if (m_stopped.load()) ++m_late;
    const auto instrument = stream.findInstrument("optitrack-1");
    if (instrument) {
        const double x = instrument->pose(0, 3);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_numbers.insert(std::llround(x));
    }
    ++m_emissions;
}

std::set<std::int64_t> DeliveredFrames::numbers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_numbers;
}

bool DeliveredFrames::has(std::int64_t number) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_numbers.count(number) != 0;
}

std::size_t DeliveredFrames::countIn(std::int64_t first, std::int64_t last) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::distance(m_numbers.lower_bound(first), m_numbers.upper_bound(last)));
}

DrivenStream::DrivenStream() : context(&stream)
{
    NatNetExt::ClientTimeouts timeouts;
    timeouts.connectTries = 3;
    timeouts.connectTryMs = 200;
    NatNetExt::SetClientTimeouts(context.client, timeouts);
}

bool DrivenStream::connect(const NatNet::Sim::Simulator& sim)
{
    context.client.SetFrameReceivedCallback(&OptiTrackStream::onFrameReceived, &context);
    return context.connectToServer(paramsFor(sim));
}

NatNetExt::ClientCounters DrivenStream::counters() const
{
    NatNetExt::ClientCounters counters;
    NatNetExt::GetClientCounters(context.client, &counters);
    return counters;
}

void DrivenStreamTest::SetUp()
{
    m_sim = startSimulator(multicast());
    ASSERT_TRUE(m_sim);
    ASSERT_TRUE(m_driven.connect(*m_sim));
}

void DrivenStreamTest::TearDown()
{
    m_driven.context.client.Disconnect();
}

ForeignSender::ForeignSender() : m_fd(::socket(AF_INET, SOCK_DGRAM, 0))
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.5", &local.sin_addr);
    EXPECT_EQ(::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    // Multicast leaves on the loopback interface, and stays on this machine.
    in_addr interface {
    };
    inet_pton(AF_INET, "127.0.0.1", &interface);
    const unsigned char ttl = 0;
    const unsigned char loop = 1;
    EXPECT_EQ(::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface), 0);
    EXPECT_EQ(::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl), 0);
    EXPECT_EQ(::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop), 0);
}

ForeignSender::~ForeignSender()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool ForeignSender::send(const std::vector<std::uint8_t>& bytes, const std::string& address,
                         std::uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
}

std::uint64_t kernelDropsOnPort(std::uint16_t port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);  // the column names
    std::uint64_t drops = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        // sl, local "ADDR:PORT" (hex), ..., drops last.
        if (words.size() < 13) continue;
        const std::size_t colon = words[1].find(':');
        if (colon == std::string::npos || std::stoul(words[1].substr(colon + 1), nullptr, 16) != port) {
            continue;
        }
        drops += std::stoull(words.back());
    }
    return drops;
}

std::unique_ptr<sFrameOfMocapData> pacedFrame(std::int32_t number, int bodies)
{
    auto frame = numberedFrame(number, bodies);
    frame->fTimestamp = (2.0 * number + 0.5) / 1000.0;
    return frame;
}

void sendPacedFrames(NatNet::Sim::Simulator& sim, std::int32_t first, std::int32_t last, double rateHz,
                     const std::function<void(std::int32_t)>& beforeEach, int bodies)
{
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / rateHz));
    auto next = std::chrono::steady_clock::now();
    for (std::int32_t number = first; number <= last; ++number) {
        if (beforeEach) beforeEach(number);
        sim.sendFrame(*pacedFrame(number, bodies));
        next += period;
        std::this_thread::sleep_until(next);  // pacing the sender, not waiting for a condition
    }
}

UpdateOrder::UpdateOrder(OptiTrackStream& stream, int bodies)
    : m_bodies(bodies),
      m_lastCount(static_cast<std::size_t>(bodies) + 1, 0),
      m_lastTimestamp(static_cast<std::size_t>(bodies) + 1, 0)
{
    const OptiTrackStream& reader = stream;
    stream.instrumentsUpdated.connect([this, &reader](InstrumentModifications) { onUpdate(reader); });
}

void UpdateOrder::onUpdate(const OptiTrackStream& stream)
{
    for (int id = 1; id <= m_bodies; ++id) {
        const auto instrument = stream.findInstrument("optitrack-" + std::to_string(id));
        const auto index = static_cast<std::size_t>(id);
        if (!instrument || instrument->updateCount == m_lastCount[index]) continue;
        if (m_lastCount[index] > 0 && instrument->timestampMs <= m_lastTimestamp[index]) ++m_backwards;
        if (!isFinite(*instrument)) ++m_nonFinite;
        m_lastCount[index] = instrument->updateCount;
        m_lastTimestamp[index] = instrument->timestampMs;
        if (id == 1 && std::isfinite(instrument->pose(0, 3))) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_numbers.push_back(std::llround(instrument->pose(0, 3)));
        }
    }
    ++m_emissions;
}

std::vector<std::int64_t> UpdateOrder::numbers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_numbers;
}

bool isFinite(const TrackingInstrument& instrument)
{
    return instrument.pose.allFinite() && std::isfinite(instrument.quality);
}

std::uint64_t residentBytes()
{
    std::ifstream in("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    in >> size >> resident;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace Quorvane::FaultTesting
