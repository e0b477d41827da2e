#pragma once

#include <Quorvane/Core/SignalConnection.h>
#include <Quorvane/Core/SignalReceiver.h>
#include <Quorvane/Stream/RefreshCoalescer.h>
#include <Quorvane/Stream/StreamExport.h>

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

namespace Quorvane {

class TrackingStream;
struct TrackingInstrument;

namespace Internal {

/// A tracker position in millimetres.
struct TrackPoint
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

/// What a view remembers of one instrument from paint to paint (UI thread only).
struct InstrumentTrack
{
    std::deque<TrackPoint> trail;  ///< tracked positions, oldest first
    bool everTracked = false;
    TrackPoint lastTracked;
    std::uint64_t seenUpdates = 0;  ///< the instrument's updateCount at the last paint
};
}  // namespace Internal

/// One view of the host display. A 2D view can show the instruments of a tracking stream seen
/// along one axis: each instrument a dot at its position (millimetres around the view's centre)
/// with its name and a short trail of its recent tracked positions, over a millimetre grid with
/// labelled axes. Tracked instruments are drawn filled, in colour; an instrument without valid
/// tracking is drawn greyed out and hollow where it was last tracked (trackers report no usable
/// position then, often the origin), or at its reported position if it was never tracked here.
///
/// Threads: a widget, so it lives on the UI thread, and so do setStream() and the drawing. The
/// stream's update signal arrives on the stream's receive thread; the view only posts a refresh
/// to the UI thread from there, at most one at a time, and refreshes at most `kMaxRefreshHz`
/// times a second however fast the stream updates. A stream destroyed while attached is
/// detached by its aboutToBeDestroyed signal, on whatever thread destroys it.
class QUORVANE_STREAM_EXPORT InteractiveView : public QWidget, public SignalReceiver
{
    Q_OBJECT

public:
    /// Which two tracker axes the view shows, horizontal first. XZ looks from above at a tracker
    /// whose y axis points up (as OptiTrack's does).
    enum class Plane { XY, XZ, YZ };

    static constexpr int kMaxRefreshHz = 60;

    explicit InteractiveView(QWidget* parent = nullptr);
    ~InteractiveView() override;

    /// Shows `stream` (not owned; null detaches). Replaces the stream shown before.
    void setStream(TrackingStream* stream);
    TrackingStream* stream() const;

    void setPlane(Plane plane);
    Plane plane() const { return m_plane; }
    /// Half the width of the area shown, in millimetres (the shorter side of the widget).
    void setHalfRangeMm(double halfRangeMm);
    double halfRangeMm() const { return m_halfRangeMm; }

    /// Widget position of a tracker position (millimetres) in the current plane and range.
    QPointF toWidget(double x, double y, double z) const;

    /// Tracked positions kept per instrument for its trail (at most one per paint); 0 draws no
    /// trails. Default 40.
    void setTrailLength(int points);
    int trailLength() const { return m_trailLength; }

    /// One instrument as the last paint drew it.
    struct DrawnInstrument
    {
        std::string identifier;
        std::string name;
        QPointF position;  ///< widget coordinates of its dot
        bool tracked = false;
        /// The tracker position (mm) the dot stands for: the current one, or where it was last tracked.
        double xMm = 0.0;
        double yMm = 0.0;
        double zMm = 0.0;
    };
    /// What the last paint drew, in drawing order (for screenshots and tests).
    const std::vector<DrawnInstrument>& drawnInstruments() const { return m_drawn; }

    /// Refreshes asked for by the stream and carried out (each one an update() of the widget).
    std::uint64_t refreshCount() const { return m_refresher.refreshes(); }
    /// Paint events drawn.
    std::uint64_t paintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onStreamDestroying();
    void updateTracks(const std::vector<TrackingInstrument>& instruments);
    void drawGrid(QPainter& painter) const;

    Plane m_plane = Plane::XZ;
    double m_halfRangeMm = 1000.0;

    mutable std::mutex m_streamMutex;
    TrackingStream* m_stream = nullptr;  // guarded by m_streamMutex
    SignalConnection m_updateConnection;
    SignalConnection m_destroyConnection;

    // Turns the stream's updates (any thread) into at most kMaxRefreshHz repaints on the UI thread.
    RefreshCoalescer m_refresher;
    std::uint64_t m_paintCount = 0;

    int m_trailLength = 40;
    std::unordered_map<std::string, Internal::InstrumentTrack> m_tracks;  // by identifier
    std::vector<DrawnInstrument> m_drawn;
};

}  // namespace Quorvane
