// Every program's command line: NaN, infinities, negative counts and values out of range, the
// host's unknown settings, keys and algorithms, and the viewer's bad options (without a display)
// are refused with exit code 2 and a message saying why; ordinary values pass.

#include "HostProcess.h"

#include <common/CommandLineChecks.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

/// A program of the build and its arguments.
struct Invocation
{
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> unset = {};  // environment variables the program does not get
};

/// `program` with the arguments `base`, then `more`.
Invocation withBase(const char* program, std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return {program, std::move(base)};
}

// Every option below would otherwise run: the simulator and the dump are bound to loopback with
// ephemeral ports, the host runs the stream with its default settings, and each row fails before
// anything starts.
Invocation sim(const std::vector<std::string>& more)
{
    return withBase(
        "natnet-sim",
        {"--local-address", "127.0.0.1", "--command-port", "0", "--data-port", "0", "--unicast", "--quiet"},
        more);
}
Invocation dump(const std::vector<std::string>& more)
{
    return withBase("natnet-dump", {"--listen", "0", "--interface", "127.0.0.1"}, more);
}
Invocation host(const std::vector<std::string>& more)
{
    return withBase("quorvane-host", {"--run", "OptiTrack.OptiTrackStream"}, more);
}
/// The viewer as a user meets it on a machine without a display (over ssh, in a container): it
/// answers and exits, it does not abort for want of an X server.
Invocation viewer(std::vector<std::string> arguments)
{
    return {"quorvane-viewer", std::move(arguments), {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}};
}

HostProcess::Result runToEnd(const Invocation& invocation)
{
    HostProcess::Options options;
    options.unset = invocation.unset;
    HostProcess process(HostProcess::buildProgram(invocation.program), invocation.arguments, options);
    return process.finish(30s);
}

const char* const kNoDisplay = "could not connect to display";

struct RefusedRow
{
    const char* name;
    Invocation invocation;
    const char* message;  // part of what stderr must say
};

void PrintTo(const RefusedRow& row, std::ostream* out)
{
    *out << row.name;
}

class RefusedCommandLines : public ::testing::TestWithParam<RefusedRow>
{
};

TEST_P(RefusedCommandLines, ExitWithTwoAndSayWhy)
{
    const RefusedRow& row = GetParam();
    const HostProcess::Result result = runToEnd(row.invocation);
    ASSERT_FALSE(result.timedOut) << "still running: " << result.out << result.err;
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(kNoDisplay), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedCommandLines,
    ::testing::Values(
        RefusedRow{"simRateNaN", sim({"--rate", "nan"}), "--rate: nan is not a finite number"},
        RefusedRow{"simRateInfinite", sim({"--rate", "inf"}), "--rate: inf is not a finite number"},
        RefusedRow{"simRateNegative", sim({"--rate", "-1"}), "--rate: -1 is not in [0.1, 100000]"},
        RefusedRow{"simDurationNaN", sim({"--duration", "nan"}), "--duration: nan"},
        RefusedRow{"simBodiesNegative", sim({"--rigid-bodies", "-1"}), "--rigid-bodies: -1"},
        RefusedRow{"simTtlTooLarge", sim({"--multicast-ttl", "256"}), "--multicast-ttl: 256"},
        RefusedRow{"simPortTooLarge", {"natnet-sim", {"--command-port", "70000"}}, "--command-port: 70000"},
        RefusedRow{"simLoopsNotANumber", sim({"--replay-loops", "2x"}), "--replay-loops: \"2x\""},
        RefusedRow{"simReplayPortZero", sim({"--replay-ports", "1510", "0"}),
                   "--replay-ports: 0 is not in [1, 65535]"},
        RefusedRow{"dumpSecondsNaN", dump({"--seconds", "nan"}), "--seconds: nan"},
        RefusedRow{"dumpSecondsNegative", dump({"--seconds", "-1"}), "--seconds: -1"},
        RefusedRow{"dumpCountNegative", dump({"--count", "-1"}), "--count: \"-1\""},
        RefusedRow{"dumpPortTooLarge", {"natnet-dump", {"--listen", "70000"}}, "--listen: 70000"},
        RefusedRow{
            "latencyRatesNaN", {"natnet-latency", {"--rates", "nan"}}, "--rates: nan is not a finite number"},
        RefusedRow{"latencySecondRateNaN", {"natnet-latency", {"--rates", "240,nan"}}, "--rates: nan"},
        RefusedRow{"latencyDurationNegative", {"natnet-latency", {"--durations", "-1"}}, "--durations: -1"},
        RefusedRow{"latencyWarmupInfinite", {"natnet-latency", {"--warmup", "inf"}}, "--warmup: inf"},
        RefusedRow{"latencyBodiesZero", {"natnet-latency", {"--rigid-bodies", "0"}}, "--rigid-bodies: 0"},
        RefusedRow{"hostDurationNaN", {"quorvane-host", {"--list", "--duration", "nan"}}, "--duration: nan"},
        RefusedRow{"hostFramesNegative", {"quorvane-host", {"--list", "--frames", "-1"}}, "--frames: \"-1\""},
        RefusedRow{"hostPortOutOfRange", host({"--set", "commandPort=70000"}),
                   "\"commandPort\" expects an unsigned short"},
        RefusedRow{"hostIntNotANumber", host({"--set", "connectionType=abc"}),
                   "\"connectionType\" expects an int"},
        RefusedRow{"hostUnknownKey", host({"--set", "server=127.0.0.2"}), "unknown key \"server\""},
        RefusedRow{"hostUnknownAlgorithm",
                   {"quorvane-host", {"--run", "OptiTrack.Nothing"}},
                   "no algorithm is registered as"},
        RefusedRow{"hostRunDurationNaN", host({"--duration", "nan"}),
                   "--duration: nan is not a finite number"},
        RefusedRow{"hostRunDurationInfinite", host({"--duration", "inf"}),
                   "--duration: inf is not a finite number"},
        RefusedRow{"hostRunDurationNegative", host({"--duration", "-1"}), "--duration: -1 is not in [0, "},
        RefusedRow{"hostRunFramesNegative", host({"--frames", "-1"}),
                   "--frames: \"-1\" is not a whole number"},
        RefusedRow{"hostLogLevelOutOfRange", host({"--log-level", "5"}), "--log-level: 5 is not in [0, 4]"},
        RefusedRow{"hostNothingToDo", {"quorvane-host", {}}, "nothing to do"},
        RefusedRow{"viewerUnknownOption", viewer({"--no-such-option"}), "--no-such-option"},
        RefusedRow{"viewerValueOutOfRange", viewer({"--range-mm", "0"}), "--range-mm"},
        RefusedRow{"viewerExclusiveFlags", viewer({"--unicast", "--multicast"}), "--multicast"}),
    [](const ::testing::TestParamInfo<RefusedRow>& row) { return std::string(row.param.name); });

TEST(AcceptedNumbers, OrdinaryValuesStillRun)
{
    const HostProcess::Result simResult =
        runToEnd(sim({"--rate", "1e3", "--duration", "0.3", "--rigid-bodies", "2"}));
    EXPECT_EQ(simResult.exitCode, 0) << simResult.err;
    EXPECT_NE(simResult.out.find("stopped (duration reached)"), std::string::npos) << simResult.out;

    const HostProcess::Result dumpResult = runToEnd(dump({"--seconds", "0.3", "--count", "5"}));
    EXPECT_FALSE(dumpResult.timedOut);
    EXPECT_EQ(dumpResult.exitCode, 0) << dumpResult.err;
}

TEST(ViewerCommandLine, HelpAnswersWithoutADisplay)
{
    const HostProcess::Result result = runToEnd(viewer({"--help"}));
    ASSERT_FALSE(result.timedOut) << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("--range-mm"), std::string::npos) << result.out;
    EXPECT_EQ((result.out + result.err).find(kNoDisplay), std::string::npos) << result.err;
}

// The check itself, where the value it hands on can be seen.
TEST(InRange, WholeNumbersArePlainDecimalsAndFloatingOnesFinite)
{
    struct Row
    {
        std::string text;
        bool accepted;
        std::int64_t value;
    };
    const Row integers[] = {{"10", true, 10},
                            {"010", false, 0},
                            {"0x10", false, 0},
                            {"-3", true, -3},
                            {"-4", false, 0},
                            {"101", false, 0},
                            {"", false, 0},
                            {"1.5", false, 0},
                            {" 5", false, 0},
                            {"+5", false, 0},
                            {"99999999999999999999", false, 0}};
    for (const Row& row : integers) {
        CLI::App app;
        int value = 0;
        app.add_option("--n", value)->check(CommandLine::inRange(-3, 100));
        const std::string argument = "--n=" + row.text;
        const char* argv[] = {"test", argument.c_str()};
        std::ostringstream out;
        std::ostringstream err;
        const int code = CommandLine::parse(app, 2, argv, out, err);
        EXPECT_EQ(code, row.accepted ? -1 : CommandLine::kUsageError)
            << "\"" << row.text << "\": " << err.str();
        if (row.accepted) {
            EXPECT_EQ(value, row.value) << row.text;
        }
    }

    const std::pair<std::string, bool> floating[] = {{"0.5", true},    {"1e3", true},   {"nan", false},
                                                     {"-nan", false},  {"inf", false},  {"-inf", false},
                                                     {"1e999", false}, {"-0.1", false}, {"1000.5", false}};
    for (const auto& [text, accepted] : floating) {
        CLI::App app;
        double value = 0.0;
        app.add_option("--x", value)->check(CommandLine::inRange(0.0, 1000.0));
        const std::string argument = "--x=" + text;
        const char* argv[] = {"test", argument.c_str()};
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(CommandLine::parse(app, 2, argv, out, err), accepted ? -1 : CommandLine::kUsageError)
            << text << ": " << err.str();
    }

    CLI::App app;
    std::uint64_t frames = 0;
    app.add_option("--frames", frames)->check(CommandLine::count<std::uint64_t>());
    const char* argv[] = {"test", "--frames", "18446744073709551615"};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLine::parse(app, 3, argv, out, err), -1) << err.str();
    EXPECT_EQ(frames, UINT64_MAX);
}

}  // namespace
}  // namespace Quorvane::Testing
