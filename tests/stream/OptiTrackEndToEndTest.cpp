// End to end on loopback: the simulator streams a scenario, unicast or multicast, and the stream's
// instrument store fills with named instruments whose poses are in millimetres.

#include "SimTestSupport.h"

#include <natnet/sim/Scenario.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/InstrumentModification.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>

namespace Quorvane::Testing {
namespace {

struct Mode
{
    const char* name;
    bool multicast;
    bool groupGiven;  // multicast only: the group in the parameters, or none (the server's)
};

class EndToEnd : public ::testing::TestWithParam<Mode>
{
protected:
    void SetUp() override
    {
        m_sim = std::make_unique<NatNet::Sim::Simulator>(simulatorConfig(GetParam().multicast));
        ASSERT_TRUE(m_sim->start());
        OptiTrackConnectionParams params = paramsFor(*m_sim);
        if (!GetParam().groupGiven) params.multicastAddress.clear();
        m_stream = std::make_unique<OptiTrackStream>();
        m_stream->setConnectionParams(params);
        m_stream->instrumentsUpdated.connect([this](InstrumentModifications) { ++m_emissions; });
    }

    void TearDown() override
    {
        m_stream.reset();
        m_sim.reset();
    }

    ScopedLogCapture m_log{2};
    std::unique_ptr<NatNet::Sim::Simulator> m_sim;
    std::unique_ptr<OptiTrackStream> m_stream;
    std::atomic<int> m_emissions{0};
};

TEST_P(EndToEnd, StreamedBodiesBecomeNamedInstrumentsInMillimetres)
{
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 3;
    scenario.rateHz = 200.0;
    scenario.units = NatNet::Sim::Units::Metres;
    scenario.durationSeconds = 10.0;  // stops by itself; the test ends it much earlier

    ASSERT_TRUE(m_sim->startStreaming(scenario));
    ASSERT_TRUE(m_stream->start());
    EXPECT_EQ(m_log.sink().count(2, "OptiTrackStream", "Units to MM: 1000"), 1u);

    // The store is written before the signal is emitted, so the count of emissions may lag the
    // bodies' update counts by one frame: both are awaited.
    ASSERT_TRUE(eventually([&] {
        const auto instruments = m_stream->instruments();
        if (instruments.size() != 3 || m_emissions.load() < 20) return false;
        for (const auto& instrument : instruments) {
            if (instrument.updateCount < 20) return false;
        }
        return true;
    }));

    for (int i = 0; i < 3; ++i) {
        const std::string identifier = "optitrack-" + std::to_string(i + 1);
        const auto instrument = m_stream->findInstrument(identifier);
        ASSERT_TRUE(instrument.has_value()) << identifier;
        EXPECT_EQ(instrument->name(), NatNet::Sim::Scenario::bodyName(i));
        // The paths run around (0, 1.2 m, 0) within half a metre: in millimetres here.
        const auto& pose = instrument->pose;
        EXPECT_NEAR(pose(1, 3), 1200.0, 500.0) << identifier;
        EXPECT_LT(std::hypot(pose(0, 3), pose(2, 3)), 600.0) << identifier;
        EXPECT_GT(std::hypot(pose(0, 3), pose(2, 3)), 1.0) << identifier;
        // A rotation (orthonormal for the simulator's unit quaternions).
        EXPECT_NEAR((pose.topLeftCorner<3, 3>().determinant()), 1.0, 1e-5);
        EXPECT_GT(instrument->quality, 0.0);
    }
    m_sim->stopStreaming();
}

TEST_P(EndToEnd, AnExactFrameArrivesScaledToMillimetres)
{
    m_sim->setUnitsToMillimeters(1000.0f);
    ASSERT_TRUE(m_stream->start());
    const auto frame = oneBodyFrame(12, 0.5f, -0.25f, 2.0f, 0.25f);
    ASSERT_TRUE(deliverUntilUpdated(*m_sim, *frame, *m_stream, "optitrack-12"));
    const auto instrument = m_stream->findInstrument("optitrack-12");
    EXPECT_EQ(instrument->pose(0, 3), 500.0);
    EXPECT_EQ(instrument->pose(1, 3), -250.0);
    EXPECT_EQ(instrument->pose(2, 3), 2000.0);
    EXPECT_DOUBLE_EQ(instrument->quality, 0.75);
    EXPECT_EQ(instrument->name(), "OptiTrack 12");
}

TEST_P(EndToEnd, ClosingAndDestroyingWhileFramesArrive)
{
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 8;
    scenario.rateHz = 1000.0;
    scenario.durationSeconds = 10.0;
    ASSERT_TRUE(m_sim->startStreaming(scenario));
    ASSERT_TRUE(m_stream->start());
    ASSERT_TRUE(eventually([&] { return m_emissions.load() > 50; }));

    ASSERT_TRUE(m_stream->close());
    const int afterClose = m_emissions.load();
    ASSERT_TRUE(m_stream->start());  // the host opens it again
    ASSERT_TRUE(eventually([&] { return m_emissions.load() > afterClose + 50; }));
    // Destroyed while running: the host's close and the client's teardown end the callbacks.
    m_stream.reset();
    m_sim->stopStreaming();
}

TEST_P(EndToEnd, FramesDuringTheConnectStepWithEveryLineLogged)
{
    // Frames keep arriving while the stream connects, queries and reports again: the values the
    // callback reads are shared with the connect thread (checked by the thread sanitizer).
    Log::g_globalLevel = 0;
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 4;
    scenario.rateHz = 1000.0;
    scenario.durationSeconds = 10.0;
    ASSERT_TRUE(m_sim->startStreaming(scenario));
    for (int round = 0; round < 3; ++round) {
        const int before = m_emissions.load();
        ASSERT_TRUE(m_stream->start()) << round;
        ASSERT_TRUE(eventually([&] { return m_emissions.load() > before + 20; })) << round;
        ASSERT_TRUE(m_stream->stop()) << round;
    }
    EXPECT_EQ(m_log.sink().count(0, "OptiTrackStream", "Client initialized and ready.\n"), 3u);
    EXPECT_GT(m_log.sink().count(0, "OptiTrack", "Rigid Bodies [Count=4]\n"), 60u);
    m_sim->stopStreaming();
}

INSTANTIATE_TEST_SUITE_P(Modes, EndToEnd,
                         ::testing::Values(Mode{"unicast", false, false}, Mode{"multicast", true, true},
                                           Mode{"multicastServersGroup", true, false}),
                         [](const ::testing::TestParamInfo<Mode>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
}  // namespace Quorvane::Testing
