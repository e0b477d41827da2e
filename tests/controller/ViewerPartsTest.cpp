// The viewer's parts that need no running program: the coalesced refresh, the table's lines,
// the screenshot's file names, and what the host view draws for trails and lost tracking.

#include "InstrumentRows.h"
#include "RefreshCoalescer.h"
#include "Screenshot.h"

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace Quorvane {
namespace {

using Clock = std::chrono::steady_clock;

bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// ---- coalesced refresh -------------------------------------------------------------------

TEST(RefreshCoalescer, AFloodFromAnotherThreadGivesAtMostTheRateAndEndsWithTheLastValue)
{
    std::atomic<int> latest{0};
    int shown = -1;
    Viewer::RefreshCoalescer coalescer([&] { shown = latest.load(); }, 60);
    constexpr int kRequests = 50000;
    std::atomic<bool> done{false};
    const auto started = Clock::now();
    std::thread producer([&] {
        for (int i = 1; i <= kRequests; ++i) {
            latest.store(i);
            coalescer.request();
        }
        done = true;
    });
    ASSERT_TRUE(processEventsUntil([&] { return done.load(); }, 20s));
    producer.join();
    ASSERT_TRUE(processEventsUntil([&] { return shown == kRequests; }, 2s)) << "the last request is shown";
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_EQ(coalescer.requests(), static_cast<std::uint64_t>(kRequests));
    EXPECT_GE(coalescer.refreshes(), 1u);
    EXPECT_LE(coalescer.refreshes(), static_cast<std::uint64_t>(seconds * 60.0) + 2) << "in " << seconds << " s";
}

TEST(RefreshCoalescer, RequestsWhileItIsDestroyedDoNothing)
{
    std::atomic<bool> stop{false};
    std::atomic<int> refreshes{0};
    auto coalescer = std::make_unique<Viewer::RefreshCoalescer>([&] { ++refreshes; }, 1000);
    Viewer::RefreshCoalescer* raw = coalescer.get();
    std::atomic<bool> started{false};
    // The producer stops before the object's memory goes: what is tested is that queued calls
    // posted just before destruction never reach it.
    std::thread producer([&] {
        while (!stop.load()) {
            raw->request();
            started = true;
        }
    });
    ASSERT_TRUE(processEventsUntil([&] { return refreshes.load() > 3; }, 5s));
    stop = true;
    producer.join();
    raw->request();  // one more on its way
    coalescer.reset();
    const int atDestruction = refreshes.load();
    processEventsUntil([] { return false; }, 50ms);
    EXPECT_EQ(refreshes.load(), atDestruction);
    EXPECT_TRUE(started.load());
}

// ---- table lines -------------------------------------------------------------------------

TEST(InstrumentRows, EachStateOfAnInstrumentReadsAsText)
{
    const auto now = Clock::now();
    TrackingInstrument fresh(TrackerID("optitrack-9", "", "Never seen"), true);

    TrackingInstrument tracked(TrackerID("optitrack-1", "", "Probe"), true);
    tracked.pose(0, 3) = 12.345;
    tracked.pose(1, 3) = -1200.0;
    tracked.pose(2, 3) = 0.04;
    tracked.quality = 0.75;
    tracked.updateCount = 10;
    tracked.updateRateHz = 119.96;
    tracked.lastUpdate = now - 25ms;

    TrackingInstrument lost = tracked;
    lost.setTrackerId(TrackerID("optitrack-2", "", "Pointer"));
    lost.quality = 0.0;  // the tracker's placeholder pose is not a position
    lost.lastUpdate = now + 5ms;  // a clock read before the update: no negative age

    const std::vector<Viewer::InstrumentRow> rows = Viewer::instrumentRows({fresh, tracked, lost}, now);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].identifier, "optitrack-9");
    EXPECT_EQ(rows[0].position, "no update yet");
    EXPECT_EQ(rows[0].age, "-");
    EXPECT_FALSE(rows[0].tracked);

    EXPECT_EQ(rows[1].name, "Probe");
    EXPECT_EQ(rows[1].position, "12.3, -1200.0, 0.0");
    EXPECT_EQ(rows[1].quality, "0.750");
    EXPECT_EQ(rows[1].rate, "120.0");
    EXPECT_EQ(rows[1].age, "25 ms");
    EXPECT_TRUE(rows[1].tracked);

    EXPECT_EQ(rows[2].identifier, "optitrack-2");
    EXPECT_EQ(rows[2].position, "not tracked");
    EXPECT_EQ(rows[2].quality, "0.000");
    EXPECT_EQ(rows[2].age, "0 ms");
    EXPECT_FALSE(rows[2].tracked);
}

TEST(Screenshot, SidecarNamesFollowThePicture)
{
    struct Row
    {
        const char* png;
        const char* json;
    };
    for (const Row row : {Row{"artifacts/viewer.png", "artifacts/viewer.json"}, Row{"shot", "shot.json"},
                          Row{".png", ".png.json"}, Row{"a.png.bak", "a.png.bak.json"}}) {
        EXPECT_EQ(Viewer::sidecarPath(row.png), row.json) << row.png;
    }
}

// ---- the host view: trails and lost tracking ---------------------------------------------

class ViewTestStream : public TrackingStream
{
public:
    ViewTestStream() : TrackingStream("View test stream") {}
    ~ViewTestStream() override { close(); }
    using TrackingStream::emitSignals;
};

Pose at(double x, double y, double z)
{
    Pose pose = Pose::Identity();
    pose(0, 3) = x;
    pose(1, 3) = y;
    pose(2, 3) = z;
    return pose;
}

const QColor kBackground(24, 26, 32);
const QColor kTrackedFill(80, 220, 120);

class ViewTest : public ::testing::Test
{
protected:
    ViewTest()
    {
        display.resize(400, 400);
        view = display.view2D(0);
        view->setVisible(true);
        view->setHalfRangeMm(1000.0);
        view->setPlane(InteractiveView::Plane::XZ);
        view->setStream(&stream);
        stream.addInstrument(TrackerID("optitrack-1", "", "Probe"), true);
    }

    /// One frame, then a paint of the view (as the refresh after it would do).
    QImage frame(const Pose& pose, double quality)
    {
        stream.updateInstrument("optitrack-1", pose, quality, 0, 0);
        return view->grab().toImage();
    }

    static bool isBackground(const QImage& image, QPointF point)
    {
        return image.pixelColor(point.toPoint()) == kBackground;
    }

    ViewTestStream stream;
    DisplayWidgetMulti display;
    InteractiveView* view = nullptr;
};

TEST_F(ViewTest, LostTrackingIsDrawnGreyWhereTheInstrumentWasLastTracked)
{
    frame(at(400, 1200, 300), 0.9);  // off the grid lines
    const QImage image = frame(Pose::Identity(), 0.0);  // what a tracker sends without a pose

    ASSERT_EQ(view->drawnInstruments().size(), 1u);
    const InteractiveView::DrawnInstrument& drawn = view->drawnInstruments()[0];
    EXPECT_FALSE(drawn.tracked);
    EXPECT_EQ(drawn.name, "Probe");
    const QPointF last = view->toWidget(400, 1200, 300);
    EXPECT_NEAR(drawn.position.x(), last.x(), 0.01);
    EXPECT_NEAR(drawn.position.y(), last.y(), 0.01);
    EXPECT_TRUE(isBackground(image, last)) << "hollow";
    const QColor ring = image.pixelColor((last + QPointF(5, 0)).toPoint());
    EXPECT_GT(ring.red(), 100);
    EXPECT_LT(std::abs(ring.green() - ring.red()), 16) << "grey, not the tracked green";
    EXPECT_TRUE(isBackground(image, view->toWidget(0, 0, 0) + QPointF(3, 3))) << "not at the placeholder's origin";

    const QImage again = frame(at(-400, 1200, -200), 0.8);
    EXPECT_TRUE(view->drawnInstruments()[0].tracked);
    EXPECT_EQ(again.pixelColor(view->toWidget(-400, 0, -200).toPoint()), kTrackedFill);
}

TEST_F(ViewTest, TrailFollowsTheLastTrackedPositionsUpToItsLength)
{
    view->setTrailLength(3);
    // Four corners walked one by one (off the grid lines); the trail joins the last three.
    const std::vector<QPointF> corners = {{-400, -300}, {300, -350}, {350, 300}, {-300, 350}};
    QImage image;
    for (const QPointF& corner : corners) {
        image = frame(at(corner.x(), 0, corner.y()), 1.0);
    }
    auto midpoint = [&](const QPointF& a, const QPointF& b) {
        return (view->toWidget(a.x(), 0, a.y()) + view->toWidget(b.x(), 0, b.y())) / 2.0;
    };
    EXPECT_FALSE(isBackground(image, midpoint(corners[1], corners[2]))) << "second to third corner";
    EXPECT_FALSE(isBackground(image, midpoint(corners[2], corners[3]))) << "third to fourth corner";
    EXPECT_TRUE(isBackground(image, midpoint(corners[0], corners[1]))) << "older than the trail";

    view->setTrailLength(0);
    image = view->grab().toImage();
    EXPECT_TRUE(isBackground(image, midpoint(corners[2], corners[3]))) << "no trails";
}

TEST_F(ViewTest, ADetachedStreamLeavesNothingDrawn)
{
    frame(at(100, 0, 100), 1.0);
    ASSERT_EQ(view->drawnInstruments().size(), 1u);
    view->setStream(nullptr);
    const QImage image = view->grab().toImage();
    EXPECT_TRUE(view->drawnInstruments().empty());
    EXPECT_TRUE(isBackground(image, view->toWidget(100, 0, 100)));
}

}  // namespace
}  // namespace Quorvane
