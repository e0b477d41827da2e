// A recorded session, as the README tells a user to make one: tcpdump on the loopback interface
// records the simulator serving quorvane-host, `natnet-sim --replay` streams the file again, and a
// second quorvane-host must see the same instruments, poses and qualities as the first saw live.
// Capturing needs root (or the capture capabilities); without them the test is skipped, saying so.

#include "HostProcess.h"
#include "HostTestSupport.h"

#include "natnet/sim/Scenario.h"
#include "natnet/sim/Simulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

std::string findTcpdump()
{
    const char* const inherited = std::getenv("PATH");
    std::string path = inherited != nullptr ? inherited : "";
    path += ":/usr/sbin:/sbin";
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/tcpdump";
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

/// The ports of natnet-sim's first line ("... command port C data port D ..."); zeros before it.
std::pair<int, int> listeningPorts(const std::string& out)
{
    const std::string label = "command port ";
    const std::size_t at = out.find(label);
    if (at == std::string::npos) return {0, 0};
    std::istringstream words(out.substr(at + label.size()));
    int command = 0;
    std::string dataWord;
    std::string portWord;
    int data = 0;
    if (!(words >> command >> dataWord >> portWord >> data) || dataWord != "data" || portWord != "port") {
        return {0, 0};
    }
    return {command, data};
}

/// A private folder for the capture, removed with everything in it.
class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "record-replay-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

/// What a host printed: each instrument's name, and each pose line by instrument and timestamp
/// (the server's frame time, which a replay carries unchanged).
struct SeenSession
{
    std::map<std::string, std::string> names;  // id -> name
    std::map<std::pair<std::string, std::uint64_t>, nlohmann::json> poses;
};

SeenSession seen(const std::string& out)
{
    SeenSession session;
    for (const nlohmann::json& line : jsonLines(out)) {
        if (line.at("type") == "added") {
            session.names[line.at("id")] = line.at("name");
        } else if (line.at("type") == "pose") {
            const nlohmann::json kept = {
                {"name", line.at("name")}, {"pose", line.at("pose")}, {"quality", line.at("quality")}};
            session.poses[{line.at("id"), line.at("timestamp").get<std::uint64_t>()}] = kept;
        }
    }
    return session;
}

TEST(RecordReplayTest, AReplayedRecordingShowsWhatTheLiveSessionShowed)
{
    const std::string tcpdump = findTcpdump();
    if (tcpdump.empty()) {
        GTEST_SKIP() << "tcpdump is not installed (scripts/install-deps.sh installs it)";
    }
    TemporaryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string capture = folder.path() + "/session.pcap";

    NatNet::Sim::SimulatorConfig config;
    config.multicast = false;
    NatNet::Sim::Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const std::string commandPort = std::to_string(sim.commandPort());
    const std::string dataPort = std::to_string(sim.dataPort());

    // -U writes each packet as it comes, -Z root keeps the right to write into the private folder.
    HostProcess recorder(tcpdump, {"-i", "lo", "-n", "-U", "-Z", "root", "-w", capture,
                                   "udp port " + commandPort + " or udp port " + dataPort});
    ASSERT_TRUE(recorder.started());
    const bool listening = recorder.waitForError(
        [](const std::string& err) { return err.find("listening on") != std::string::npos; }, 10s);
    if (!listening) {
        const HostProcess::Result failed = recorder.finish(5s);
        const bool denied = failed.err.find("ermission") != std::string::npos ||
                            failed.err.find("not permitted") != std::string::npos;
        if (denied || ::geteuid() != 0) {
            GTEST_SKIP() << "tcpdump cannot capture on the loopback interface here (needs root or "
                            "CAP_NET_RAW): "
                         << failed.err;
        }
        FAIL() << "tcpdump did not start: " << failed.err;
    }

    // Live: the simulator streams to the host, tcpdump records both ports.
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 3;
    scenario.rateHz = 100.0;
    scenario.units = NatNet::Sim::Units::Metres;
    scenario.durationSeconds = 30.0;  // bounded even if the test goes wrong
    ASSERT_TRUE(sim.startStreaming(scenario));
    // Six seconds of session: the replay's host, a process started after the replay, has most
    // of that to join, however slowly a busy machine starts it.
    HostProcess liveHost(
        HostProcess::buildProgram("quorvane-host"),
        connectTo(sim) + std::vector<std::string>{"--json", "--frames", "600", "--duration", "20"});
    const HostProcess::Result live = liveHost.finish(30s);
    sim.stop();
    recorder.sendSignal(SIGINT);  // tcpdump flushes the file and ends
    const HostProcess::Result recorded = recorder.finish(10s);
    ASSERT_FALSE(live.timedOut) << live.err;
    ASSERT_EQ(live.exitCode, 0) << live.err;
    ASSERT_FALSE(recorded.timedOut) << recorded.err;
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;

    // Replay: natnet-sim serves the recording on new ports, a second host connects.
    HostProcess replayer(
        HostProcess::buildProgram("natnet-sim"),
        {"--replay", capture, "--replay-ports", commandPort, dataPort, "--unicast", "--local-address",
         "127.0.0.1", "--command-port", "0", "--data-port", "0", "--quiet"});
    std::pair<int, int> ports{0, 0};
    ASSERT_TRUE(replayer.waitForOutput(
        [&](const std::string& out) {
            ports = listeningPorts(out);
            return ports.first > 0;
        },
        10s))
        << "natnet-sim did not start: " << replayer.finish(5s).err;
    HostProcess replayHost(
        HostProcess::buildProgram("quorvane-host"),
        connectTo(ports.first, ports.second) + std::vector<std::string>{"--json", "--duration", "30"});
    // The replay ends by itself after one pass of the file; then the host is stopped.
    const HostProcess::Result replayed = replayer.finish(30s);
    replayHost.sendSignal(SIGTERM);
    const HostProcess::Result replay = replayHost.finish(20s);
    ASSERT_FALSE(replayed.timedOut) << replayed.err;
    ASSERT_EQ(replayed.exitCode, 0) << replayed.out << replayed.err;
    ASSERT_FALSE(replay.timedOut) << replay.err;
    ASSERT_EQ(replay.exitCode, 0) << replay.err;

    const SeenSession before = seen(live.out);
    const SeenSession after = seen(replay.out);
    ASSERT_EQ(before.names.size(), 3u) << live.out;
    EXPECT_EQ(after.names, before.names);
    // The replay's host joins a little after the file starts: it sees a stretch of the session,
    // and every pose in that stretch is the one the live host saw.
    std::size_t common = 0;
    for (const auto& [key, pose] : after.poses) {
        const auto found = before.poses.find(key);
        if (found == before.poses.end()) {
            continue;
        }
        ++common;
        EXPECT_EQ(pose, found->second) << key.first << " at " << key.second;
    }
    RecordProperty("commonPoses", static_cast<int>(common));
    EXPECT_GE(common, 3u * 50u) << "live poses " << before.poses.size() << ", replayed "
                                << after.poses.size();
}

}  // namespace
}  // namespace Quorvane::Testing
