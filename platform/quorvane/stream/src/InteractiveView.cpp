#include <Quorvane/Stream/InteractiveView.h>

#include <Quorvane/Stream/TrackingStream.h>

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <vector>

namespace Quorvane {

InteractiveView::InteractiveView(QWidget* parent)
    : QWidget(parent), m_refresher([this] { update(); }, kMaxRefreshHz)
{
    setMinimumSize(160, 120);
    setAutoFillBackground(false);
}

InteractiveView::~InteractiveView()
{
    // Waits for slot calls still running on the stream's thread; nothing reaches `this` then.
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
        // Flags only: the repaint reads the store itself.
        m_updateConnection = newStream->instrumentsUpdated.connect(
            this, [this](InstrumentModifications) { m_refresher.request(); });
        m_destroyConnection = newStream->aboutToBeDestroyed.connect(this, [this] { onStreamDestroying(); });
    }
    m_refresher.request();
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
    m_refresher.request();
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

void InteractiveView::setTrailLength(int points)
{
    m_trailLength = std::max(0, points);
    for (auto& entry : m_tracks) {
        while (entry.second.trail.size() > static_cast<std::size_t>(m_trailLength)) {
            entry.second.trail.pop_front();
        }
    }
    update();
}

void InteractiveView::updateTracks(const std::vector<TrackingInstrument>& instruments)
{
    // Forget instruments the stream no longer has (or a stream that went away).
    for (auto it = m_tracks.begin(); it != m_tracks.end();) {
        const bool present =
            std::any_of(instruments.begin(), instruments.end(),
                        [&](const TrackingInstrument& i) { return i.identifier() == it->first; });
        it = present ? std::next(it) : m_tracks.erase(it);
    }
    for (const TrackingInstrument& instrument : instruments) {
        Internal::InstrumentTrack& track = m_tracks[instrument.identifier()];
        if (instrument.updateCount == track.seenUpdates) {
            continue;  // nothing new since the last paint
        }
        track.seenUpdates = instrument.updateCount;
        if (!instrument.isTracked()) {
            continue;
        }
        const Internal::TrackPoint point{instrument.pose(0, 3), instrument.pose(1, 3), instrument.pose(2, 3)};
        track.everTracked = true;
        track.lastTracked = point;
        if (m_trailLength > 0) {
            track.trail.push_back(point);
            while (track.trail.size() > static_cast<std::size_t>(m_trailLength)) {
                track.trail.pop_front();
            }
        }
    }
}

namespace Internal {

/// A grid step of 1, 2 or 5 times a power of ten that puts a few lines on each side of the origin.
double gridStep(double halfRangeMm)
{
    const double raw = halfRangeMm / 3.0;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * decade >= raw) {
            return factor * decade;
        }
    }
    return 10.0 * decade;
}

const char* horizontalAxisName(InteractiveView::Plane plane)
{
    return plane == InteractiveView::Plane::YZ ? "y" : "x";
}

const char* verticalAxisName(InteractiveView::Plane plane)
{
    return plane == InteractiveView::Plane::XY ? "y" : "z";
}

}  // namespace Internal

void InteractiveView::drawGrid(QPainter& painter) const
{
    const double pixelsPerMm = 0.5 * std::min(width(), height()) / m_halfRangeMm;
    if (!(pixelsPerMm > 0.0)) {
        return;
    }
    const QPointF origin = toWidget(0.0, 0.0, 0.0);
    const double step = Internal::gridStep(m_halfRangeMm);
    const double stepPixels = step * pixelsPerMm;
    const QColor gridColour(38, 41, 50);
    const QColor labelColour(120, 126, 142);
    const QFontMetrics metrics(painter.font());

    // Each grid line across `extent` pixels from the axis at `axisPixels`: its index (0 is the
    // axis itself) and its position.
    const auto eachGridLine = [stepPixels](double axisPixels, double extent, const auto& draw) {
        const int first = static_cast<int>(std::ceil(-axisPixels / stepPixels));
        const int last = static_cast<int>(std::floor((extent - axisPixels) / stepPixels));
        for (int i = first; i <= last; ++i) {
            draw(i, axisPixels + i * stepPixels);
        }
    };
    // Vertical lines, labelled along the bottom edge; horizontal lines along the left edge.
    eachGridLine(origin.x(), width(), [&](int i, double x) {
        if (i != 0) {
            painter.setPen(QPen(gridColour, 1));
            painter.drawLine(QPointF(x, 0), QPointF(x, height()));
        }
        // The lower left corner belongs to the vertical axis' labels.
        if (x > 40.0) {
            painter.setPen(labelColour);
            painter.drawText(QPointF(x + 3, height() - 4), QString::number(i * step));
        }
    });
    eachGridLine(origin.y(), height(), [&](int i, double y) {
        if (i != 0) {
            painter.setPen(QPen(gridColour, 1));
            painter.drawLine(QPointF(0, y), QPointF(width(), y));
        }
        // Screen y grows downwards: row i is at -i steps. Rows next to the bottom edge would run
        // into the horizontal axis' labels.
        if (y < height() - 20.0) {
            painter.setPen(labelColour);
            painter.drawText(QPointF(4, y - 3), QString::number(i == 0 ? 0.0 : -i * step));
        }
    });

    painter.setPen(QPen(QColor(70, 74, 86), 1));
    painter.drawLine(QPointF(0, origin.y()), QPointF(width(), origin.y()));
    painter.drawLine(QPointF(origin.x(), 0), QPointF(origin.x(), height()));

    painter.setPen(labelColour);
    const QString horizontal =
        QStringLiteral("%1 [mm]").arg(QLatin1String(Internal::horizontalAxisName(m_plane)));
    const QString vertical =
        QStringLiteral("%1 [mm]").arg(QLatin1String(Internal::verticalAxisName(m_plane)));
    painter.drawText(QPointF(width() - metrics.horizontalAdvance(horizontal) - 6, origin.y() - 6),
                     horizontal);
    painter.drawText(QPointF(origin.x() + 6, metrics.ascent() + 4), vertical);
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
    updateTracks(instruments);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(event->rect(), QColor(24, 26, 32));
    drawGrid(painter);

    const QColor tracked(80, 220, 120);
    const QColor untracked(150, 150, 150);
    m_drawn.clear();
    for (const TrackingInstrument& instrument : instruments) {
        if (instrument.updateCount == 0) {
            continue;  // no position known yet
        }
        const Internal::InstrumentTrack& track = m_tracks[instrument.identifier()];
        const bool isTracked = instrument.isTracked();
        const QColor& colour = isTracked ? tracked : untracked;

        // The trail fades towards its oldest point.
        const std::size_t points = track.trail.size();
        for (std::size_t i = 1; i < points; ++i) {
            QColor segment = colour;
            segment.setAlpha(static_cast<int>(30 + 130 * i / points));
            painter.setPen(QPen(segment, 1.5));
            const Internal::TrackPoint& from = track.trail[i - 1];
            const Internal::TrackPoint& to = track.trail[i];
            painter.drawLine(toWidget(from.x, from.y, from.z), toWidget(to.x, to.y, to.z));
        }

        Internal::TrackPoint where = track.lastTracked;
        if (isTracked || !track.everTracked) {
            where = Internal::TrackPoint{instrument.pose(0, 3), instrument.pose(1, 3), instrument.pose(2, 3)};
        }
        const QPointF at = toWidget(where.x, where.y, where.z);
        painter.setPen(QPen(colour, 2));
        painter.setBrush(isTracked ? QBrush(colour) : Qt::NoBrush);
        painter.drawEllipse(at, 5.0, 5.0);
        painter.drawText(at + QPointF(8.0, -8.0), QString::fromStdString(instrument.name()));
        m_drawn.push_back(DrawnInstrument{instrument.identifier(), instrument.name(), at, isTracked, where.x,
                                          where.y, where.z});
    }
}

}  // namespace Quorvane
