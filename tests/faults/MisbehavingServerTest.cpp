// A server that answers late, twice, from the wrong port or without being asked. The stream
// starts with the server's true units and frame rate or fails its start with its failure lines;
// it never takes an answer meant for another request, so it never scales poses by a wrong value;
// frames from another port of the server's address and an unsolicited server information change
// nothing.

#include "FaultTestSupport.h"

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <natnet_ext/NatNetExt.h>

#include <array>
#include <cstdio>
#include <sstream>

namespace Quorvane::FaultTesting {
namespace {

constexpr float kUnits = 1000.0f;  // the server says metres
constexpr float kFrameRate = 250.0f;
constexpr std::int32_t kAnalogSamples = 7;

// Lines that begin with `prefix` but are not exactly `expected`: a value that was taken from the
// wrong answer.
std::size_t wrongLines(const RecordingLogSink& sink, const std::string& prefix, const std::string& expected)
{
    std::size_t wrong = 0;
    for (const auto& record : sink.records()) {
        if (record.text.rfind(prefix, 0) == 0 && record.text != expected) ++wrong;
    }
    return wrong;
}

std::unique_ptr<NatNet::Sim::Simulator> scriptedServer()
{
    auto sim = startSimulator(false);
    if (sim) {
        sim->setUnitsToMillimeters(kUnits);
        sim->setFrameRate(kFrameRate);
        sim->setAnalogSamplesPerFrame(kAnalogSamples);
    }
    return sim;
}

// After a start: every frame sent shows its body 1 at x = number metres, in millimetres.
void expectPosesScaledByTheServersUnits(NatNet::Sim::Simulator& sim, OptiTrackStream& stream)
{
    for (std::int32_t number = 1; number <= 20; ++number) {
        sim.sendFrame(*numberedFrame(number));
        const double expected = static_cast<double>(static_cast<float>(number) * kUnits);
        ASSERT_TRUE(eventually([&] {
            const auto instrument = stream.findInstrument("optitrack-1");
            return instrument && instrument->pose(0, 3) == expected;
        })) << "frame "
            << number << " not published at " << expected << " mm";
    }
}

void expectTheServersValuesOrTheFailureLines(const RecordingLogSink& sink, bool started)
{
    std::ostringstream units;
    units << "Units to MM: " << kUnits;
    EXPECT_EQ(wrongLines(sink, "Units to MM: ", units.str()), 0u);
    std::ostringstream rate;
    rate << "Mocap Framerate: " << kFrameRate;
    EXPECT_EQ(wrongLines(sink, "Mocap Framerate: ", rate.str()), 0u);
    std::ostringstream analog;
    analog << "Analog Samples Per Mocap Frame: " << kAnalogSamples;
    EXPECT_EQ(wrongLines(sink, "Analog Samples Per Mocap Frame: ", analog.str()), 0u);
    if (started) {
        EXPECT_EQ(sink.count(units.str()), 1u);
    } else {
        EXPECT_EQ(sink.count(units.str()), 0u);
        EXPECT_EQ(sink.count(4, "OptiTrackStream", "Error getting units to mm scale.\n") +
                      sink.countContaining("Unable to connect to server"),
                  1u);
    }
    if (::testing::Test::HasFailure()) {
        for (const auto& record : sink.records()) {
            std::printf("[ log      ] %d %s: %s\n", record.level, record.category.c_str(),
                        record.text.c_str());
        }
    }
}

// A loaded Motive PC: every answer 140 to 230 ms late, across the client's 10 tries of 20 ms.
TEST(MisbehavingServer, LateAnswersGiveTheRightUnitsOrAFailedStartNeverAWrongScale)
{
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        ScopedLogCapture log{2};
        auto sim = scriptedServer();
        ASSERT_TRUE(sim);
        sim->setAnswerDelay(140ms, 230ms, seed);
        OptiTrackStream stream;
        stream.setConnectionParams(paramsFor(*sim));
        const bool started = stream.start();
        expectTheServersValuesOrTheFailureLines(log.sink(), started);
        if (started) {
            sim->setAnswerDelay(0ms, 0ms);
            expectPosesScaledByTheServersUnits(*sim, stream);
            EXPECT_TRUE(stream.stop());
        }
    }
}

// Each request's first try goes unanswered in time, so it is retried; both tries are answered,
// each twice. Only one of the four answers is the request's; the others must not reach the
// requests after it.
TEST(MisbehavingServer, DuplicatedAnswersToRetriedRequestsGiveTheRightValues)
{
    ScopedLogCapture log{2};
    auto sim = scriptedServer();
    ASSERT_TRUE(sim);
    sim->setDuplicateAnswers(true);
    sim->setAnswerDelay(25ms, 35ms);
    OptiTrackStream stream;
    stream.setConnectionParams(paramsFor(*sim));
    ASSERT_TRUE(stream.start());
    expectTheServersValuesOrTheFailureLines(log.sink(), true);
    EXPECT_EQ(log.sink().count(2, "OptiTrackStream", "Mocap Framerate: 250"), 1u);
    EXPECT_GE(sim->counters().answersDuplicated, 3u);
    sim->setAnswerDelay(0ms, 0ms);
    expectPosesScaledByTheServersUnits(*sim, stream);
    EXPECT_TRUE(stream.stop());
}

// Datagrams from the server's address that a server should not send.
using MisbehavingServerDatagrams = DrivenStreamTest;

TEST_F(MisbehavingServerDatagrams, FramesFromAnotherPortOfTheServerNeverReachAnInstrument)
{
    constexpr int kFrames = 50;
    for (std::int32_t number = 1; number <= 2 * kFrames; number += 2) {
        m_sim->sendFrame(*numberedFrame(number));
        // Newer than the frame before it, and 9999 m away: whoever takes it would show it.
        auto injected = numberedFrame(number + 1);
        injected->RigidBodies[0].x = 9999.0f;
        ASSERT_EQ(m_sim->sendFrameFromOtherPort(*injected), 1);
    }
    m_sim->sendFrame(*numberedFrame(2 * kFrames + 1));
    ASSERT_TRUE(eventually([&] { return m_delivered.has(2 * kFrames + 1); }));
    EXPECT_FALSE(m_delivered.has(9999));
    EXPECT_EQ(m_delivered.countIn(1, 2 * kFrames + 1), static_cast<std::size_t>(kFrames + 1));
    EXPECT_EQ(m_driven.counters().droppedForeignSender, static_cast<std::uint64_t>(kFrames));
}

TEST_F(MisbehavingServerDatagrams, AnUnsolicitedServerInfoMidStreamChangesNothing)
{
    std::array<std::uint8_t, 4> before{};
    ASSERT_EQ(NatNetExt::GetDecodeVersion(m_driven.context.client, before.data()), ErrorCode_OK);
    for (std::int32_t number = 1; number <= 100; ++number) m_sim->sendFrame(*numberedFrame(number));
    ASSERT_TRUE(eventually([&] { return m_delivered.has(100); }));

    // Claiming NatNet 3.0: a client that believed it would misread every 4.1 frame after it.
    ASSERT_EQ(m_sim->sendUnsolicitedServerInfo({3, 0, 0, 0}), 1);
    ASSERT_TRUE(eventually([&] { return m_driven.counters().droppedUnsolicited >= 1; }));
    for (std::int32_t number = 101; number <= 200; ++number) m_sim->sendFrame(*numberedFrame(number));
    ASSERT_TRUE(eventually([&] { return m_delivered.has(200); }));
    EXPECT_EQ(m_delivered.countIn(1, 200), 200u);
    std::array<std::uint8_t, 4> after{};
    ASSERT_EQ(NatNetExt::GetDecodeVersion(m_driven.context.client, after.data()), ErrorCode_OK);
    EXPECT_EQ(after, before);
    EXPECT_EQ(m_driven.counters().droppedBadFrame, 0u);
}

}  // namespace
}  // namespace Quorvane::FaultTesting
