// quorvane-host end to end: the program (a separate process) loads the built module with the
// host's plugin loader and runs the OptiTrack stream against a NatNet simulator in this
// process, on loopback with ephemeral ports.

#include "HostProcess.h"
#include "HostTestSupport.h"

#include "natnet/sim/Scenario.h"
#include "natnet/sim/Simulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <map>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

class QuorvaneHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start());
        m_scenario.rigidBodies = 3;
        m_scenario.rateHz = 120.0;
        m_scenario.units = NatNet::Sim::Units::Metres;
        m_scenario.durationSeconds = 30.0;  // bounded even if a test goes wrong
    }

    NatNet::Sim::Simulator m_sim;
    NatNet::Sim::ScenarioConfig m_scenario;
};

TEST_F(QuorvaneHostTest, JsonAnnouncesEachInstrumentBeforeItsPosesInMillimetres)
{
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));
    HostProcess host(
        HostProcess::buildProgram("quorvane-host"),
        connectTo(m_sim) + std::vector<std::string>{"--json", "--frames", "60", "--duration", "20"});
    const HostProcess::Result result = host.finish(30s);
    ASSERT_FALSE(result.timedOut) << result.err;
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::vector<nlohmann::json> lines = jsonLines(result.out);
    ASSERT_FALSE(lines.empty());
    NatNet::Sim::Scenario truth(m_scenario);
    std::map<std::string, std::string> added;  // id -> name
    std::map<std::string, int> poses;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const nlohmann::json& line = lines[i];
        const std::string id = line.at("id");
        if (line.at("type") == "added") {
            EXPECT_EQ(poses.count(id), 0u) << id << " was announced after a pose";
            added[id] = line.at("name");
            continue;
        }
        ASSERT_EQ(line.at("type"), "pose");
        ASSERT_EQ(added.count(id), 1u) << id << " has a pose before it was announced";
        ++poses[id];

        const std::vector<double> m = line.at("pose");
        ASSERT_EQ(m.size(), 16u);
        EXPECT_DOUBLE_EQ(m[3], 0.0);  // last row, column-major
        EXPECT_DOUBLE_EQ(m[7], 0.0);
        EXPECT_DOUBLE_EQ(m[11], 0.0);
        EXPECT_DOUBLE_EQ(m[15], 1.0);
        EXPECT_GT(line.at("quality").get<double>(), 0.0);

        // The body's position at the frame's time, from metres to millimetres. The timestamp
        // is cut to whole milliseconds, in which a body moves well under a millimetre.
        const int body = std::stoi(id.substr(std::string("optitrack-").size())) - 1;
        const double seconds = line.at("timestamp").get<double>() / 1000.0;
        const sRigidBodyData expected = truth.pose(body, seconds);
        EXPECT_NEAR(m[12], expected.x * 1000.0, 2.0) << id << " x";
        EXPECT_NEAR(m[13], expected.y * 1000.0, 2.0) << id << " y";
        EXPECT_NEAR(m[14], expected.z * 1000.0, 2.0) << id << " z";
    }

    const std::map<std::string, std::string> names = {{"optitrack-1", NatNet::Sim::Scenario::bodyName(0)},
                                                      {"optitrack-2", NatNet::Sim::Scenario::bodyName(1)},
                                                      {"optitrack-3", NatNet::Sim::Scenario::bodyName(2)}};
    EXPECT_EQ(added, names);
    const nlohmann::json& summary = lines.back();
    ASSERT_EQ(summary.at("type"), "summary");
    EXPECT_EQ(summary.at("frames"), 60);
    EXPECT_EQ(summary.at("framesDropped"), 0);
    ASSERT_EQ(summary.at("instruments").size(), 3u);
    for (const auto& [id, count] : poses) {
        EXPECT_GE(count, 50) << id << ": one pose per frame, bar the first frames before the listener";
    }
}

TEST_F(QuorvaneHostTest, TerminationSignalEndsTheRunCleanlyWithASummary)
{
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--json"});
    ASSERT_TRUE(host.waitForOutput(
        [](const std::string& out) { return out.find("\"pose\"") != std::string::npos; }, 20s))
        << "no pose arrived";
    host.sendSignal(SIGTERM);
    const HostProcess::Result result = host.finish(20s);
    ASSERT_FALSE(result.timedOut) << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<nlohmann::json> lines = jsonLines(result.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().at("type"), "summary");
    EXPECT_GT(lines.back().at("frames").get<int>(), 0);
    EXPECT_NE(result.err.find("Unloaded plugin Quorvane.OptiTrack"), std::string::npos) << result.err;
}

TEST_F(QuorvaneHostTest, LiveTableWithoutTerminalPrintsTablesAndSummary)
{
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--duration", "2.5"});
    const HostProcess::Result result = host.finish(30s);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("\x1b["), std::string::npos) << "no cursor codes into a pipe";
    EXPECT_NE(result.out.find("x mm"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(NatNet::Sim::Scenario::bodyName(2)), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Summary: "), std::string::npos) << result.out;
}

TEST_F(QuorvaneHostTest, ServerThatDoesNotAnswerMeansStatusOneAndExitOne)
{
    m_sim.setSilent(true);
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--json"});
    const HostProcess::Result result = host.finish(30s);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Unable to connect to server."), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("could not start its stream (status 1)"), std::string::npos) << result.err;
    const std::string hint =
        "quorvane-host: no stream from 127.0.0.1; run: natnet-doctor --server 127.0.0.1 "
        "--local 127.0.0.1 --mode unicast --command-port " +
        std::to_string(m_sim.commandPort()) + " --data-port " + std::to_string(m_sim.dataPort()) + "\n";
    EXPECT_NE(result.err.find(hint), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(QuorvaneHostTest, NatNetLibraryReasonsAppearInTheHostLog)
{
    // 192.0.2.1 (TEST-NET-1) is no address of this machine: binding to it fails at once, locally,
    // and the library says why through its log callback.
    std::vector<std::string> arguments = connectTo(m_sim);
    std::replace(arguments.begin(), arguments.end(), std::string("localAddress=127.0.0.1"),
                 std::string("localAddress=192.0.2.1"));
    HostProcess host(HostProcess::buildProgram("quorvane-host"), arguments);
    const HostProcess::Result result = host.finish(30s);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("ERROR [NatNet] NatNet: cannot open the command socket on 192.0.2.1"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("Unable to connect to server.  Error code: 3"), std::string::npos)
        << result.err;
}

TEST(QuorvaneHostUsage, ListShowsTheModuleAlgorithmByDisplayPath)
{
    HostProcess host(HostProcess::buildProgram("quorvane-host"), {"--list"});
    const HostProcess::Result result = host.finish(20s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("IO;OptiTrack;OptiTrack Duo/Trio\tOptiTrack.OptiTrackStream\n"),
              std::string::npos)
        << result.out;
}

TEST(QuorvaneHostUsage, PluginPathThatLoadsNothingEndsWithOne)
{
    HostProcess host(HostProcess::buildProgram("quorvane-host"), {"--plugins", "/nonexistent", "--list"});
    const HostProcess::Result result = host.finish(20s);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("no plugin loaded from /nonexistent"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << "nothing is listed from a half-loaded set";
}

}  // namespace
}  // namespace Quorvane::Testing
