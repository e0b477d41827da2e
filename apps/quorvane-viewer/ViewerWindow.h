#pragma once

#include "ViewerOptions.h"
#include "ViewerSession.h"

#include <common/ListenerFailures.h>

#include <Quorvane/Core/SignalConnection.h>

#include <QMainWindow>

#include <atomic>
#include <cstdint>
#include <memory>

class QLabel;
class QTimer;
class QTreeWidget;
class QVBoxLayout;

namespace Quorvane {

class DisplayWidgetMulti;
class InteractiveView;

class RefreshCoalescer;

namespace Viewer {

class InstrumentTable;
class LogView;
class OrientationOverlay;

/// The viewer's window: the algorithms the plugins offer and the stream's panel on the left, the
/// host display (instruments seen from above) in the middle, the instrument table on the right,
/// the log below. The table and the status line are refreshed from the stream's update signal
/// through a RefreshCoalescer (at most 60 times a second). UI thread only.
class ViewerWindow : public QMainWindow
{
public:
    explicit ViewerWindow(const ViewerOptions& options);
    /// Lets go of the stream and the plugins before the widgets go.
    ~ViewerWindow() override;

    /// Loads the plugins, creates the stream and its panel and applies the command line.
    /// False when there is nothing to show (the reason is in the log and on stderr).
    bool start();

    InteractiveView* view() const;

private:
    void buildAlgorithmList();
    void applyOptionsToPanel();
    void connectWhenReady(int triesLeft);
    void refreshTable();
    void takeScreenshotAndQuit();

    ViewerOptions m_options;
    ViewerSession m_session;
    DisplayWidgetMulti* m_display = nullptr;
    OrientationOverlay* m_axes = nullptr;  // a child of the view
    InstrumentTable* m_table = nullptr;
    LogView* m_log = nullptr;
    QTreeWidget* m_algorithms = nullptr;
    QVBoxLayout* m_panelLayout = nullptr;
    QLabel* m_status = nullptr;
    std::unique_ptr<RefreshCoalescer> m_coalescer;
    // Declared before the connections that use it, so it outlives them.
    AppsCommon::ListenerFailures m_listenerFailures{"Viewer", "a stream listener"};
    SignalConnection m_updates;
    SignalConnection m_stateChanges;
    QTimer* m_ageTimer = nullptr;  // ages keep growing while no frame arrives
    std::atomic<std::uint64_t> m_frames{0};
};

}  // namespace Viewer
}  // namespace Quorvane
