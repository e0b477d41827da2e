// quorvane-host with names from the server that are not clean text: bytes that are not UTF-8
// (a Latin-1 "é") and control characters (an escape sequence, a carriage return). Neither may
// break the JSON Lines nor reach the terminal raw through the live table.

#include "FrameFeeder.h"
#include "HostProcess.h"
#include "HostTestSupport.h"

#include "natnet/sim/Simulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

const std::string kLatin1Name = "Sond\xE9";        // "Sondé" in Latin-1: not UTF-8
const std::string kControlName = "Esc\x1b[2J\rX";  // clears the screen, returns the cursor

class QuorvaneHostNamesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_sim.start()); }

    NatNet::Sim::Simulator m_sim;
};

TEST_F(QuorvaneHostNamesTest, JsonLinesReplaceBytesThatAreNotUtf8AndEscapeControls)
{
    FrameFeeder feeder(m_sim, {kLatin1Name, kControlName});
    HostProcess host(
        HostProcess::buildProgram("quorvane-host"),
        connectTo(m_sim) + std::vector<std::string>{"--json", "--frames", "40", "--duration", "20"});
    const HostProcess::Result result = host.finish(30s);
    feeder.stop();
    ASSERT_FALSE(result.timedOut) << result.err;
    ASSERT_EQ(result.exitCode, 0) << result.err;

    std::vector<nlohmann::json> lines;
    ASSERT_NO_THROW(lines = jsonLines(result.out)) << result.out;
    ASSERT_FALSE(lines.empty());
    std::map<std::string, std::string> names;
    for (const nlohmann::json& line : lines) {
        if (line.at("type") == "added") {
            names[line.at("id")] = line.at("name");
        }
    }
    EXPECT_EQ(names["optitrack-1"], "Sond\xEF\xBF\xBD") << "U+FFFD for the Latin-1 byte";
    EXPECT_EQ(names["optitrack-2"], kControlName) << "JSON escapes controls itself";
    const nlohmann::json& summary = lines.back();
    ASSERT_EQ(summary.at("type"), "summary");
    EXPECT_EQ(summary.at("frames"), 40);
    ASSERT_EQ(summary.at("instruments").size(), 2u);
    EXPECT_EQ(summary.at("instruments")[0].at("name"), "Sond\xEF\xBF\xBD");
    EXPECT_EQ(result.err.find("failed"), std::string::npos) << result.err;
}

TEST_F(QuorvaneHostNamesTest, LiveTableShowsControlCharactersEscaped)
{
    FrameFeeder feeder(m_sim, {kLatin1Name, kControlName});
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     connectTo(m_sim) + std::vector<std::string>{"--frames", "40", "--duration", "20"});
    const HostProcess::Result result = host.finish(30s);
    feeder.stop();
    ASSERT_FALSE(result.timedOut) << result.err;
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << "no raw escape on stdout";
    EXPECT_EQ(result.out.find('\r'), std::string::npos) << "no raw carriage return on stdout";
    EXPECT_NE(result.out.find("Esc\\x1B[2J\\x0DX"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Sond\\xE9"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace Quorvane::Testing
