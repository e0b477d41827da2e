// quorvane-host against a fast server (20 kHz) when its stdout does not keep up: a pipe nobody
// reads must neither grow the program's memory nor hold it past --duration, and frames that
// could not be shown are counted in the summary.

#include "HostProcess.h"
#include "HostTestSupport.h"

#include "natnet/sim/Scenario.h"
#include "natnet/sim/Simulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_THREAD__)
// Under the thread sanitizer a unicast host falls behind 20 kHz: its connect's answers then wait
// behind the frames in the socket and the start fails, as it must. 10 kHz still floods the output.
constexpr double kRateHz = 10000.0;
#else
constexpr double kRateHz = 20000.0;
#endif

/// The stream logs this when the first frame made an instrument: the connect step is over and the
/// host shows frames, its --duration running. (The units line comes before the description
/// request, which a loaded machine may retry for a second: timed from there, the run looked late.)
bool streaming(const std::string& err)
{
    return err.find("Created tracking instrument") != std::string::npos;
}

class QuorvaneHostOutputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start());
        m_scenario.rigidBodies = 3;
        m_scenario.rateHz = kRateHz;
        m_scenario.markers = false;
        m_scenario.durationSeconds = 30.0;  // bounded even if a test goes wrong
        ASSERT_TRUE(m_sim.startStreaming(m_scenario));
    }

    /// The child's sanitizer settings: in an ASan build freed memory waits in a quarantine of
    /// 256 MB before it is reused, which would hide whether the program's own memory is bounded;
    /// a TSan build sleeps a second at exit, which is not the program's time.
    static std::vector<std::string> sanitizerOptions()
    {
        const auto extended = [](const char* name, const std::string& more) {
            const char* given = std::getenv(name);
            const std::string options = given != nullptr ? given : "";
            return std::string(name) + "=" + options + (options.empty() ? "" : ":") + more;
        };
        return {extended("ASAN_OPTIONS", "quarantine_size_mb=8"),
                extended("TSAN_OPTIONS", "atexit_sleep_ms=0")};
    }

    NatNet::Sim::Simulator m_sim;
    NatNet::Sim::ScenarioConfig m_scenario;
};

TEST_F(QuorvaneHostOutputTest, StdoutThatNobodyReadsEndsWithinASecondOfDurationInBoundedMemory)
{
    constexpr double kDurationS = 4.0;
    HostProcess::Options options;
    options.leaveStdoutUnread = true;
    options.environment = sanitizerOptions();
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--json", "--duration", "4"}, options);
    ASSERT_TRUE(host.waitForError(streaming, 20s)) << "not streaming";
    const Clock::time_point watching = Clock::now();

    // Resident memory once the output has backed up (after a second), and the most after that.
    long settled = -1;
    long peak = -1;
    const auto never = [](const std::string&) { return false; };
    while (Clock::now() - watching < 15s) {
        const long now = host.residentKiB();
        if (now < 0) {
            break;  // exited
        }
        if (Clock::now() - watching >= 1s) {
            settled = settled < 0 ? now : settled;
            peak = std::max(peak, now);
        }
        host.waitForError(never, 50ms);
    }
    const HostProcess::Result result = host.finish(20s);
    const double ranS = std::chrono::duration<double>(Clock::now() - watching).count();
    ASSERT_FALSE(result.timedOut) << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_LT(ranS, kDurationS + 1.0) << "--duration holds whatever stdout does";
    ASSERT_GT(settled, 0);
    // The frame queue and the output buffer hold a few MB at most; growing without bound was
    // some 30 MB a second.
    EXPECT_LT(peak - settled, 24 * 1024) << "KiB grown after the first second: " << peak - settled;
    EXPECT_NE(result.err.find("bytes of output were not written"), std::string::npos) << result.err;
}

TEST_F(QuorvaneHostOutputTest, FramesThatAReaderTooSlowCouldNotSeeAreCountedInTheSummary)
{
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--json", "--duration", "5"});
    ASSERT_TRUE(host.waitForError(streaming, 20s)) << "not streaming";
    // The reader stalls while the server sends three seconds of frames, more than the host can
    // hold for it.
    const std::uint64_t sentBefore = m_sim.counters().framesSent;
    const auto threeSeconds = static_cast<std::uint64_t>(3 * kRateHz);
    ASSERT_TRUE(m_sim.waitFor([&](const auto& c) { return c.framesSent >= sentBefore + threeSeconds; }, 20s));
    const HostProcess::Result result = host.finish(30s);
    ASSERT_FALSE(result.timedOut) << result.err;
    ASSERT_EQ(result.exitCode, 0) << result.err;

    std::vector<nlohmann::json> lines;
    ASSERT_NO_THROW(lines = jsonLines(result.out));
    ASSERT_FALSE(lines.empty());
    const nlohmann::json& summary = lines.back();
    ASSERT_EQ(summary.at("type"), "summary") << summary.dump();
    const auto frames = summary.at("frames").get<std::uint64_t>();
    const auto dropped = summary.at("framesDropped").get<std::uint64_t>();
    EXPECT_GT(dropped, 0u) << summary.dump();
    EXPECT_LT(dropped, frames) << summary.dump();
}

}  // namespace
}  // namespace Quorvane::Testing
