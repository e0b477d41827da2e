// A server whose frames carry non-finite poses and floods of never-seen rigid-body IDs, streamed
// over loopback into the module: no instrument ever gets a non-finite pose or quality or a
// rotation that is not one, the instrument store stays capped, and memory stays bounded.

#include "FaultTestSupport.h"

#include <natnet/sim/Scenario.h>

#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

namespace Quorvane::FaultTesting {
namespace {

constexpr std::size_t kInstrumentCap = 2000;

// Every frame, whatever frame the update came from.
class PublishedPoses
{
public:
    explicit PublishedPoses(OptiTrackStream& stream)
    {
        const OptiTrackStream& reader = stream;
        stream.instrumentsUpdated.connect([this, &reader](InstrumentModifications) { onUpdate(reader); });
    }

    std::uint64_t emissions() const { return m_emissions.load(); }
    std::uint64_t nonFinite() const { return m_nonFinite.load(); }
    std::uint64_t notARotation() const { return m_notARotation.load(); }

private:
    void onUpdate(const OptiTrackStream& stream)
    {
        for (int id = 1; id <= 4; ++id) {
            const auto instrument = stream.findInstrument("optitrack-" + std::to_string(id));
            if (!instrument || instrument->updateCount == 0) continue;
            if (!isFinite(*instrument)) {
                ++m_nonFinite;
                continue;
            }
            const Eigen::Matrix3d rotation = instrument->pose.topLeftCorner<3, 3>();
            if (instrument->isTracked() &&
                !(rotation.transpose() * rotation).isApprox(Eigen::Matrix3d::Identity(), 1e-4)) {
                ++m_notARotation;
            }
        }
        ++m_emissions;
    }

    std::atomic<std::uint64_t> m_emissions{0};
    std::atomic<std::uint64_t> m_nonFinite{0};
    std::atomic<std::uint64_t> m_notARotation{0};
};

// A unicast simulator and a started stream whose published poses are watched. TearDown stops
// the stream before the watcher goes, so that no update reaches it after.
class HostileFrames : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sim = startSimulator(false);
        ASSERT_TRUE(m_sim);
        m_stream.setConnectionParams(paramsFor(*m_sim));
        ASSERT_TRUE(m_stream.start());
    }
    void TearDown() override { m_stream.stop(); }

    ScopedLogCapture m_log{Log::Warning};
    std::unique_ptr<NatNet::Sim::Simulator> m_sim;
    OptiTrackStream m_stream;
    PublishedPoses m_poses{m_stream};
};

TEST_F(HostileFrames, NonFinitePosesAndQuaternionsNeverReachAnInstrument)
{
    using NatNet::Sim::PoseFault;
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 4;
    scenario.rateHz = 250.0;
    scenario.markers = false;
    scenario.frameCount = 200;
    scenario.poseFaults = {{0, PoseFault::NaNPosition, 2},        {0, PoseFault::NaNMeanError, 3},
                           {1, PoseFault::InfinitePosition, 3},   {1, PoseFault::NaNQuaternion, 5},
                           {2, PoseFault::InfiniteQuaternion, 2}, {2, PoseFault::ZeroQuaternion, 7},
                           {3, PoseFault::NonUnitQuaternion, 2}};
    ASSERT_TRUE(m_sim->startStreaming(scenario));
    ASSERT_TRUE(m_sim->waitForStreamEnd(5000ms));
    // The frames wait in the socket while a loaded machine keeps the receive thread off the CPU,
    // which a pause alone cannot tell from the end: the count first, then the pause.
    EXPECT_TRUE(eventually([&] { return m_poses.emissions() > 150u; }, 5000ms)) << m_poses.emissions();
    ASSERT_TRUE(waitForQuiet([&] { return m_poses.emissions(); }, 200ms));

    EXPECT_EQ(m_poses.nonFinite(), 0u);
    EXPECT_EQ(m_poses.notARotation(), 0u);
    // Between the damaged frames every body was tracked and published.
    EXPECT_EQ(m_stream.numInstruments(), 4u);
    for (const TrackingInstrument& instrument : m_stream.instruments()) {
        EXPECT_TRUE(isFinite(instrument)) << instrument.identifier();
        EXPECT_GT(instrument.updateCount, 0u) << instrument.identifier();
    }
    EXPECT_TRUE(m_stream.stop());
}

TEST_F(HostileFrames, AThousandNewIdsPerFrameKeepTheInstrumentsCappedAndMemoryBounded)
{
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 4;
    scenario.rateHz = 50.0;
    scenario.markers = false;
    scenario.newIdsPerFrame = 1000;  // capped by the frame to 996 beside the four bodies
    scenario.frameCount = 20;        // warm-up: the store fills up to its cap
    ASSERT_TRUE(m_sim->startStreaming(scenario));
    ASSERT_TRUE(m_sim->waitForStreamEnd(5000ms));
    ASSERT_TRUE(waitForQuiet([&] { return m_poses.emissions(); }, 300ms));
    const std::uint64_t residentAfterWarmUp = residentBytes();

    scenario.firstFrameNumber = 21;
    scenario.frameCount = 100;  // about 100,000 more IDs that were never seen
    ASSERT_TRUE(m_sim->startStreaming(scenario));
    ASSERT_TRUE(m_sim->waitForStreamEnd(10000ms));
    EXPECT_TRUE(eventually([&] { return m_poses.emissions() > 60u; }, 5000ms)) << m_poses.emissions();
    ASSERT_TRUE(waitForQuiet([&] { return m_poses.emissions(); }, 300ms));
    const std::uint64_t residentAfter = residentBytes();

    EXPECT_LE(m_stream.numInstruments(), kInstrumentCap);
    // The four scenario bodies were seen first and keep being updated.
    for (int id = 1; id <= 4; ++id) {
        EXPECT_TRUE(m_stream.findInstrument("optitrack-" + std::to_string(id))) << id;
    }
    // 100,000 instruments with their names would take tens of megabytes; the cap keeps it flat.
    EXPECT_LT(residentAfter, residentAfterWarmUp + std::uint64_t{16} * 1024 * 1024)
        << "resident " << residentAfterWarmUp << " -> " << residentAfter << " bytes";
    std::printf(
        "[ memory   ] resident after warm-up %llu kB, after 100 more frames %llu kB, %zu instruments\n",
        static_cast<unsigned long long>(residentAfterWarmUp / 1024),
        static_cast<unsigned long long>(residentAfter / 1024), m_stream.numInstruments());
    EXPECT_TRUE(m_stream.stop());
}

}  // namespace
}  // namespace Quorvane::FaultTesting
