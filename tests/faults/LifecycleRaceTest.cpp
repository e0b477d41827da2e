// Stop, close and destroy while frames arrive at 10 kHz (32 bodies), with a reader on another
// thread copying the instruments as a view would: no frame reaches the update signal after the
// call returned, nothing is used after it was freed (address sanitizer), and no data race
// (thread sanitizer). Stop is followed by a start that brings the frames back.

#include "FaultTestSupport.h"

#include <natnet/sim/Scenario.h>

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace Quorvane::FaultTesting {
namespace {

enum class Ending { Stop, Close, Destroy };

struct Row
{
    const char* name;
    bool multicast;
    Ending ending;
};

class EndWhileStreaming : public ::testing::TestWithParam<Row>
{
protected:
    // What the stream logged, for a start that fails.
    std::string logged() const
    {
        std::string lines;
        for (const auto& record : m_log.sink().records()) {
            lines += record.text + "\n";
        }
        return lines;
    }

    ScopedLogCapture m_log{3};
};

// Copies the instruments without pause until stopped.
class ViewReader
{
public:
    explicit ViewReader(const OptiTrackStream& stream)
        : m_thread([this, &stream] {
              while (!m_stop.load()) {
                  const auto instruments = stream.instruments();
                  m_reads.fetch_add(instruments.empty() ? 0 : 1);
                  std::this_thread::yield();
              }
          })
    {
    }
    ~ViewReader() { stop(); }
    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_reads{0};
    std::thread m_thread;
};

#if defined(__SANITIZE_THREAD__)
// The thread sanitizer slows the receive thread several times over: at 10 kHz a unicast
// client falls behind, the connect's answers wait behind the frames in the socket, and the
// start fails (as it must) instead of racing the ending.
constexpr double kRateHz = 1000.0;
#else
constexpr double kRateHz = 10000.0;
#endif

TEST_P(EndWhileStreaming, NoUpdateAfterTheCallReturnsAndNothingIsUsedAfterItIsFreed)
{
    const Row& row = GetParam();
    auto sim = startSimulator(row.multicast);
    ASSERT_TRUE(sim);
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 32;
    scenario.rateHz = kRateHz;
    scenario.markers = false;
    scenario.durationSeconds = 30.0;  // ends by itself; the test stops it far earlier
    ASSERT_TRUE(sim->startStreaming(scenario));

    constexpr int kRounds = 4;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        auto stream = std::make_unique<OptiTrackStream>();
        stream->setConnectionParams(paramsFor(*sim));
        DeliveredFrames delivered(*stream);
        ViewReader reader(*stream);
        ASSERT_TRUE(stream->start()) << logged();
        ASSERT_TRUE(eventually([&] { return delivered.emissions() >= 50; }));

        switch (row.ending) {
            case Ending::Stop:
                ASSERT_TRUE(stream->stop());
                break;
            case Ending::Close:
                ASSERT_TRUE(stream->close());
                break;
            case Ending::Destroy:
                reader.stop();
                stream.reset();
                break;
        }
        delivered.markStopped();
        // Frames keep coming for a while; none may get through.
        const std::uint64_t sent = sim->counters().framesSent;
        ASSERT_TRUE(sim->waitFor([&](const auto& c) { return c.framesSent >= sent + 300; }, 3s));
        EXPECT_EQ(delivered.lateEmissions(), 0u);

        if (row.ending == Ending::Stop) {
            delivered.markRunning();
            const std::uint64_t before = delivered.emissions();
            ASSERT_TRUE(stream->start()) << logged();
            EXPECT_TRUE(eventually([&] { return delivered.emissions() >= before + 50; }));
        }
        reader.stop();
        stream.reset();  // before the listener's state goes at the end of the round
    }
    sim->stopStreaming();
}

INSTANTIATE_TEST_SUITE_P(
    Endings, EndWhileStreaming,
    ::testing::Values(Row{"unicastStop", false, Ending::Stop}, Row{"unicastClose", false, Ending::Close},
                      Row{"unicastDestroy", false, Ending::Destroy}, Row{"multicastStop", true, Ending::Stop},
                      Row{"multicastClose", true, Ending::Close},
                      Row{"multicastDestroy", true, Ending::Destroy}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace Quorvane::FaultTesting
