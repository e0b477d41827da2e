#include <Quorvane/Stream/InteractiveView.h>

#include <Quorvane/Stream/TrackingStream.h>

#include <QMetaObject>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <atomic>
#include <vector>

namespace Quorvane {

namespace Internal {

/// What the stream's receive thread may touch: shared with the slot, so it outlives the view
/// if a call is still on its way when the view goes.
struct RefreshGate
{
    std::atomic<bool> pending{false};  ///< a refresh was posted and has not run yet
    std::mutex mutex;
    InteractiveView* view = nullptr;  ///< guarded by mutex; null once the view is being destroyed
};

constexpr auto kMinRefreshInterval = std::chrono::microseconds(1000000 / InteractiveView::kMaxRefreshHz);

}  // namespace Internal

InteractiveView::InteractiveView(QWidget* parent) : QWidget(parent), m_gate(std::make_shared<Internal::RefreshGate>())
{
    m_gate->view = this;
    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, [this] { refreshNow(); });
    setMinimumSize(160, 120);
    setAutoFillBackground(false);
}

InteractiveView::~InteractiveView()
{
    {
        std::lock_guard<std::mutex> lock(m_gate->mutex);
        m_gate->view = nullptr;
    }
    // Waits for slot calls still running on the stream's thread; nothing else reaches `this` then.
    m_updateConnection.disconnect();
    m_destroyConnection.disconnect();
    disconnectAllSignals();
}

void InteractiveView::setStream(TrackingStream* newStream)
{
    m_updateConnection.disconnect();
    m_destroyConnection.disconnect();
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = newStream;
    }
    if (newStream) {
        std::shared_ptr<Internal::RefreshGate> gate = m_gate;
        m_updateConnection = newStream->instrumentsUpdated.connect(
            this, [gate](InstrumentModifications) {
                if (gate->pending.exchange(true)) {
                    return;  // one refresh is already on its way; it will show this frame too
                }
                std::lock_guard<std::mutex> lock(gate->mutex);
                if (gate->view) {
                    QMetaObject::invokeMethod(gate->view, "onRefreshPosted", Qt::QueuedConnection);
                }
            });
        m_destroyConnection = newStream->aboutToBeDestroyed.connect(this, [this] { onStreamDestroying(); });
    }
    requestRefreshFromAnyThread();
}

TrackingStream* InteractiveView::stream() const
{
    std::lock_guard<std::mutex> lock(m_streamMutex);
    return m_stream;
}

void InteractiveView::onStreamDestroying()
{
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = nullptr;
    }
    requestRefreshFromAnyThread();
}

void InteractiveView::requestRefreshFromAnyThread()
{
    if (m_gate->pending.exchange(true)) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    if (m_gate->view) {
        QMetaObject::invokeMethod(this, "onRefreshPosted", Qt::QueuedConnection);
    }
}

void InteractiveView::onRefreshPosted()
{
    const auto sinceLast = std::chrono::steady_clock::now() - m_lastRefresh;
    if (sinceLast >= Internal::kMinRefreshInterval) {
        refreshNow();
    } else if (!m_throttle.isActive()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(Internal::kMinRefreshInterval - sinceLast);
        m_throttle.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(1, wait.count())));
    }
}

void InteractiveView::refreshNow()
{
    // Cleared before the repaint reads the store, so an update arriving meanwhile posts again.
    m_gate->pending.store(false);
    m_lastRefresh = std::chrono::steady_clock::now();
    ++m_refreshCount;
    update();
}

void InteractiveView::setPlane(Plane newPlane)
{
    m_plane = newPlane;
    update();
}

void InteractiveView::setHalfRangeMm(double halfRange)
{
    if (halfRange > 0.0) {
        m_halfRangeMm = halfRange;
        update();
    }
}

QPointF InteractiveView::toWidget(double x, double y, double z) const
{
    double horizontal = x;
    double vertical = y;
    switch (m_plane) {
        case Plane::XY:
            break;
        case Plane::XZ:
            vertical = z;
            break;
        case Plane::YZ:
            horizontal = y;
            vertical = z;
            break;
    }
    const double pixelsPerMm = 0.5 * std::min(width(), height()) / m_halfRangeMm;
    // Screen y grows downwards; tracker axes grow upwards.
    return QPointF(0.5 * width() + horizontal * pixelsPerMm, 0.5 * height() - vertical * pixelsPerMm);
}

void InteractiveView::paintEvent(QPaintEvent* event)
{
    ++m_paintCount;
    std::vector<TrackingInstrument> instruments;
    {
        // Held across the copy so that a stream being destroyed on another thread waits for it.
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (m_stream) {
            instruments = m_stream->instruments();
        }
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(event->rect(), QColor(24, 26, 32));

    const QPointF origin = toWidget(0.0, 0.0, 0.0);
    painter.setPen(QPen(QColor(70, 74, 86), 1));
    painter.drawLine(QPointF(0, origin.y()), QPointF(width(), origin.y()));
    painter.drawLine(QPointF(origin.x(), 0), QPointF(origin.x(), height()));

    const QColor tracked(80, 220, 120);
    const QColor untracked(150, 150, 150);
    for (const TrackingInstrument& instrument : instruments) {
        if (instrument.updateCount == 0) {
            continue;  // no position known yet
        }
        const Pose& pose = instrument.pose;
        const QPointF at = toWidget(pose(0, 3), pose(1, 3), pose(2, 3));
        const QColor& colour = instrument.isTracked() ? tracked : untracked;
        painter.setPen(QPen(colour, 2));
        painter.setBrush(instrument.isTracked() ? QBrush(colour) : Qt::NoBrush);
        painter.drawEllipse(at, 5.0, 5.0);
        painter.drawText(at + QPointF(8.0, -8.0), QString::fromStdString(instrument.name()));
    }
}

}  // namespace Quorvane
