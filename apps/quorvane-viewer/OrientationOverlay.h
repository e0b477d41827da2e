#pragma once

#include <Quorvane/Stream/Pose.h>

#include <QColor>
#include <QPointF>
#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane {

class InteractiveView;

namespace Viewer {

/// Shows which way each tracked instrument points in the host view: its x axis as a short line
/// from the rim of its dot, projected into the view's plane (an axis that points out of the plane
/// gets short; one along the view's line of sight none). Instruments without valid tracking get
/// no line: their pose is a placeholder.
///
/// A transparent child that covers the view and follows its size, so it paints right after the
/// view in the same pass: the dots are where the view's last paint put them, the axes come from
/// the view's stream at that moment. The stream must be destroyed on the UI thread (the viewer
/// does). UI thread only.
class OrientationOverlay : public QWidget
{
public:
    static constexpr double kDotRadiusPx = 6.0;
    /// Length of an axis that lies in the view's plane.
    static constexpr double kAxisLengthPx = 24.0;
    static QColor axisColour() { return {255, 160, 40}; }

    explicit OrientationOverlay(InteractiveView* view);

    /// One axis as the last paint drew it, in the view's (and this widget's) coordinates.
    struct DrawnAxis
    {
        std::string identifier;
        QPointF from;
        QPointF to;
    };
    const std::vector<DrawnAxis>& drawnAxes() const { return m_drawn; }

    /// The line for the x axis of `pose` from a dot at `dot` in `view`; nothing when the axis is
    /// not finite or shows as less than a pixel.
    static std::optional<std::pair<QPointF, QPointF>> axisLine(const InteractiveView& view, QPointF dot,
                                                               const Pose& pose);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    InteractiveView* m_view;
    std::vector<DrawnAxis> m_drawn;
};

}  // namespace Viewer
}  // namespace Quorvane
