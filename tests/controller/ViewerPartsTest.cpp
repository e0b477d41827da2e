// Parts of the viewer that need no running program: the coalesced refresh, what the host view
// draws for trails and for an instrument that lost tracking, the screenshot's record of names
// that are not UTF-8, and the command line's numbers.

#include "LogView.h"
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

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

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
    while (shown != kRequests && timer.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
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
    QElapsedTimer timer;
    timer.start();
    while (!view.toPlainText().contains(QStringLiteral("after the failure")) && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
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
    ~ViewTestStream() override { close(); }
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
    ASSERT_NO_THROW(saved = Viewer::saveScreenshot(display, *view, &stream, png, &error));
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
