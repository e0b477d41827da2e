// The discovery object without Qt: its callback driven with hand-built records (also from
// several threads at once), and the library's real discovery against the loopback simulator.

#include "DiscoveryRecords.h"
#include "LoopbackSink.h"

#include "controller/OptiTrackServerDiscovery.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <natnet/sim/Simulator.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace Quorvane {
namespace {

const std::string kCategory = "OptiTrackServerDiscovery";

class DiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Support::keepDiscoveryOnLoopback());
        m_changedConnection = m_discovery.serversChanged.connect([this] { ++m_changes; });
    }
    void TearDown() override { m_changedConnection.disconnect(); }

    void announce(const sNatNetDiscoveredServer& record)
    {
        OptiTrackServerDiscovery::onServerDiscovered(&record, m_discovery.discoveryContext());
    }

    ScopedLogCapture m_capture{0};
    OptiTrackServerDiscovery m_discovery;
    std::atomic<int> m_changes{0};
    SignalConnection m_changedConnection;
};

TEST_F(DiscoveryTest, EachAddressIsStoredOnceWithItsFirstRecord)
{
    Support::ServerRecordFields later;
    later.commandPort = 1610;
    announce(Support::makeServerRecord("192.168.1.20"));
    announce(Support::makeServerRecord(later));          // same address, other port: dropped
    announce(Support::makeServerRecord("192.168.1.2"));  // a prefix of it: another server
    const sNatNetDiscoveredServer contextless = Support::makeServerRecord("10.0.0.2");
    OptiTrackServerDiscovery::onServerDiscovered(&contextless, nullptr);

    EXPECT_EQ(
        m_capture.sink().count(2, kCategory, "Server discovered: ServerApp 3.0 at address 192.168.1.20"), 2u);
    EXPECT_EQ(m_capture.sink().count(4, kCategory, "Could not store discovered server, invalid context"), 1u);
    EXPECT_EQ(m_changes, 2);
    const std::vector<DiscoveredServer> servers = m_discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 2u);
    const DiscoveredServer& s = servers[0];
    EXPECT_EQ(s.serverAddress, "192.168.1.20");
    EXPECT_EQ(s.localAddress, "192.168.1.5");
    EXPECT_EQ(s.serverCommandPort, 1510);
    EXPECT_EQ(s.hostApp, "ServerApp");
    EXPECT_EQ(s.hostComputerName, "mocap-pc");
    EXPECT_EQ(s.natNetVersion, (std::array<std::uint8_t, 4>{4, 1, 0, 0}));
    EXPECT_EQ(s.highResClockFrequency, 10000000u);
    EXPECT_TRUE(s.connectionInfoValid && s.connectionMulticast);
    EXPECT_EQ(s.connectionDataPort, 1511);
    EXPECT_EQ(s.connectionMulticastAddress, (std::array<std::uint8_t, 4>{239, 255, 42, 99}));
    EXPECT_EQ(servers[1].serverAddress, "192.168.1.2");
}

TEST_F(DiscoveryTest, TextsWithoutTerminatorAreReadOnlyToTheirFieldEnd)
{
    // On the heap at exactly its size, so that ASan sees any read past the record.
    auto record = std::make_unique<sNatNetDiscoveredServer>(Support::makeServerRecord("127.0.0.1"));
    std::memset(record->serverAddress, '7', sizeof(record->serverAddress));
    record->serverCommandPort = 0x3838;  // what an unbounded read would run into
    std::memset(record->serverDescription.szHostApp, 'A', sizeof(record->serverDescription.szHostApp));
    announce(*record);
    announce(*record);

    const std::vector<DiscoveredServer> servers = m_discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].serverAddress, std::string(16, '7'));
    EXPECT_EQ(servers[0].hostApp, std::string(256, 'A'));
    EXPECT_EQ(
        m_capture.sink().countContaining(std::string(256, 'A') + " 3.0 at address " + std::string(16, '7')),
        2u);
}

TEST_F(DiscoveryTest, NoMoreThanTheLimitOfServersIsStored)
{
    constexpr std::size_t kLimit = OptiTrackServerDiscovery::kServerLimit;
    static_assert(kLimit == 256);
    const auto address = [](int i) {
        return "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250);
    };
    for (int i = 0; i < 400; ++i) {
        announce(Support::makeServerRecord(address(i)));
    }
    announce(Support::makeServerRecord(address(3)));  // a stored one: still dropped silently

    const std::vector<DiscoveredServer> servers = m_discovery.discoveredServers();
    ASSERT_EQ(servers.size(), kLimit);
    EXPECT_EQ(servers.front().serverAddress, address(0));
    EXPECT_EQ(servers.back().serverAddress, address(255));
    EXPECT_EQ(m_changes, static_cast<int>(kLimit));
    EXPECT_EQ(
        m_capture.sink().count(3, kCategory, "Server limit of 256 reached; further servers are not listed"),
        1u);
    EXPECT_EQ(m_capture.sink().countContaining("Server discovered: "), 401u);  // every answer, as before
}

TEST_F(DiscoveryTest, CallbacksFromSeveralThreadsAndSnapshotsDoNotOverlap)
{
    Log::g_globalLevel = 3;  // not the per-call line
    constexpr int kThreads = 3;
    constexpr int kPerThread = 80;  // all stored: below the server limit
    std::atomic<int> finished{0};
    std::vector<std::thread> announcers;
    for (int t = 0; t < kThreads; ++t) {
        announcers.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                for (int u = 0; u < kThreads; ++u) {  // the others' addresses too: stored once
                    announce(Support::makeServerRecord("127.1." + std::to_string((t + u) % kThreads) + "." +
                                                       std::to_string(i)));
                }
            }
            ++finished;
        });
    }
    std::vector<DiscoveredServer> previous;
    bool stable = true;  // a snapshot keeps every earlier entry at its index
    for (int round = 0; round < 100000 && finished < kThreads; ++round) {
        std::vector<DiscoveredServer> now = m_discovery.discoveredServers();
        stable = stable && now.size() >= previous.size() &&
                 std::equal(previous.begin(), previous.end(), now.begin(),
                            [](const auto& a, const auto& b) { return a.serverAddress == b.serverAddress; });
        previous = std::move(now);
    }
    for (std::thread& thread : announcers) {
        thread.join();
    }
    EXPECT_TRUE(stable);
    EXPECT_EQ(m_discovery.discoveredServers().size(), std::size_t{kThreads} * kPerThread);
    EXPECT_EQ(m_changes, kThreads * kPerThread);
}

class DiscoveryAgainstSimulatorTest : public DiscoveryTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(DiscoveryAgainstSimulatorTest, FindsTheLoopbackServerOnceAcrossRestarts)
{
    NatNet::Sim::SimulatorConfig config;
    config.multicast = GetParam();
    NatNet::Sim::Simulator simulator(config);
    simulator.setAppName("SimServer");
    ASSERT_TRUE(simulator.start());
    Support::ScopedDiscoveryTargets targets(simulator.commandPort());
    ASSERT_TRUE(targets.ok());

    m_discovery.start();
    m_discovery.start();  // running already: nothing happens
    for (int i = 0; i < 500 && m_changes == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(m_changes, 1);
    m_discovery.stop();
    EXPECT_FALSE(m_discovery.isRunning());
    m_discovery.start();  // the server answers again: not stored twice
    const auto seen = simulator.counters().discoveries;
    ASSERT_TRUE(simulator.waitFor([&](const auto& c) { return c.discoveries >= seen + 3; }, 5s));
    m_discovery.stop();

    EXPECT_EQ(m_changes, 1);
    EXPECT_EQ(m_capture.sink().count(2, kCategory, "Looking for servers on the local network"), 2u);
    const std::vector<DiscoveredServer> servers = m_discovery.discoveredServers();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].serverAddress, "127.0.0.1");
    EXPECT_EQ(servers[0].localAddress, "127.0.0.1");
    EXPECT_EQ(servers[0].serverCommandPort, simulator.commandPort());
    EXPECT_EQ(servers[0].hostApp, "SimServer");
    EXPECT_TRUE(servers[0].connectionInfoValid);
    EXPECT_EQ(servers[0].connectionDataPort, simulator.dataPort());
    EXPECT_EQ(servers[0].connectionMulticast, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, DiscoveryAgainstSimulatorTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return mode.param ? "Multicast" : "Unicast";
                         });

}  // namespace
}  // namespace Quorvane
