// The viewer's --help and usage errors as a user meets them on a machine without a display
// (over ssh, in a container): they answer and exit, they do not abort for want of an X server.

#include "HostProcess.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

struct CommandLineCase
{
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    const char* expectedText;  // in the output the user reads
};

void PrintTo(const CommandLineCase& c, std::ostream* out)
{
    *out << c.name;
}

class ViewerCommandLineTest : public ::testing::TestWithParam<CommandLineCase>
{
};

TEST_P(ViewerCommandLineTest, AnswersWithoutADisplay)
{
    const CommandLineCase& c = GetParam();
    HostProcess::Options noDisplay;
    noDisplay.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    HostProcess viewer(HostProcess::buildProgram("quorvane-viewer"), c.arguments, noDisplay);
    ASSERT_TRUE(viewer.started()) << HostProcess::buildProgram("quorvane-viewer");
    const HostProcess::Result result = viewer.finish(30s);
    const std::string output = result.out + result.err;
    ASSERT_FALSE(result.timedOut) << output;
    ASSERT_EQ(result.termSignal, 0) << output;
    EXPECT_EQ(result.exitCode, c.exitCode) << output;
    EXPECT_NE(output.find(c.expectedText), std::string::npos) << output;
    EXPECT_EQ(output.find("could not connect to display"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, ViewerCommandLineTest,
    ::testing::Values(CommandLineCase{"Help", {"--help"}, 0, "--range-mm"},
                      CommandLineCase{"UnknownOption", {"--no-such-option"}, 2, "--no-such-option"},
                      CommandLineCase{"ValueOutOfRange", {"--range-mm", "0"}, 2, "--range-mm"},
                      CommandLineCase{"ExclusiveFlags", {"--unicast", "--multicast"}, 2, "--multicast"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& caseInfo) {
        return std::string(caseInfo.param.name);
    });

}  // namespace
}  // namespace Quorvane::Testing
