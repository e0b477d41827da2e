// The discovery object on its own: the callback driven by hand with built records, from
// several threads at once, and the NatNet library's real discovery against the in-process
// simulator on loopback.

#include "DiscoveryRecords.h"
#include "LoopbackSink.h"

#include "controller/OptiTrackServerDiscovery.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <natnet/sim/Simulator.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace Quorvane {
namespace {

const std::string kCategory = "OptiTrackServerDiscovery";
const std::string kLooking = "Looking for servers on the local network";

/// Counts serversChanged and lets a test wait for a number of emissions.
class ChangeCounter
{
public:
    explicit ChangeCounter(OptiTrackServerDiscovery& discovery)
    {
        m_connection = discovery.serversChanged.connect([this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_count;
            m_changed.notify_all();
        });
    }
    ~ChangeCounter() { m_connection.disconnect(); }
    ChangeCounter(const ChangeCounter&) = delete;
    ChangeCounter& operator=(const ChangeCounter&) = delete;

    int count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }
    bool waitFor(int count, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_count >= count; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
    SignalConnection m_connection;
};

void announce(OptiTrackServerDiscovery& discovery, const sNatNetDiscoveredServer& record)
{
    OptiTrackServerDiscovery::onServerDiscovered(&record, discovery.discoveryContext());
}

class DiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Support::keepDiscoveryOnLoopback()); }
    ScopedLogCapture capture{0};
};

TEST_F(DiscoveryTest, RepeatedAddressIsStoredOnceWithItsFirstRecord)
{
    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    Support::ServerRecordSpec first;
    first.serverAddress = "192.168.1.20";
    first.commandPort = 1510;
    Support::ServerRecordSpec again = first;
    again.commandPort = 1610;
    again.multicast = false;

    announce(discovery, Support::makeServerRecord(first));
    announce(discovery, Support::makeServerRecord(again));

    EXPECT_EQ(capture.sink().count(2, kCategory, "Server discovered: ServerApp 3.0 at address 192.168.1.20"), 2u);
    EXPECT_EQ(changes.count(), 1);
    const std::vector<DiscoveredServer> servers = discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].serverCommandPort, 1510);
    EXPECT_TRUE(servers[0].connectionMulticast);
}

TEST_F(DiscoveryTest, DistinctAddressesKeepArrivalOrder)
{
    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    // "127.0.0.1" is a prefix of "127.0.0.10": still two servers.
    for (const char* address : {"127.0.0.10", "127.0.0.1", "10.0.0.2", "127.0.0.1", "127.0.0.10"}) {
        announce(discovery, Support::makeServerRecord(address));
    }
    const std::vector<DiscoveredServer> servers = discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(servers[0].serverAddress, "127.0.0.10");
    EXPECT_EQ(servers[1].serverAddress, "127.0.0.1");
    EXPECT_EQ(servers[2].serverAddress, "10.0.0.2");
    EXPECT_EQ(changes.count(), 3);
}

TEST_F(DiscoveryTest, SnapshotCarriesEveryFieldOfTheRecord)
{
    OptiTrackServerDiscovery discovery;
    Support::ServerRecordSpec spec;
    spec.serverAddress = "192.168.1.20";
    spec.localAddress = "192.168.1.5";
    spec.commandPort = 41510;
    spec.hostApp = "Motive";
    spec.hostAppVersion = {2, 3, 1, 7};
    spec.dataPort = 41511;
    spec.group = {239, 1, 2, 3};
    sNatNetDiscoveredServer record = Support::makeServerRecord(spec);
    const std::uint8_t hostAddress[4] = {192, 168, 1, 20};
    std::memcpy(record.serverDescription.HostComputerAddress, hostAddress, 4);
    announce(discovery, record);

    const std::vector<DiscoveredServer> servers = discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    const DiscoveredServer& s = servers[0];
    EXPECT_EQ(s.localAddress, "192.168.1.5");
    EXPECT_EQ(s.serverAddress, "192.168.1.20");
    EXPECT_EQ(s.serverCommandPort, 41510);
    EXPECT_TRUE(s.hostPresent);
    EXPECT_EQ(s.hostComputerName, "mocap-pc");
    EXPECT_EQ(s.hostComputerAddress, (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
    EXPECT_EQ(s.hostApp, "Motive");
    EXPECT_EQ(s.hostAppVersion, (std::array<std::uint8_t, 4>{2, 3, 1, 7}));
    EXPECT_EQ(s.natNetVersion, (std::array<std::uint8_t, 4>{4, 1, 0, 0}));
    EXPECT_EQ(s.highResClockFrequency, 10000000u);
    EXPECT_TRUE(s.connectionInfoValid);
    EXPECT_EQ(s.connectionDataPort, 41511);
    EXPECT_TRUE(s.connectionMulticast);
    EXPECT_EQ(s.connectionMulticastAddress, (std::array<std::uint8_t, 4>{239, 1, 2, 3}));
}

TEST_F(DiscoveryTest, TextsWithoutTerminatorAreReadOnlyToTheirFieldEnd)
{
    // On the heap at exactly its size, so that ASan sees any read past the record.
    auto record = std::make_unique<sNatNetDiscoveredServer>(Support::makeServerRecord("127.0.0.1"));
    std::memset(record->localAddress, 'L', sizeof(record->localAddress));
    std::memset(record->serverAddress, '7', sizeof(record->serverAddress));
    record->serverCommandPort = 0x3838;  // "88": what an unbounded read would run into
    std::memset(record->serverDescription.szHostApp, 'A', sizeof(record->serverDescription.szHostApp));
    std::memset(record->serverDescription.szHostComputerName, 'H',
                sizeof(record->serverDescription.szHostComputerName));

    OptiTrackServerDiscovery discovery;
    OptiTrackServerDiscovery::onServerDiscovered(record.get(), discovery.discoveryContext());
    // A second record with the same unterminated address is the same server.
    OptiTrackServerDiscovery::onServerDiscovered(record.get(), discovery.discoveryContext());

    const std::vector<DiscoveredServer> servers = discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].localAddress, std::string(16, 'L'));
    EXPECT_EQ(servers[0].serverAddress, std::string(16, '7'));
    EXPECT_EQ(servers[0].hostApp, std::string(256, 'A'));
    EXPECT_EQ(servers[0].hostComputerName, std::string(256, 'H'));
    EXPECT_EQ(capture.sink().count(2, kCategory,
                                   "Server discovered: " + std::string(256, 'A') + " 3.0 at address " +
                                       std::string(16, '7')),
              2u);
}

TEST_F(DiscoveryTest, NullContextIsReportedAndNothingIsStored)
{
    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    const sNatNetDiscoveredServer record = Support::makeServerRecord("192.168.1.20");
    OptiTrackServerDiscovery::onServerDiscovered(&record, nullptr);

    const std::vector<RecordingLogSink::Record> expected = {
        {2, kCategory, "Server discovered: ServerApp 3.0 at address 192.168.1.20"},
        {4, kCategory, "Could not store discovered server, invalid context"},
    };
    EXPECT_EQ(capture.sink().records(), expected);
    EXPECT_TRUE(discovery.discoveredServers().empty());
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DiscoveryTest, StartAndStopAreIdempotentAndKeepTheServers)
{
    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    discovery.stop();  // not running: nothing to do
    EXPECT_FALSE(discovery.isRunning());
    EXPECT_EQ(capture.sink().count(kLooking), 0u);

    discovery.start();
    discovery.start();
    EXPECT_TRUE(discovery.isRunning());
    EXPECT_EQ(capture.sink().count(2, kCategory, kLooking), 1u);
    EXPECT_NE(discovery.discoveryContext()->handle, nullptr);
    announce(discovery, Support::makeServerRecord("192.168.1.20"));

    discovery.stop();
    EXPECT_FALSE(discovery.isRunning());
    EXPECT_EQ(discovery.discoveryContext()->handle, nullptr);
    discovery.start();
    EXPECT_EQ(capture.sink().count(2, kCategory, kLooking), 2u);
    announce(discovery, Support::makeServerRecord("192.168.1.20"));
    discovery.stop();

    EXPECT_EQ(discovery.discoveredServers().size(), 1u);
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(DiscoveryTest, CallbacksFromSeveralThreadsAndSnapshotsDoNotOverlap)
{
    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    Log::g_globalLevel = 3;  // the per-call info line is not what this test is about
    constexpr int kThreads = 3;
    constexpr int kPerThread = 150;

    std::atomic<bool> go{false};
    std::atomic<int> finished{0};
    std::vector<std::thread> announcers;
    for (int t = 0; t < kThreads; ++t) {
        announcers.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            for (int i = 0; i < kPerThread; ++i) {
                // Every thread also repeats the others' addresses: each must be stored once.
                for (int u = 0; u < kThreads; ++u) {
                    const std::string address = "127.1." + std::to_string((t + u) % kThreads) + "." + std::to_string(i);
                    announce(discovery, Support::makeServerRecord(address));
                }
            }
            ++finished;
        });
    }
    go = true;
    std::vector<DiscoveredServer> previous;
    std::string broken;  // what went wrong in a snapshot; asserted once the threads are joined
    // Snapshots for as long as the announcers run (bounded, should they hang).
    for (int round = 0; round < 100000 && finished.load() < kThreads && broken.empty(); ++round) {
        std::vector<DiscoveredServer> now = discovery.discoveredServers();
        if (now.size() < previous.size()) {
            broken = "the list shrank";
        }
        for (std::size_t i = 0; i < previous.size() && broken.empty(); ++i) {
            if (now[i].serverAddress != previous[i].serverAddress) {
                broken = "index " + std::to_string(i) + " changed";
            }
        }
        previous = std::move(now);
    }
    for (std::thread& thread : announcers) {
        thread.join();
    }
    EXPECT_EQ(broken, "");
    EXPECT_EQ(discovery.discoveredServers().size(), std::size_t{kThreads * kPerThread});
    EXPECT_EQ(changes.count(), kThreads * kPerThread);
}

struct SimulatedServerCase
{
    const char* name;
    bool multicast;
};

void PrintTo(const SimulatedServerCase& row, std::ostream* out)
{
    *out << row.name;
}

class DiscoveryAgainstSimulatorTest : public DiscoveryTest, public ::testing::WithParamInterface<SimulatedServerCase>
{
};

TEST_P(DiscoveryAgainstSimulatorTest, FindsTheLoopbackServerOnce)
{
    NatNet::Sim::SimulatorConfig config;
    config.multicast = GetParam().multicast;
    config.multicastAddress = "239.255.42.99";
    NatNet::Sim::Simulator simulator(config);
    simulator.setAppName("SimServer");
    simulator.setAppVersion({3, 1, 0, 0});
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;
    Support::ScopedDiscoveryTargets targets("127.0.0.1:" + std::to_string(simulator.commandPort()));
    ASSERT_TRUE(targets.ok());
    NatNetExt::SetDiscoveryIntervalMs(50);

    OptiTrackServerDiscovery discovery;
    ChangeCounter changes(discovery);
    discovery.start();
    ASSERT_TRUE(changes.waitFor(1, 5s));
    // Several more announcements are answered; the server stays one entry.
    ASSERT_TRUE(simulator.waitFor([](const NatNet::Sim::SimulatorCounters& c) { return c.discoveries >= 3; }, 5s));
    discovery.stop();
    NatNetExt::SetDiscoveryIntervalMs(1000);

    EXPECT_EQ(changes.count(), 1);
    const std::vector<DiscoveredServer> servers = discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    const DiscoveredServer& s = servers[0];
    EXPECT_EQ(s.serverAddress, "127.0.0.1");
    EXPECT_EQ(s.localAddress, "127.0.0.1");
    EXPECT_EQ(s.serverCommandPort, simulator.commandPort());
    EXPECT_EQ(s.hostApp, "SimServer");
    EXPECT_TRUE(s.connectionInfoValid);
    EXPECT_EQ(s.connectionDataPort, simulator.dataPort());
    EXPECT_EQ(s.connectionMulticast, GetParam().multicast);
    if (GetParam().multicast) {
        EXPECT_EQ(s.connectionMulticastAddress, (std::array<std::uint8_t, 4>{239, 255, 42, 99}));
    }
    EXPECT_GE(capture.sink().count(2, kCategory, "Server discovered: SimServer 3.1 at address 127.0.0.1"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, DiscoveryAgainstSimulatorTest,
                         ::testing::Values(SimulatedServerCase{"Unicast", false}, SimulatedServerCase{"Multicast", true}),
                         [](const ::testing::TestParamInfo<SimulatedServerCase>& row) { return row.param.name; });

TEST_F(DiscoveryTest, DestroyingWhileServersAnswerStopsTheCallbacksFirst)
{
    NatNet::Sim::Simulator simulator;
    ASSERT_TRUE(simulator.start());
    Support::ScopedDiscoveryTargets targets("127.0.0.1:" + std::to_string(simulator.commandPort()));
    NatNetExt::SetDiscoveryIntervalMs(20);
    for (int round = 0; round < 5; ++round) {
        auto discovery = std::make_unique<OptiTrackServerDiscovery>();
        ChangeCounter changes(*discovery);
        discovery->start();
        ASSERT_TRUE(changes.waitFor(1, 5s));
        discovery.reset();  // running: stops, joins, then frees the context
    }
    NatNetExt::SetDiscoveryIntervalMs(1000);
}

}  // namespace
}  // namespace Quorvane
