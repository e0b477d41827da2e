#pragma once

#include <Quorvane/Stream/StreamExport.h>

#include <QWidget>

#include <vector>

namespace Quorvane {

class InteractiveView;
class TrackingStream;

/// The host display: a row of views. Panels reach it through StreamControllerBase::display()
/// and show the views they need; the views start hidden. UI thread only.
class QUORVANE_STREAM_EXPORT DisplayWidgetMulti : public QWidget
{
    Q_OBJECT

public:
    /// A display with `num2DViews` 2D views (at least one).
    explicit DisplayWidgetMulti(int num2DViews = 1, QWidget* parent = nullptr);
    ~DisplayWidgetMulti() override;

    /// The 2D view `index`, or null when there is none with that index.
    InteractiveView* view2D(int index) const;
    int numViews2D() const;

    /// Shows `stream` in every 2D view (null detaches them).
    void setStream(TrackingStream* stream);

    /// The display of the running application, which panels use unless they were given one;
    /// null when the application has none (it is cleared when that display is destroyed).
    static DisplayWidgetMulti* applicationDisplay();
    static void setApplicationDisplay(DisplayWidgetMulti* display);

private:
    std::vector<InteractiveView*> m_views2D;  // children, owned by Qt's parent chain
};

}  // namespace Quorvane
