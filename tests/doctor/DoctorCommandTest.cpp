// natnet-doctor's command line: usage errors, --help, the JSON lines and
// their exit status, and --discover with NATNET_DISCOVERY_TARGETS.
#include "DoctorCommand.h"
#include "DoctorTestSupport.h"
#include "Verdict.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CommandRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

CommandRun runDoctor(std::vector<std::string> args)
{
    args.insert(args.begin(), "natnet-doctor");
    std::vector<const char*> argv;
    for (const auto& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out;
    std::ostringstream err;
    CommandRun run;
    run.exitCode = NatNet::Doctor::runDoctorCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::vector<nlohmann::json> jsonLines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST(DoctorCommand, RefusedCommandLinesExitTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--server", "motive.local"},
        {"--server", "239.255.42.99"},
        {"--server", "127.0.0.1", "--discover"},
        {"--server", "127.0.0.1", "--mode", "broadcast"},
        {"--server", "127.0.0.1", "--mode", "1"},
        {"--server", "127.0.0.1", "--command-port", "70000"},
        {"--server", "127.0.0.1", "--data-port", "0"},
        {"--server", "127.0.0.1", "--seconds", "nan"},
        {"--server", "127.0.0.1", "--seconds", "0"},
        {"--server", "127.0.0.1", "--local", "eth0"},
        {"--server", "127.0.0.1", "--multicast-address", "10.0.0.1"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& arg : args) joined += arg + " ";
        SCOPED_TRACE(joined);
        const CommandRun run = runDoctor(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_FALSE(run.err.empty());
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST(DoctorCommand, HelpListsEveryVerdict)
{
    const CommandRun run = runDoctor({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* id : {"ok", "no-local-interface", "no-route", "server-silent", "mode-mismatch",
                           "no-frames", "multicast-not-received", "no-rigid-bodies", "frames-lost"}) {
        ASSERT_TRUE(NatNet::Doctor::verdictFromId(id).has_value()) << id;
        EXPECT_NE(run.out.find(std::string("  ") + id + " "), std::string::npos) << id;
    }
}

TEST(DoctorCommand, JsonLinesEndWithTheVerdictAndTheHostCommand)
{
    DoctorTest::SimulatedServer server;
    ASSERT_TRUE(server.start(false));
    const std::string commandPort = std::to_string(server.sim->commandPort());
    const CommandRun ok =
        runDoctor({"--server", "127.0.0.1", "--command-port", commandPort, "--seconds", "1", "--json"});
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    const auto lines = jsonLines(ok.out);
    ASSERT_GE(lines.size(), 2u);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const auto& line = lines[i];
        EXPECT_EQ(line.size(), 5u) << line.dump();
        EXPECT_TRUE(line["check"].is_string() && line["ok"].is_boolean() && line["detail"].is_string());
        EXPECT_TRUE(line["cause"].is_null() && line["fix"].is_null()) << line.dump();
    }
    const auto& verdict = lines.back();
    EXPECT_EQ(verdict.size(), 2u) << verdict.dump();
    EXPECT_EQ(verdict["verdict"], "ok");
    EXPECT_EQ(verdict["command"],
              "quorvane-host --run OptiTrack.OptiTrackStream --set connectionType=unicast --set "
              "serverAddress=127.0.0.1 --set localAddress=127.0.0.1 --set commandPort=" +
                  commandPort + " --set dataPort=" + std::to_string(server.sim->dataPort()));

    const CommandRun mismatch = runDoctor({"--server", "127.0.0.1", "--command-port", commandPort, "--mode",
                                           "multicast", "--seconds", "1", "--json"});
    EXPECT_EQ(mismatch.exitCode, 1);
    const auto failed = jsonLines(mismatch.out);
    ASSERT_GE(failed.size(), 2u);
    const auto& mode = failed[failed.size() - 2];
    EXPECT_EQ(mode["check"], "mode");
    EXPECT_EQ(mode["ok"], false);
    EXPECT_EQ(mode["cause"], "mode-mismatch");
    EXPECT_TRUE(mode["fix"].is_string());
    EXPECT_EQ(failed.back()["verdict"], "mode-mismatch");
}

TEST(DoctorCommand, DiscoverExaminesTheServersThatAnswer)
{
    DoctorTest::SimulatedServer server;
    ASSERT_TRUE(server.start(false));
    const std::string target = "127.0.0.1:" + std::to_string(server.sim->commandPort());
    ASSERT_EQ(setenv("NATNET_DISCOVERY_TARGETS", target.c_str(), 1), 0);
    const CommandRun run = runDoctor({"--discover", "--seconds", "1", "--json"});
    unsetenv("NATNET_DISCOVERY_TARGETS");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["verdict"], "ok");
    EXPECT_EQ(lines.back()["server"], "127.0.0.1");
}

}  // namespace
