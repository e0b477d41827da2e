// The Qt side offscreen: the controller base's init, the display and its views, and the view's
// refresh from a stream updated on another thread.
#include "ProcessEvents.h"
#include "TestStreams.h"

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/StreamControllerBase.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace Quorvane {
namespace {

using Testing::HoldingAlgorithm;
using Testing::TestTrackingStream;
using Testing::translation;
using Clock = std::chrono::steady_clock;
using TestSupport::processEventsUntil;

/// Lets queued refreshes and the throttle timer run for a while.
void processEventsFor(std::chrono::milliseconds duration)
{
    processEventsUntil([] { return false; }, duration);
}

/// Panels over an executed algorithm, whose stream is open.
class StreamControllerBaseTest : public ::testing::Test
{
protected:
    void SetUp() override { m_algorithm.execute(); }

    HoldingAlgorithm m_algorithm;
};

TEST_F(StreamControllerBaseTest, InitTakesTheAlgorithmsStreamAndTheGivenDisplay)
{
    DisplayWidgetMulti display(2);
    StreamControllerBase panel(&m_algorithm, false);
    EXPECT_EQ(panel.stream(), nullptr);
    EXPECT_EQ(panel.display(), nullptr);
    EXPECT_EQ(panel.layout(), nullptr) << "a panel with its own form gets no layout from the base";

    panel.setDisplay(&display);
    panel.init();
    EXPECT_EQ(panel.stream(), m_algorithm.currentStream());
    EXPECT_EQ(panel.display(), &display);
    EXPECT_EQ(panel.algorithm(), static_cast<Algorithm*>(&m_algorithm));

    ASSERT_NE(display.view2D(0), nullptr);
    ASSERT_NE(display.view2D(1), nullptr);
    EXPECT_EQ(display.view2D(2), nullptr);
    EXPECT_EQ(display.view2D(-1), nullptr);
    EXPECT_TRUE(display.view2D(0)->isHidden()) << "views start hidden until a panel shows them";
    panel.display()->view2D(0)->setVisible(true);
    EXPECT_FALSE(display.view2D(0)->isHidden());
    EXPECT_TRUE(display.view2D(0)->isVisibleTo(&display));
    display.show();
    EXPECT_TRUE(display.view2D(0)->isVisible());
    EXPECT_FALSE(display.view2D(1)->isVisible());
}

/// A panel with a form of its own, as a plugin writes one: its own meta-object on top of the base.
class FormPanel : public StreamControllerBase
{
    Q_OBJECT

public:
    explicit FormPanel(StreamIoAlgorithm* algorithm) : StreamControllerBase(algorithm, false) {}
    void init() override
    {
        StreamControllerBase::init();
        display()->view2D(0)->setVisible(true);
    }
};

TEST_F(StreamControllerBaseTest, DerivedPanelsSeeTheBaseInTheirMetaObject)
{
    FormPanel panel(&m_algorithm);
    AlgorithmController& controller = panel;  // how the host holds it
    controller.init();
    EXPECT_STREQ(panel.metaObject()->superClass()->className(), "Quorvane::StreamControllerBase");
    EXPECT_EQ(qobject_cast<StreamControllerBase*>(static_cast<QWidget*>(&panel)), &panel);
    EXPECT_EQ(dynamic_cast<StreamControllerBase*>(&controller), &panel);
    EXPECT_FALSE(panel.display()->view2D(0)->isHidden());
    EXPECT_EQ(panel.stream(), m_algorithm.currentStream());
}

TEST_F(StreamControllerBaseTest, FallsBackToTheApplicationDisplayThenToItsOwn)
{
    {
        StreamControllerBase panel(&m_algorithm, false);
        panel.init();
        ASSERT_NE(panel.display(), nullptr);
        EXPECT_NE(panel.display()->view2D(0), nullptr);
        panel.display()->view2D(0)->setVisible(true);
    }
    {
        auto application = std::make_unique<DisplayWidgetMulti>();
        DisplayWidgetMulti::setApplicationDisplay(application.get());
        StreamControllerBase panel(&m_algorithm, false);
        panel.init();
        EXPECT_EQ(panel.display(), application.get());
        application.reset();
        EXPECT_EQ(DisplayWidgetMulti::applicationDisplay(), nullptr) << "a destroyed display is forgotten";
        EXPECT_EQ(panel.display(), nullptr);
    }
}

TEST_F(StreamControllerBaseTest, WithoutAStreamInitLeavesItNull)
{
    HoldingAlgorithm unexecuted;
    StreamControllerBase panel(&unexecuted, true);
    panel.init();
    EXPECT_EQ(panel.stream(), nullptr);
    auto* start = panel.findChild<QPushButton*>("streamStartButton");
    ASSERT_NE(start, nullptr);
    EXPECT_FALSE(start->isEnabled());
    start->click();  // must not reach a stream
}

TEST_F(StreamControllerBaseTest, DefaultControlsDriveTheStreamAndShowItsState)
{
    StreamControllerBase panel(&m_algorithm, true);
    panel.init();
    auto* label = panel.findChild<QLabel*>("streamStateLabel");
    auto* start = panel.findChild<QPushButton*>("streamStartButton");
    auto* stop = panel.findChild<QPushButton*>("streamStopButton");
    ASSERT_TRUE(label && start && stop);
    EXPECT_EQ(label->text(), "Open");
    EXPECT_FALSE(stop->isEnabled());

    start->click();
    EXPECT_TRUE(m_algorithm.currentStream()->isRunning());
    EXPECT_EQ(label->text(), "Running");
    EXPECT_TRUE(stop->isEnabled());

    // A state change made elsewhere, on another thread, reaches the label through the event loop.
    std::thread other([&] { m_algorithm.currentStream()->stop(); });
    other.join();
    EXPECT_TRUE(processEventsUntil([&] { return label->text() == "Open"; }, std::chrono::seconds(3)));
    EXPECT_TRUE(start->isEnabled());
}

TEST_F(StreamControllerBaseTest, ForgetsAStreamDestroyedBeforeIt)
{
    StreamControllerBase panel(&m_algorithm, true);
    panel.init();
    ASSERT_NE(panel.stream(), nullptr);
    m_algorithm.clearStream();  // destroys the stream, which was never handed out
    EXPECT_EQ(panel.stream(), nullptr);
    panel.findChild<QPushButton*>("streamStartButton")->click();
}

/// A shown display whose first view shows a fresh stream.
struct ViewFixture
{
    ViewFixture()
    {
        display.resize(400, 400);
        view = display.view2D(0);
        view->setVisible(true);
        view->setHalfRangeMm(1000.0);
        display.show();
        view->setStream(&stream);
        processEventsUntil([&] { return view->paintCount() > 0; }, std::chrono::seconds(3));
    }

    TestTrackingStream stream;
    DisplayWidgetMulti display;
    InteractiveView* view = nullptr;
};

TEST(InteractiveView, CoalescesAFloodOfUpdatesFromAnotherThread)
{
    ViewFixture f;
    f.stream.addInstrument(TrackerID("optitrack-1", "", "Wand"), true);
    const std::uint64_t refreshesBefore = f.view->refreshCount();

    constexpr int kFrames = 20000;
    std::atomic<bool> done{false};
    const auto started = Clock::now();
    std::thread receiver([&] {
        for (int frame = 0; frame < kFrames; ++frame) {
            const double x = frame == kFrames - 1 ? 500.0 : -500.0;
            f.stream.emitSignals(f.stream.updateInstrument("optitrack-1", translation(x, 0, 0), 1.0,
                                                           static_cast<std::uint64_t>(frame), 0));
        }
        done = true;
    });
    processEventsUntil([&] { return done.load(); }, std::chrono::seconds(20));
    receiver.join();
    // The last frame must still be shown: one refresh after it at the latest.
    processEventsFor(std::chrono::milliseconds(100));
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const std::uint64_t refreshes = f.view->refreshCount() - refreshesBefore;

    EXPECT_GE(refreshes, 1u);
    EXPECT_LE(refreshes, static_cast<std::uint64_t>(seconds * InteractiveView::kMaxRefreshHz) + 2)
        << kFrames << " updates in " << seconds << " s";
    EXPECT_LT(refreshes, static_cast<std::uint64_t>(kFrames) / 10);

    const QImage image = f.view->grab().toImage();
    const QPoint last = f.view->toWidget(500.0, 0.0, 0.0).toPoint();
    const QPoint earlier = f.view->toWidget(-500.0, 0.0, 0.0).toPoint();
    EXPECT_EQ(image.pixelColor(last), QColor(80, 220, 120)) << "the last pose is drawn";
    EXPECT_NE(image.pixelColor(earlier), QColor(80, 220, 120)) << "earlier poses are not";
}

TEST(InteractiveView, DrawsTrackedInstrumentsFilledAndUntrackedHollow)
{
    ViewFixture f;
    f.view->setPlane(InteractiveView::Plane::XZ);
    f.stream.addInstrument(TrackerID("a", "", "A"), true);
    f.stream.addInstrument(TrackerID("b", "", "B"), true);
    f.stream.addInstrument(TrackerID("never", "", "Never updated"), true);
    f.stream.updateInstrument("a", translation(300, 999, 400), 0.9, 1, 0);  // y is the height: not shown
    f.stream.updateInstrument("b", translation(-300, 0, -400), 0.0, 1, 0);

    const QImage image = f.view->grab().toImage();
    const QPointF a = f.view->toWidget(300, 999, 400);
    const QPointF b = f.view->toWidget(-300, 0, -400);
    EXPECT_GT(a.x(), image.width() / 2.0);
    EXPECT_LT(a.y(), image.height() / 2.0) << "positive z is up on the screen";
    EXPECT_EQ(image.pixelColor(a.toPoint()), QColor(80, 220, 120));
    EXPECT_EQ(image.pixelColor(b.toPoint()), QColor(24, 26, 32)) << "an untracked instrument is a ring";
    const QColor ring = image.pixelColor((b + QPointF(5.0, 0.0)).toPoint());
    EXPECT_GT(ring.green(), 100) << "the ring itself is drawn in grey";
    EXPECT_LT(std::abs(ring.green() - ring.red()), 16);
    EXPECT_EQ(image.pixelColor(f.view->toWidget(0, 0, 0).toPoint() + QPoint(3, 3)), QColor(24, 26, 32))
        << "an instrument never updated is not drawn at the origin";
}

TEST(InteractiveView, DetachesFromAStreamDestroyedOnAnotherThread)
{
    DisplayWidgetMulti display;
    InteractiveView* view = display.view2D(0);
    view->setVisible(true);
    display.show();
    auto stream = std::make_unique<TestTrackingStream>();
    stream->addInstrument(TrackerID("a", "", "A"), true);
    view->setStream(stream.get());
    std::thread destroyer([&] {
        for (int i = 0; i < 200; ++i) {
            stream->emitSignals(stream->updateInstrument("a", translation(i, 0, 0), 1.0, 1, 0));
        }
        stream.reset();
    });
    // Paint meanwhile; the view must stop reading the stream once it is gone.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (view->stream() && Clock::now() < deadline) {
        view->repaint();
        QCoreApplication::processEvents();
    }
    destroyer.join();
    EXPECT_EQ(view->stream(), nullptr);
    view->repaint();
    processEventsFor(std::chrono::milliseconds(20));
}

TEST(InteractiveView, MayBeDestroyedWhileTheStreamKeepsUpdating)
{
    TestTrackingStream stream;
    stream.addInstrument(TrackerID("a", "", "A"), true);
    auto display = std::make_unique<DisplayWidgetMulti>();
    display->view2D(0)->setStream(&stream);
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread receiver([&] {
        while (!stop.load() && frames.load() < 1000000) {
            stream.emitSignals(stream.updateInstrument("a", translation(1, 0, 0), 1.0, 1, 0));
            ++frames;
        }
    });
    processEventsUntil([&] { return frames.load() > 1000; }, std::chrono::seconds(5));
    display.reset();  // the view goes while frames still arrive
    const int atDestruction = frames.load();
    processEventsUntil([&] { return frames.load() > atDestruction + 1000; }, std::chrono::seconds(5));
    stop = true;
    receiver.join();
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(stream.instrumentsUpdated.numConnections(), 0u);
}

}  // namespace
}  // namespace Quorvane

#include "StreamWidgetsTest.moc"
