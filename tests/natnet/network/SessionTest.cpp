// Unicast and multicast sessions against the simulator in every bitstream
// version it emits: connect, server description, frames, keep-alives, echo.
#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string>

namespace {

using namespace NatNetTest;
using NatNet::Sim::Simulator;

struct SessionCase
{
    const char* name;
    bool multicast;
    std::array<uint8_t, 4> version;
};

std::string caseName(const testing::TestParamInfo<SessionCase>& info)
{
    return info.param.name;
}

class SessionTest : public testing::TestWithParam<SessionCase>
{
};

TEST_P(SessionTest, ConnectDescribesTheServerAndDeliversItsFrames)
{
    const SessionCase& c = GetParam();
    Simulator sim(simConfig(c.multicast));
    sim.setNatNetVersion(c.version);
    sim.setAppName("Motive");
    sim.setAppVersion({3, 1, 2, 1});
    sim.setClockFrequency(3'312'787);
    ASSERT_TRUE(sim.start());

    RecordingClient receiver;
    ASSERT_EQ(receiver.connectTo(sim, c.multicast), ErrorCode_OK);

    sServerDescription description;
    std::memset(&description, 0xAB, sizeof(description));
    ASSERT_EQ(receiver.client.GetServerDescription(&description), ErrorCode_OK);
    EXPECT_TRUE(description.HostPresent);
    EXPECT_STREQ(description.szHostApp, "Motive");
    EXPECT_STREQ(description.szHostComputerName, "");
    EXPECT_EQ(std::memcmp(description.HostAppVersion, "\x03\x01\x02\x01", 4), 0);
    EXPECT_EQ(std::memcmp(description.NatNetVersion, c.version.data(), 4), 0);
    EXPECT_EQ(std::memcmp(description.HostComputerAddress, "\x7f\x00\x00\x01", 4), 0);
    const bool connectionInfo = c.version[0] >= 3;
    EXPECT_EQ(description.bConnectionInfoValid, connectionInfo);
    if (connectionInfo) {
        EXPECT_EQ(description.HighResClockFrequency, 3'312'787u);
        EXPECT_EQ(description.ConnectionDataPort, sim.dataPort());
        EXPECT_EQ(description.ConnectionMulticast, c.multicast);
        if (c.multicast) {
            EXPECT_EQ(std::memcmp(description.ConnectionMulticastAddress, "\xef\xff\x2a\x63", 4), 0);
        }
    }
    uint8_t decodeVersion[4] = {};
    NatNetExt::GetDecodeVersion(receiver.client, decodeVersion);
    EXPECT_EQ(std::memcmp(decodeVersion, c.version.data(), 4), 0);

    if (!c.multicast) {
        ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsConnected == 1; }, 2s));
    }
    auto frame = newFrame();
    for (int32_t number = 100; number < 105; ++number) {
        buildFrame(*frame, number, 3);
        ASSERT_EQ(sim.sendFrame(*frame), 1);
    }
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() == 5; }));
    EXPECT_EQ(receiver.frames.frameNumbers(), (std::vector<int32_t>{100, 101, 102, 103, 104}));
    const FrameRecorder::Seen last = receiver.frames.last();
    ASSERT_EQ(last.rigidBodies.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(last.rigidBodies[static_cast<size_t>(i)].ID, frame->RigidBodies[i].ID);
        EXPECT_EQ(last.rigidBodies[static_cast<size_t>(i)].x, frame->RigidBodies[i].x);
        EXPECT_EQ(last.rigidBodies[static_cast<size_t>(i)].z, frame->RigidBodies[i].z);
        EXPECT_EQ(last.rigidBodies[static_cast<size_t>(i)].qw, 1.0f);
    }
    const NatNetExt::ClientCounters counters = countersOf(receiver.client);
    EXPECT_EQ(counters.framesDecoded, 5u);
    EXPECT_EQ(counters.droppedBadFrame, 0u);
    EXPECT_EQ(counters.droppedForeignSender, 0u);

    EXPECT_EQ(receiver.client.Disconnect(), ErrorCode_OK);
    if (!c.multicast) {
        // Unicast goodbye: the "Disconnect" request unregisters the client.
        EXPECT_TRUE(
            sim.waitFor([](const auto& n) { return n.clientsConnected == 0 && n.disconnects == 1; }, 2s));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryVersion, SessionTest,
    testing::Values(
        SessionCase{"Unicast_2_5", false, {2, 5, 0, 0}}, SessionCase{"Unicast_2_6", false, {2, 6, 0, 0}},
        SessionCase{"Unicast_2_7", false, {2, 7, 0, 0}}, SessionCase{"Unicast_2_9", false, {2, 9, 0, 0}},
        SessionCase{"Unicast_3_0", false, {3, 0, 0, 0}}, SessionCase{"Unicast_3_1", false, {3, 1, 0, 0}},
        SessionCase{"Unicast_4_0", false, {4, 0, 0, 0}}, SessionCase{"Unicast_4_1", false, {4, 1, 0, 0}},
        SessionCase{"Unicast_4_2", false, {4, 2, 0, 0}}, SessionCase{"Multicast_2_5", true, {2, 5, 0, 0}},
        SessionCase{"Multicast_2_9", true, {2, 9, 0, 0}}, SessionCase{"Multicast_3_0", true, {3, 0, 0, 0}},
        SessionCase{"Multicast_3_1", true, {3, 1, 0, 0}}, SessionCase{"Multicast_4_0", true, {4, 0, 0, 0}},
        SessionCase{"Multicast_4_1", true, {4, 1, 0, 0}}, SessionCase{"Multicast_4_2", true, {4, 2, 0, 0}}),
    caseName);

TEST(SessionTimers, UnicastSendsKeepAlivesAndEchoesMulticastOnlyEchoes)
{
    for (const bool multicast : {false, true}) {
        SCOPED_TRACE(multicast ? "multicast" : "unicast");
        Simulator sim(simConfig(multicast));
        ASSERT_TRUE(sim.start());
        NatNetClient client;
        NatNetExt::ClientTimeouts timeouts = fastTimeouts();
        timeouts.keepAliveMs = 50;
        timeouts.echoMs = 25;
        NatNetExt::SetClientTimeouts(client, timeouts);
        ASSERT_EQ(connectTo(client, sim, multicast), ErrorCode_OK);

        ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.echoRequests >= 4; }, 3s));
        if (multicast) {
            EXPECT_EQ(sim.counters().keepAlives, 0u);
        } else {
            ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.keepAlives >= 3; }, 3s));
        }
        ASSERT_TRUE(eventually([&] { return countersOf(client).echoResponsesReceived >= 4; }));
        // Nothing answers a keep-alive, so nothing arrives that the client does not expect.
        const NatNetExt::ClientCounters counters = countersOf(client);
        EXPECT_EQ(counters.droppedUnexpected, 0u);
        EXPECT_EQ(counters.droppedStaleReply, 0u);
        EXPECT_EQ(counters.reconnectsSent, 0u);
    }
}

TEST(SessionClock, SecondsSinceHostTimestampTracksTheServerClock)
{
    Simulator sim(simConfig(false));
    sim.setClockFrequency(3'312'787);  // Motive 2.1's frequency: not a round number
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.echoMs = 20;
    NatNetExt::SetClientTimeouts(client, timeouts);
    EXPECT_EQ(client.SecondsSinceHostTimestamp(12345), 0.0);  // not synchronised yet
    ASSERT_EQ(connectTo(client, sim, false), ErrorCode_OK);
    ASSERT_TRUE(eventually([&] { return countersOf(client).echoResponsesReceived >= 5; }));

    // The truth is the simulator's clock itself: a stamp taken now is 0 s old,
    // one taken 0.5 s of ticks ago is 0.5 s old. The estimate may be off by half the
    // best echo's round trip, and the stamp ages while this thread waits to ask: 3 ms,
    // or more where a loaded machine made those longer.
    const auto roundTripS = [&] {
        double ms = 0.0;
        EXPECT_EQ(NatNetExt::GetClockSyncRoundTripMs(client, &ms), ErrorCode_OK);
        return ms / 1000.0;
    };
    for (int i = 0; i < 5; ++i) {
        const double roundTripBefore = roundTripS();
        const auto asked = std::chrono::steady_clock::now();
        const uint64_t now = sim.ticksNow();
        const double age = client.SecondsSinceHostTimestamp(now);
        const double older = client.SecondsSinceHostTimestamp(now - 3'312'787 / 2);
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        const double tolerance =
            std::max(0.003, std::max(roundTripBefore, roundTripS()) / 2 + waited + 0.001);
        EXPECT_NEAR(age, 0.0, tolerance);
        EXPECT_NEAR(older, 0.5, tolerance);
    }
}

}  // namespace

namespace {

TEST(SessionClock, TheClockSyncRoundTripIsKnownOnceAnEchoWasAnswered)
{
    NatNet::Sim::Simulator sim(NatNetTest::simConfig(false));
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    double ms = -1.0;
    EXPECT_EQ(NatNetExt::GetClockSyncRoundTripMs(client, &ms), ErrorCode_Other);
    ASSERT_EQ(NatNetTest::connectTo(client, sim, false), ErrorCode_OK);
    ASSERT_TRUE(NatNetTest::eventually(
        [&] { return NatNetExt::GetClockSyncRoundTripMs(client, &ms) == ErrorCode_OK; }));
    EXPECT_GT(ms, 0.0);
    EXPECT_LT(ms, 1000.0);
    EXPECT_EQ(NatNetExt::GetClockSyncRoundTripMs(client, nullptr), ErrorCode_InvalidArgument);
}

}  // namespace
