// Server discovery against the simulator on loopback: the blocking call, the
// asynchronous handle, the 592-byte record, and where announcements go.
#include "NetworkTestSupport.h"

#include "NatNetCAPI.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace NatNetTest;
using NatNet::Sim::Simulator;

std::string target(const Simulator& sim, const char* address = "127.0.0.1")
{
    return std::string(address) + ":" + std::to_string(sim.commandPort());
}

class DiscoveryTest : public testing::Test
{
protected:
    void TearDown() override { NatNetExt::SetDiscoveryTargets(nullptr); }
};

struct DiscoveryCase
{
    const char* name;
    bool multicast;
    std::array<uint8_t, 4> version;
    bool broadcast;  // announce to 127.255.255.255 (the simulator listens on every interface)
};

class DiscoveryRecordTest : public testing::TestWithParam<DiscoveryCase>
{
protected:
    void TearDown() override { NatNetExt::SetDiscoveryTargets(nullptr); }
};

TEST_P(DiscoveryRecordTest, TheBlockingCallFillsTheDiscoveredServerRecord)
{
    const DiscoveryCase& c = GetParam();
    NatNet::Sim::SimulatorConfig config = simConfig(c.multicast);
    config.answerBroadcasts = c.broadcast;
    Simulator sim(config);
    sim.setNatNetVersion(c.version);
    sim.setAppVersion({3, 1, 4, 0});
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(
        NatNetExt::SetDiscoveryTargets(target(sim, c.broadcast ? "127.255.255.255" : "127.0.0.1").c_str()),
        ErrorCode_OK);

    sNatNetDiscoveredServer servers[4];
    std::memset(servers, 0xCC, sizeof(servers));
    int count = 4;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(servers, &count, 500), ErrorCode_OK);
    ASSERT_EQ(count, 1);
    const sNatNetDiscoveredServer& found = servers[0];
    EXPECT_STREQ(found.localAddress, "127.0.0.1");
    EXPECT_STREQ(found.serverAddress, "127.0.0.1");
    EXPECT_EQ(found.serverCommandPort, sim.commandPort());
    const sServerDescription& description = found.serverDescription;
    EXPECT_TRUE(description.HostPresent);
    EXPECT_STREQ(description.szHostApp, "Motive");
    EXPECT_EQ(std::memcmp(description.HostAppVersion, "\x03\x01\x04\x00", 4), 0);
    EXPECT_EQ(std::memcmp(description.NatNetVersion, c.version.data(), 4), 0);
    const bool connectionInfo = c.version[0] >= 3;
    EXPECT_EQ(description.bConnectionInfoValid, connectionInfo);
    if (connectionInfo) {
        EXPECT_EQ(description.ConnectionDataPort, sim.dataPort());
        EXPECT_EQ(description.ConnectionMulticast, c.multicast);
        const char* group = c.multicast ? "\xef\xff\x2a\x63" : "\x00\x00\x00\x00";
        EXPECT_EQ(std::memcmp(description.ConnectionMulticastAddress, group, 4), 0);
    }
    EXPECT_EQ(sim.counters().discoveries, 1u);
}

INSTANTIATE_TEST_SUITE_P(Servers, DiscoveryRecordTest,
                         testing::Values(DiscoveryCase{"Multicast_4_1", true, {4, 1, 0, 0}, false},
                                         DiscoveryCase{"Unicast_4_2", false, {4, 2, 0, 0}, false},
                                         DiscoveryCase{"Legacy_2_9", true, {2, 9, 0, 0}, false},
                                         DiscoveryCase{"Broadcast_3_0", true, {3, 0, 0, 0}, true}),
                         [](const testing::TestParamInfo<DiscoveryCase>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(DiscoveryTest, TheBlockingCallCountsEachServerOnceAndReportsThoseThatDidNotFit)
{
    Simulator first(simConfig(true));
    Simulator second(simConfig(false));
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    // The first server is reached twice (two targets), the second once.
    const std::string targets = target(first) + ", " + target(first) + "," + target(second);
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(targets.c_str()), ErrorCode_OK);

    sNatNetDiscoveredServer servers[2];
    int count = 2;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(servers, &count, 300), ErrorCode_OK);
    EXPECT_EQ(count, 2);
    EXPECT_NE(servers[0].serverCommandPort, servers[1].serverCommandPort);

    sNatNetDiscoveredServer one[1];
    count = 1;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(one, &count, 300), ErrorCode_OK);
    EXPECT_EQ(count, 2);  // two answered; the array held one

    count = 0;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(nullptr, &count, 100), ErrorCode_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(NatNet_BroadcastServerDiscovery(nullptr, nullptr, 100), ErrorCode_InvalidArgument);
    count = 3;
    EXPECT_EQ(NatNet_BroadcastServerDiscovery(nullptr, &count, 100), ErrorCode_InvalidArgument);
}

struct DiscoveryLog
{
    std::mutex mutex;
    std::vector<sNatNetDiscoveredServer> seen;
    std::atomic<bool> freed{false};
    std::atomic<int> callsAfterFree{0};
    std::atomic<NatNetDiscoveryHandle> selfHandle{nullptr};
    std::atomic<int> freeResult{-1};

    static void NATNET_CALLCONV onServer(const sNatNetDiscoveredServer* server, void* context)
    {
        auto* log = static_cast<DiscoveryLog*>(context);
        if (log->freed.load()) {
            ++log->callsAfterFree;
        }
        std::lock_guard<std::mutex> lock(log->mutex);
        log->seen.push_back(*server);
    }
    static void NATNET_CALLCONV freeItself(const sNatNetDiscoveredServer*, void* context)
    {
        auto* log = static_cast<DiscoveryLog*>(context);
        if (NatNetDiscoveryHandle handle = log->selfHandle.exchange(nullptr)) {
            log->freeResult = NatNet_FreeAsyncServerDiscovery(handle);
        }
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    }
};

TEST_F(DiscoveryTest, AsynchronousDiscoveryReportsEveryReplyAndStopsWhenFreed)
{
    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(target(sim).c_str()), ErrorCode_OK);
    ASSERT_EQ(NatNetExt::SetDiscoveryIntervalMs(5), ErrorCode_OK);  // replies keep arriving

    DiscoveryLog log;
    NatNetDiscoveryHandle handle = nullptr;
    ASSERT_EQ(NatNet_CreateAsyncServerDiscovery(&handle, &DiscoveryLog::onServer, &log), ErrorCode_OK);
    ASSERT_NE(handle, nullptr);
    // The same server again and again: reported each time (the caller de-duplicates).
    ASSERT_TRUE(eventually([&] { return log.count() >= 5; }));
    ASSERT_EQ(NatNet_FreeAsyncServerDiscovery(handle), ErrorCode_OK);
    log.freed = true;
    const uint64_t discoveries = sim.counters().discoveries;
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        EXPECT_EQ(log.seen.front().serverCommandPort, sim.commandPort());
        EXPECT_STREQ(log.seen.back().localAddress, "127.0.0.1");
    }
    // A reply still in flight must not reach the callback; no more announcements go out.
    Simulator witness(simConfig(true));
    ASSERT_TRUE(witness.start());
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(target(witness).c_str()), ErrorCode_OK);
    sNatNetDiscoveredServer found[1];
    int count = 1;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(found, &count, 100), ErrorCode_OK);
    EXPECT_EQ(log.callsAfterFree.load(), 0);
    EXPECT_LE(sim.counters().discoveries, discoveries + 1);
    NatNetExt::SetDiscoveryIntervalMs(NatNetExt::kDefaultDiscoveryIntervalMs);
}

TEST_F(DiscoveryTest, FreeingTheHandleFromItsOwnCallbackIsSafe)
{
    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(target(sim).c_str()), ErrorCode_OK);
    ASSERT_EQ(NatNetExt::SetDiscoveryIntervalMs(5), ErrorCode_OK);
    DiscoveryLog log;
    NatNetDiscoveryHandle handle = nullptr;
    ASSERT_EQ(NatNet_CreateAsyncServerDiscovery(&handle, &DiscoveryLog::freeItself, &log), ErrorCode_OK);
    log.selfHandle = handle;  // a reply before this is ignored; the next announcement follows shortly
    const bool freed = eventually([&] { return log.freeResult.load() == ErrorCode_OK; });
    NatNetExt::SetDiscoveryIntervalMs(NatNetExt::kDefaultDiscoveryIntervalMs);
    ASSERT_TRUE(freed);
}

TEST_F(DiscoveryTest, AsynchronousDiscoveryAnnouncesAtOnceThenEveryFewSeconds)
{
    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(target(sim).c_str()), ErrorCode_OK);
    DiscoveryLog log;
    NatNetDiscoveryHandle handle = nullptr;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(NatNet_CreateAsyncServerDiscovery(&handle, &DiscoveryLog::onServer, &log), ErrorCode_OK);
    const bool first = eventually([&] { return log.count() >= 1; });
    const auto firstAfter = std::chrono::steady_clock::now() - started;
    // A panel logging every reply must not print one per second per server.
    const bool again = eventually([&] { return sim.counters().discoveries >= 2; }, 2500ms);
    ASSERT_EQ(NatNet_FreeAsyncServerDiscovery(handle), ErrorCode_OK);
    log.freed = true;
    ASSERT_TRUE(first);
    // At once, not after the first interval (a loaded machine may take a while to answer).
    EXPECT_LT(firstAfter, std::chrono::milliseconds(NatNetExt::kDefaultDiscoveryIntervalMs / 2));
    EXPECT_FALSE(again) << "announced again within 2.5 s";
}

TEST_F(DiscoveryTest, TargetsComeFromTheProgramThenTheEnvironment)
{
    EXPECT_EQ(NatNetExt::SetDiscoveryTargets("127.0.0.1:0"), ErrorCode_InvalidArgument);
    EXPECT_EQ(NatNetExt::SetDiscoveryTargets("127.0.0.1:1510,,127.0.0.2"), ErrorCode_InvalidArgument);
    EXPECT_EQ(NatNetExt::SetDiscoveryTargets("localhost"), ErrorCode_InvalidArgument);
    EXPECT_EQ(NatNetExt::SetDiscoveryIntervalMs(0), ErrorCode_InvalidArgument);

    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(NatNetExt::SetDiscoveryTargets(nullptr), ErrorCode_OK);
    ASSERT_EQ(setenv("NATNET_DISCOVERY_TARGETS", target(sim).c_str(), 1), 0);
    sNatNetDiscoveredServer found[1];
    int count = 1;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(found, &count, 300), ErrorCode_OK);
    EXPECT_EQ(count, 1);

    // A malformed list sends nothing at all (never a fall-back to every network).
    ASSERT_EQ(setenv("NATNET_DISCOVERY_TARGETS", "127.0.0.1:99999", 1), 0);
    count = 1;
    ASSERT_EQ(NatNet_BroadcastServerDiscovery(found, &count, 100), ErrorCode_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(sim.counters().discoveries, 1u);
    unsetenv("NATNET_DISCOVERY_TARGETS");
}

}  // namespace
