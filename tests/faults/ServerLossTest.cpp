// The server goes away mid-stream and comes back. The stream stays up and keeps its
// instruments; stop and close return within a second; starting again against a dead server
// fails in bounded time. A server restarted on the same ports is picked up by itself: in
// multicast the frames simply arrive again at the group; in unicast the client, having had no
// frame for 3 s, repeats its NAT_CONNECT with every keep-alive (each second), so the new server
// registers it and streams to it again. (A server restarted on other ports is not looked for:
// the stream must then be started again with the new parameters.)

#include "FaultTestSupport.h"

#include <natnet/sim/Scenario.h>

#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

namespace Quorvane::FaultTesting {
namespace {

struct Mode
{
    const char* name;
    bool multicast;
    std::chrono::milliseconds resumeWithin;
};

NatNet::Sim::ScenarioConfig scenario()
{
    NatNet::Sim::ScenarioConfig config;
    config.rigidBodies = 4;
    config.rateHz = 500.0;
    config.markers = false;
    config.durationSeconds = 30.0;  // ends by itself; the tests end it much earlier
    return config;
}

template <class F>
std::chrono::milliseconds timed(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

class ServerLoss : public ::testing::TestWithParam<Mode>
{
protected:
    ScopedLogCapture m_log{3};  // keeps the console quiet; failures are asserted, not read
};

TEST_P(ServerLoss, TheStreamSurvivesAKilledServerAndStopsAndClosesWithinASecond)
{
    auto sim = startSimulator(GetParam().multicast);
    ASSERT_TRUE(sim);
    auto stream = std::make_unique<OptiTrackStream>();
    stream->setConnectionParams(paramsFor(*sim));
    DeliveredFrames delivered(*stream);
    ASSERT_TRUE(sim->startStreaming(scenario()));
    ASSERT_TRUE(stream->start());
    ASSERT_TRUE(eventually([&] { return delivered.emissions() > 20; }));

    sim.reset();  // killed mid-stream
    ASSERT_TRUE(waitForQuiet([&] { return delivered.emissions(); }, 300ms));
    EXPECT_EQ(stream->state(), Stream::State::Running);
    EXPECT_EQ(stream->numInstruments(), 4u);

    bool stopped = false;
    EXPECT_LT(timed([&] { stopped = stream->stop(); }), 1000ms);
    EXPECT_TRUE(stopped);
    bool closed = false;
    EXPECT_LT(timed([&] { closed = stream->close(); }), 1000ms);
    EXPECT_TRUE(closed);

    // Nobody answers now: the start says so, after the client's connect attempts (about 1 s).
    bool started = true;
    EXPECT_LT(timed([&] { started = stream->start(); }), 3000ms);
    EXPECT_FALSE(started);
    EXPECT_LT(timed([&] { stream.reset(); }), 1000ms);
}

TEST_P(ServerLoss, FramesResumeByThemselvesFromAServerRestartedOnTheSamePorts)
{
    auto sim = startSimulator(GetParam().multicast);
    ASSERT_TRUE(sim);
    const std::uint16_t commandPort = sim->commandPort();
    const std::uint16_t dataPort = sim->dataPort();
    OptiTrackStream stream;
    stream.setConnectionParams(paramsFor(*sim));
    DeliveredFrames delivered(stream);
    ASSERT_TRUE(sim->startStreaming(scenario()));
    ASSERT_TRUE(stream.start());
    ASSERT_TRUE(eventually([&] { return delivered.emissions() > 20; }));

    sim.reset();
    ASSERT_TRUE(waitForQuiet([&] { return delivered.emissions(); }, 300ms));
    const std::uint64_t beforeRestart = delivered.emissions();

    sim = startSimulator(GetParam().multicast, commandPort, dataPort);
    ASSERT_TRUE(sim) << "the old ports were taken meanwhile";
    ASSERT_TRUE(sim->startStreaming(scenario()));
    EXPECT_TRUE(
        eventually([&] { return delivered.emissions() > beforeRestart + 20; }, GetParam().resumeWithin));
    if (!GetParam().multicast) {
        EXPECT_GE(sim->counters().connects, 1u);  // the client registered with the new server
    }
    EXPECT_EQ(stream.numInstruments(), 4u);  // the same instruments, updated again
    EXPECT_TRUE(stream.stop());
    sim->stopStreaming();
}

INSTANTIATE_TEST_SUITE_P(Modes, ServerLoss,
                         ::testing::Values(Mode{"multicast", true, 3000ms}, Mode{"unicast", false, 10000ms}),
                         [](const ::testing::TestParamInfo<Mode>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
}  // namespace Quorvane::FaultTesting
