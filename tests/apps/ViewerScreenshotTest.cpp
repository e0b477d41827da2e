// The viewer as a user runs it: a real window under Xvfb, fed by the in-process simulator on
// loopback, connected by its own --connect (in multicast through discovery, as a user picks the
// server from the list). Its screenshot is kept under the build folder's artifacts/, and the
// test checks that the view really drew the streamed bodies where their known paths put them,
// each with its x axis as an orange line pointing where its known orientation turns it.

#include "HostProcess.h"

#include <natnet/sim/Scenario.h>
#include <natnet/sim/Simulator.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

constexpr double kRangeMm = 600.0;

bool isAxisColour(const QColor& colour)
{
    return colour.red() > 200 && colour.red() > colour.green() + 50 && colour.blue() < 120;
}

/// The pixel that holds the point: pixel (i, j) covers [i, i + 1) x [j, j + 1). Rounding would
/// pick a neighbour up to a pixel's diagonal away, which the 3 px axis may only partly cover, and
/// the antialiased edge then mixes in whatever lies beneath (such as the green name label).
QPoint pixel(double x, double y)
{
    return {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))};
}

/// The scenario turns each body about the vertical axis so that its x axis points away from that
/// axis, along (x, z): seen from above, outwards from the centre. The sidecar and the picture
/// must have the orange line there, from the rim of the dot at `dot`, and not behind it.
void expectAxisOutwards(const nlohmann::json& instrument, const QImage& image, QPointF dot, double x,
                        double z)
{
    ASSERT_TRUE(instrument.contains("axis"));
    const QPointF from(instrument["axis"]["from"][0].get<double>(),
                       instrument["axis"]["from"][1].get<double>());
    const QPointF to(instrument["axis"]["to"][0].get<double>(), instrument["axis"]["to"][1].get<double>());
    const double radius = std::hypot(x, z);
    const QPointF outwards(x / radius, -z / radius);
    const QPointF along = to - from;
    const double length = std::hypot(along.x(), along.y());
    EXPECT_NEAR(length, 24.0, 0.5) << "an axis in the view's plane is drawn full length";
    // The overlay reads the stream just after the view drew the dot, and a frame or two may come
    // in between: the bodies turn 0.6 degrees (0.01 in each component) a frame.
    EXPECT_NEAR(along.x() / length, outwards.x(), 0.05);
    EXPECT_NEAR(along.y() / length, outwards.y(), 0.05);
    EXPECT_NEAR(from.x(), dot.x() + 6.0 * outwards.x(), 0.5) << "from the rim of the dot";
    EXPECT_NEAR(from.y(), dot.y() + 6.0 * outwards.y(), 0.5);
    for (const double t : {0.3, 0.6, 0.9}) {
        const QPointF at = from + along * t;
        const QColor line = image.pixelColor(pixel(at.x(), at.y()));
        EXPECT_TRUE(isAxisColour(line)) << t << " line colour " << line.name().toStdString();
    }
    const QPointF back = dot - outwards * 18.0;
    const QColor behind = image.pixelColor(pixel(back.x(), back.y()));
    EXPECT_FALSE(isAxisColour(behind)) << "line colour behind the dot " << behind.name().toStdString();
}

class ViewerScreenshotTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(ViewerScreenshotTest, DrawsTheStreamedBodiesWhereTheirPathsPutThem)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        GTEST_SKIP() << "xvfb-run is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string binaryDir = environment("QUORVANE_BINARY_DIR");
    const std::string viewer = binaryDir + "/bin/quorvane-viewer";
    ASSERT_FALSE(binaryDir.empty());
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(viewer))) << viewer;

    NatNet::Sim::SimulatorConfig config;
    const bool multicast = GetParam();
    const QString mode = multicast ? QStringLiteral("multicast") : QStringLiteral("unicast");
    config.multicast = multicast;
    config.multicastTtl = 0;
    NatNet::Sim::Simulator simulator(config);
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 3;
    scenario.rateHz = 120.0;
    scenario.durationSeconds = 60.0;  // ends by itself should the test be cut short
    ASSERT_TRUE(simulator.startStreaming(scenario));

    QTemporaryDir settings;
    ASSERT_TRUE(settings.isValid());
    const QString artifacts = QString::fromStdString(binaryDir) + QStringLiteral("/artifacts");
    ASSERT_TRUE(QDir().mkpath(artifacts));
    const QString png = artifacts + QStringLiteral("/viewer-%1.png").arg(mode);
    const QString json = artifacts + QStringLiteral("/viewer-%1.json").arg(mode);
    QFile::remove(png);
    QFile::remove(json);

    const std::string commandPort = std::to_string(simulator.commandPort());
    // xvfb-run -a searches upwards from a display number; two runs started at once (the
    // other mode, another suite) can both take the first free one and one Xvfb then fails.
    // Starting each search from a number of its own keeps them apart.
    const std::string firstDisplay = std::to_string(100 + QCoreApplication::applicationPid() % 800);
    const std::vector<std::string> arguments = {"-a",
                                                "-n",
                                                firstDisplay,
                                                "--server-args=-screen 0 1280x800x24",
                                                viewer,
                                                "--plugins",
                                                environment("QUORVANE_PLUGIN_DIR"),
                                                "--server",
                                                "127.0.0.1",
                                                "--command-port",
                                                commandPort,
                                                "--data-port",
                                                std::to_string(simulator.dataPort()),
                                                "--" + mode.toStdString(),
                                                "--connect",
                                                "--discovery-targets",
                                                "127.0.0.1:" + commandPort,
                                                "--settings-dir",
                                                settings.path().toStdString(),
                                                "--range-mm",
                                                QString::number(kRangeMm).toStdString(),
                                                "--screenshot",
                                                png.toStdString(),
                                                "--after",
                                                "4"};
    HostProcess::Options realDisplay;
    realDisplay.unset = {"QT_QPA_PLATFORM", "NATNET_DISCOVERY_TARGETS"};  // a real X display this time
    HostProcess process(xvfbRun.toStdString(), arguments, realDisplay);
    ASSERT_TRUE(process.started()) << xvfbRun.toStdString();
    const HostProcess::Result result = process.finish(90s);
    const std::string output = result.out + result.err;
    simulator.stopStreaming();
    ASSERT_FALSE(result.timedOut) << output;
    ASSERT_TRUE(result.termSignal == 0 && result.exitCode == 0) << output;

    const QImage image(png);
    ASSERT_FALSE(image.isNull()) << png.toStdString();
    std::ifstream sidecar(json.toStdString());
    ASSERT_TRUE(sidecar.good()) << json.toStdString();
    const nlohmann::json drawn = nlohmann::json::parse(sidecar);
    const double viewWidth = drawn["view"]["width"].get<double>();
    const double viewHeight = drawn["view"]["height"].get<double>();
    const double centreX = drawn["view"]["x"].get<double>() + 0.5 * viewWidth;
    const double centreY = drawn["view"]["y"].get<double>() + 0.5 * viewHeight;
    const double pixelsPerMm = 0.5 * std::min(viewWidth, viewHeight) / kRangeMm;

    const auto& instruments = drawn["instruments"];
    ASSERT_EQ(instruments.size(), 3u) << drawn.dump(2);
    for (int i = 0; i < 3; ++i) {
        const nlohmann::json& instrument = instruments[static_cast<std::size_t>(i)];
        SCOPED_TRACE(instrument.dump());
        EXPECT_EQ(instrument["identifier"], "optitrack-" + std::to_string(i + 1));
        EXPECT_EQ(instrument["name"], NatNet::Sim::Scenario::bodyName(i));
        EXPECT_TRUE(instrument["tracked"].get<bool>());

        // The scenario's body i circles the vertical axis at 0.3 m + 0.05 m * i, 1.2 m +- 0.1 m
        // high; the server speaks metres, the stream millimetres.
        const double x = instrument["positionMm"][0].get<double>();
        const double y = instrument["positionMm"][1].get<double>();
        const double z = instrument["positionMm"][2].get<double>();
        EXPECT_NEAR(std::hypot(x, z), 300.0 + 50.0 * i, 2.0);
        EXPECT_NEAR(y, 1200.0, 101.0);

        // Seen from above: x to the right, z up, around the view's centre.
        const double px = instrument["x"].get<double>();
        const double py = instrument["y"].get<double>();
        EXPECT_NEAR(px, centreX + x * pixelsPerMm, 0.5);
        EXPECT_NEAR(py, centreY - z * pixelsPerMm, 0.5);

        // And the picture has the body's filled green dot there.
        const QColor dot = image.pixelColor(pixel(px, py));
        EXPECT_GT(dot.green(), dot.red() + 60) << "dot colour " << dot.name().toStdString();
        EXPECT_GT(dot.green(), 150);

        expectAxisOutwards(instrument, image, QPointF(px, py), x, z);
    }
}

INSTANTIATE_TEST_SUITE_P(Connections, ViewerScreenshotTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return mode.param ? "Multicast" : "Unicast";
                         });

}  // namespace
}  // namespace Quorvane::Testing
