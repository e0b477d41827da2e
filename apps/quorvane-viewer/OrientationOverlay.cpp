#include "OrientationOverlay.h"

#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Quorvane::Viewer {

namespace Internal {
namespace {
/// Shorter than this (in pixels) an axis says nothing about its direction.
constexpr double kShortestAxisPx = 1.0;
}  // namespace
}  // namespace Internal

OrientationOverlay::OrientationOverlay(InteractiveView* view) : QWidget(view), m_view(view)
{
    setObjectName(QStringLiteral("orientationOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(view->rect());
    view->installEventFilter(this);
}

bool OrientationOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::Resize) {
        setGeometry(m_view->rect());
    }
    return QWidget::eventFilter(watched, event);
}

std::optional<std::pair<QPointF, QPointF>> OrientationOverlay::axisLine(const InteractiveView& view,
                                                                        QPointF dot, const Pose& pose)
{
    const Eigen::Vector3d axis = pose.col(0).head<3>();
    const double pixelsPerMm = 0.5 * std::min(view.width(), view.height()) / view.halfRangeMm();
    if (!axis.allFinite() || !(pixelsPerMm > 0.0)) {
        return std::nullopt;
    }
    // The view's own mapping, so the line follows whichever plane it shows.
    const QPointF projected =
        (view.toWidget(axis.x(), axis.y(), axis.z()) - view.toWidget(0.0, 0.0, 0.0)) / pixelsPerMm;
    const double length = std::hypot(projected.x(), projected.y());
    if (!(length * kAxisLengthPx >= Internal::kShortestAxisPx)) {
        return std::nullopt;
    }
    const QPointF from = dot + projected / length * kDotRadiusPx;
    return std::make_pair(from, from + projected * kAxisLengthPx);
}

void OrientationOverlay::paintEvent(QPaintEvent* /*event*/)
{
    m_drawn.clear();
    const TrackingStream* stream = m_view->stream();
    if (stream == nullptr) {
        return;
    }
    const std::vector<TrackingInstrument> instruments = stream->instruments();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(axisColour(), 3.0, Qt::SolidLine, Qt::RoundCap));
    for (const InteractiveView::DrawnInstrument& dot : m_view->drawnInstruments()) {
        if (!dot.tracked) {
            continue;
        }
        const auto instrument =
            std::find_if(instruments.begin(), instruments.end(),
                         [&](const TrackingInstrument& i) { return i.identifier() == dot.identifier; });
        if (instrument == instruments.end() || !instrument->isTracked()) {
            continue;
        }
        if (const auto line = axisLine(*m_view, dot.position, instrument->pose)) {
            painter.drawLine(line->first, line->second);
            m_drawn.push_back(DrawnAxis{dot.identifier, line->first, line->second});
        }
    }
}

}  // namespace Quorvane::Viewer
