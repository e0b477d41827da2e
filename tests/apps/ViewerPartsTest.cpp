// Parts of the viewer that need no running program: the coalesced refresh, what the host view
// draws for trails and for an instrument that lost tracking, the orientation lines and column,
// the screenshot's record of names that are not UTF-8, and the command line's numbers.

#include "InstrumentRows.h"
#include "LogView.h"
#include "OrientationOverlay.h"
#include "ProcessEvents.h"
#include "Screenshot.h"
#include "ViewerOptions.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/RefreshCoalescer.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <Eigen/Geometry>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

using TestSupport::processEventsUntil;

TEST(RefreshCoalescer, AFloodFromAnotherThreadGivesAtMostTheRateAndEndsWithTheLastValue)
{
    std::atomic<int> latest{0};
    int shown = -1;
    RefreshCoalescer coalescer([&] { shown = latest.load(); }, 60);
    constexpr int kRequests = 50000;
    QElapsedTimer timer;
    timer.start();
    std::thread producer([&] {
        for (int i = 1; i <= kRequests; ++i) {
            latest.store(i);
            coalescer.request();
        }
    });
    processEventsUntil([&] { return shown == kRequests; }, std::chrono::seconds(20));
    producer.join();
    EXPECT_EQ(shown, kRequests) << "the last request is followed by a refresh";
    EXPECT_EQ(coalescer.requests(), static_cast<std::uint64_t>(kRequests));
    EXPECT_LE(coalescer.refreshes(), static_cast<std::uint64_t>(timer.elapsed() * 60 / 1000) + 2);
}

TEST(ViewerLog, TheDoctorHintFollowsTheStreamsConnectFailure)
{
    Viewer::LogView view;
    view.setStreamFailureHint(
        [] { return std::string("quorvane-viewer: no stream from 10.1.2.3; run: natnet-doctor"); });
    QUORVANE_LOG(4, "OptiTrackStream", "Unable to connect to server.  Error code: 3. Exiting");
    QUORVANE_LOG(4, "Viewer", "after the failure");
    processEventsUntil([&] { return view.toPlainText().contains(QStringLiteral("after the failure")); },
                       std::chrono::seconds(10));
    const QStringList lines = view.toPlainText().split(QLatin1Char('\n'));
    const int failure = lines.indexOf(QRegularExpression(QStringLiteral(".*Unable to connect to server.*")));
    ASSERT_GE(failure, 0) << view.toPlainText().toStdString();
    ASSERT_LT(failure + 1, lines.size());
    EXPECT_EQ(lines[failure + 1].toStdString(),
              "quorvane-viewer: no stream from 10.1.2.3; run: natnet-doctor");
    EXPECT_EQ(lines.filter(QStringLiteral("natnet-doctor")).size(), 1) << "only after the failure line";
}

class ViewTestStream : public TrackingStream
{
public:
    ViewTestStream() : TrackingStream("View test stream") {}
    ~ViewTestStream() override
    {
        announceDestruction();
        close();
    }
};

TEST(ViewDrawing, TrailsAndLostTrackingGreyedOutWhereLastTracked)
{
    ViewTestStream stream;
    stream.addInstrument(TrackerID("optitrack-1", "", "Probe"), true);
    DisplayWidgetMulti display;
    display.resize(400, 400);
    InteractiveView* view = display.view2D(0);
    view->setVisible(true);
    view->setHalfRangeMm(1000.0);  // grid lines every 500 mm: the points below stay off them
    view->setStream(&stream);
    view->setTrailLength(3);
    const QColor background(24, 26, 32);
    auto frame = [&](double x, double z, double quality) {
        Pose pose = Pose::Identity();  // a lost body's placeholder pose when quality is 0
        if (quality > 0) {
            pose(0, 3) = x;
            pose(2, 3) = z;
        }
        stream.updateInstrument("optitrack-1", pose, quality, 0, 0);
        return view->grab().toImage();  // one paint per frame, as the refresh gives
    };
    auto midpoint = [&](QPointF a, QPointF b) {
        return ((view->toWidget(a.x(), 0, a.y()) + view->toWidget(b.x(), 0, b.y())) / 2.0).toPoint();
    };
    const QPointF corners[] = {{-400, -300}, {300, -350}, {350, 300}, {-300, 350}};
    QImage image;
    for (const QPointF& corner : corners) {
        image = frame(corner.x(), corner.y(), 0.9);
    }
    EXPECT_NE(image.pixelColor(midpoint(corners[1], corners[2])), background) << "trail";
    EXPECT_NE(image.pixelColor(midpoint(corners[2], corners[3])), background) << "trail";
    EXPECT_EQ(image.pixelColor(midpoint(corners[0], corners[1])), background) << "older than the trail";
    EXPECT_EQ(image.pixelColor(view->toWidget(-300, 0, 350).toPoint()), QColor(80, 220, 120));

    view->setTrailLength(0);  // the trail ends in the dot; the ring's inside is looked at below
    image = frame(0, 0, 0.0);
    ASSERT_EQ(view->drawnInstruments().size(), 1u);
    const InteractiveView::DrawnInstrument& drawn = view->drawnInstruments()[0];
    EXPECT_FALSE(drawn.tracked);
    EXPECT_EQ(drawn.xMm, -300.0);
    EXPECT_EQ(drawn.zMm, 350.0);
    const QPointF last = view->toWidget(-300, 0, 350);
    EXPECT_EQ(image.pixelColor(last.toPoint()), background) << "hollow";
    const QColor ring = image.pixelColor((last + QPointF(5, 0)).toPoint());
    EXPECT_LT(std::abs(ring.green() - ring.red()), 16) << "grey";
    EXPECT_GT(ring.red(), 100);
    EXPECT_EQ(image.pixelColor((view->toWidget(0, 0, 0) + QPointF(3, 3)).toPoint()), background)
        << "not at the placeholder's origin";
}

/// A pose at (x, 0, z) mm turned `angleDeg` about `axis`.
Pose turned(double x, double z, const Eigen::Vector3d& axis, double angleDeg)
{
    Pose pose = Pose::Identity();
    pose.topLeftCorner<3, 3>() = Eigen::AngleAxisd(angleDeg * M_PI / 180.0, axis).toRotationMatrix();
    pose(0, 3) = x;
    pose(2, 3) = z;
    return pose;
}

TEST(OrientationOverlay, AxisLinesFollowTheViewsPlaneAndLeaveOutWhatShowsNoDirection)
{
    DisplayWidgetMulti display;
    display.resize(400, 400);
    InteractiveView* view = display.view2D(0);
    view->setVisible(true);
    view->setHalfRangeMm(1000.0);
    view->setPlane(InteractiveView::Plane::XZ);  // x to the right, z up
    const double length = Viewer::OrientationOverlay::kAxisLengthPx;
    const double rim = Viewer::OrientationOverlay::kDotRadiusPx;
    const QPointF dot(100.0, 200.0);
    struct Row
    {
        const char* name;
        Pose pose;
        std::optional<QPointF> direction;  // on screen, scaled by the in-plane part of the axis
    };
    const Eigen::Vector3d y = Eigen::Vector3d::UnitY();
    const std::vector<Row> rows = {
        {"AlongX", Pose::Identity(), QPointF(1, 0)},
        // A quarter turn about y takes x to -z: down on the screen.
        {"YawedTo-Z", turned(0, 0, y, 90), QPointF(0, 1)},
        {"YawedTo+Z", turned(0, 0, y, -90), QPointF(0, -1)},
        {"Yawed180", turned(0, 0, y, 180), QPointF(-1, 0)},
        // Pitched up by 60 degrees about z: half of the axis left in the plane.
        {"Foreshortened", turned(0, 0, Eigen::Vector3d::UnitZ(), 60), QPointF(0.5, 0)},
        {"AlongTheLineOfSight", turned(0, 0, Eigen::Vector3d::UnitZ(), 90), std::nullopt},
        {"NotFinite",
         [] {
             Pose pose = Pose::Identity();
             pose(0, 0) = std::numeric_limits<double>::quiet_NaN();
             return pose;
         }(),
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto line = Viewer::OrientationOverlay::axisLine(*view, dot, row.pose);
        ASSERT_EQ(line.has_value(), row.direction.has_value());
        if (!line) {
            continue;
        }
        const QPointF d = *row.direction;
        const double norm = std::hypot(d.x(), d.y());
        EXPECT_NEAR(line->first.x(), dot.x() + d.x() / norm * rim, 1e-9);
        EXPECT_NEAR(line->first.y(), dot.y() + d.y() / norm * rim, 1e-9);
        EXPECT_NEAR(line->second.x(), line->first.x() + d.x() * length, 1e-9);
        EXPECT_NEAR(line->second.y(), line->first.y() + d.y() * length, 1e-9);
    }
}

TEST(OrientationOverlay, DrawsEachTrackedInstrumentsAxisOverTheView)
{
    ViewTestStream stream;
    stream.addInstrument(TrackerID("optitrack-1", "", "Probe"), true);
    stream.addInstrument(TrackerID("optitrack-2", "", "Lost"), true);
    DisplayWidgetMulti display;
    display.resize(400, 400);
    InteractiveView* view = display.view2D(0);
    view->setVisible(true);
    view->setHalfRangeMm(1000.0);
    view->setTrailLength(0);
    Viewer::OrientationOverlay overlay(view);
    view->setStream(&stream);
    // Turned about y by -90 degrees: its x axis points to +z, up on the screen.
    stream.updateInstrument("optitrack-1", turned(-300, -250, Eigen::Vector3d::UnitY(), -90), 0.9, 0, 0);
    stream.updateInstrument("optitrack-2", turned(300, 250, Eigen::Vector3d::UnitY(), 0), 0.0, 0, 0);
    const QImage image = display.grab().toImage();
    const QPoint viewOrigin = view->mapTo(&display, QPoint(0, 0));

    ASSERT_EQ(overlay.drawnAxes().size(), 1u) << "none for the instrument without tracking";
    const Viewer::OrientationOverlay::DrawnAxis& axis = overlay.drawnAxes()[0];
    EXPECT_EQ(axis.identifier, "optitrack-1");
    const QPointF dot = view->toWidget(-300, 0, -250);
    EXPECT_NEAR(axis.from.x(), dot.x(), 1e-9);
    EXPECT_LT(axis.to.y(), axis.from.y());
    const auto colourAt = [&](QPointF p) { return image.pixelColor(p.toPoint() + viewOrigin); };
    for (const double t : {0.25, 0.5, 0.75}) {
        const QColor pixel = colourAt(axis.from + (axis.to - axis.from) * t);
        EXPECT_EQ(pixel, Viewer::OrientationOverlay::axisColour()) << t;
    }
    EXPECT_NE(colourAt(dot + QPointF(0, 15)), Viewer::OrientationOverlay::axisColour())
        << "not below the dot";
    EXPECT_EQ(colourAt(dot), QColor(80, 220, 120)) << "the dot stays visible";
}

TEST(InstrumentRows, OrientationColumnGivesRollPitchYawOrADash)
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<TrackingInstrument> instruments;
    const auto add = [&](const char* id, const Pose& pose, double quality, std::uint64_t updates) {
        TrackingInstrument instrument(TrackerID(id, "", id), true);
        instrument.pose = pose;
        instrument.quality = quality;
        instrument.updateCount = updates;
        instrument.lastUpdate = now;
        instruments.push_back(instrument);
    };
    add("yawed", turned(0, 0, Eigen::Vector3d::UnitY(), 30), 0.9, 1);
    add("rolled", turned(0, 0, Eigen::Vector3d::UnitZ(), -45), 0.9, 1);
    add("lost", turned(0, 0, Eigen::Vector3d::UnitY(), 30), 0.0, 1);
    add("never", Pose::Identity(), 0.0, 0);
    Pose broken = Pose::Identity();
    broken(1, 1) = std::numeric_limits<double>::infinity();
    add("broken", broken, 0.9, 1);
    const std::vector<Viewer::InstrumentRow> rows = Viewer::instrumentRows(instruments, now);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].orientation.toStdString(), "0.0, 0.0, 30.0");
    EXPECT_EQ(rows[1].orientation.toStdString(), "-45.0, 0.0, 0.0");
    EXPECT_EQ(rows[2].orientation.toStdString(), "-");
    EXPECT_EQ(rows[3].orientation.toStdString(), "-");
    EXPECT_EQ(rows[4].orientation.toStdString(), "-");
}

TEST(ViewerScreenshot, NameThatIsNotUtf8IsRecordedWithAReplacementCharacter)
{
    ViewTestStream stream;
    stream.addInstrument(TrackerID("optitrack-1", "", "Sond\xE9"), true);  // Latin-1 "Sondé"
    Pose pose = Pose::Identity();
    pose(0, 3) = 100.0;
    stream.updateInstrument("optitrack-1", pose, 0.9, 0, 0);
    DisplayWidgetMulti display;
    display.resize(400, 400);
    InteractiveView* view = display.view2D(0);
    view->setVisible(true);
    view->setStream(&stream);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string png = folder.path().toStdString() + "/shot.png";
    std::string error;
    bool saved = false;
    ASSERT_NO_THROW(saved = Viewer::saveScreenshot(display, *view, nullptr, &stream, png, &error));
    ASSERT_TRUE(saved) << error;
    std::ifstream sidecar(Viewer::sidecarPath(png));
    const nlohmann::json document = nlohmann::json::parse(sidecar);
    ASSERT_EQ(document.at("instruments").size(), 1u) << document.dump();
    EXPECT_EQ(document.at("instruments")[0].at("name"), "Sond\xEF\xBF\xBD");
}

TEST(ViewerOptions, NumbersThatAreNotFiniteOrOutOfRangeAreBadUsage)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--after", "nan"},  {"--after", "-1"},        {"--range-mm", "inf"},
        {"--range-mm", "0"}, {"--command-port", "-1"}, {"--data-port", "65536"}};
    for (const std::vector<std::string>& arguments : refused) {
        std::vector<std::string> texts = {"quorvane-viewer"};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : texts) {
            argv.push_back(text.data());
        }
        Viewer::ViewerOptions options;
        EXPECT_EQ(Viewer::parseViewerOptions(static_cast<int>(argv.size()), argv.data(), options), 2)
            << arguments[0] << " " << arguments[1];
    }

    std::vector<std::string> texts = {"quorvane-viewer", "--after", "0.5", "--range-mm", "800",
                                      "--command-port",  "0"};
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    Viewer::ViewerOptions options;
    EXPECT_EQ(Viewer::parseViewerOptions(static_cast<int>(argv.size()), argv.data(), options), -1);
    EXPECT_EQ(options.screenshotAfter, 0.5);
    EXPECT_EQ(options.rangeMm, 800.0);
    EXPECT_EQ(options.commandPort, 0);
}

}  // namespace
}  // namespace Quorvane
