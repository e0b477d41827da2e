// The viewer's --help and usage errors as a user meets them on a machine without a display
// (over ssh, in a container): they answer and exit, they do not abort for want of an X server.

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

namespace Quorvane {
namespace {

struct CommandLineCase
{
    const char* name;
    QStringList arguments;
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
    const char* binaryDir = std::getenv("QUORVANE_BINARY_DIR");
    ASSERT_NE(binaryDir, nullptr);
    const QString viewer = QString::fromUtf8(binaryDir) + QStringLiteral("/bin/quorvane-viewer");
    ASSERT_TRUE(QFileInfo::exists(viewer)) << viewer.toStdString();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(viewer, c.arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
    const bool finished = process.waitForFinished(30000);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    const std::string output = process.readAll().toStdString();
    ASSERT_TRUE(finished) << output;
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(process.exitCode(), c.exitCode) << output;
    EXPECT_NE(output.find(c.expectedText), std::string::npos) << output;
    EXPECT_EQ(output.find("could not connect to display"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, ViewerCommandLineTest,
    ::testing::Values(
        CommandLineCase{"Help", {QStringLiteral("--help")}, 0, "--range-mm"},
        CommandLineCase{"UnknownOption", {QStringLiteral("--no-such-option")}, 2, "--no-such-option"},
        CommandLineCase{
            "ValueOutOfRange", {QStringLiteral("--range-mm"), QStringLiteral("0")}, 2, "--range-mm"},
        CommandLineCase{"ExclusiveFlags",
                        {QStringLiteral("--unicast"), QStringLiteral("--multicast")},
                        2,
                        "--multicast"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& caseInfo) {
        return std::string(caseInfo.param.name);
    });

}  // namespace
}  // namespace Quorvane
