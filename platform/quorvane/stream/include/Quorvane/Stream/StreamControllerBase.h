#pragma once

#include <Quorvane/Core/SignalConnection.h>
#include <Quorvane/Core/SignalReceiver.h>
#include <Quorvane/Lib/AlgorithmController.h>
// Complete types for display() and for the views panels show through it.
#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/StreamExport.h>

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <memory>

class QLabel;
class QPushButton;

namespace Quorvane {

class Stream;
class StreamIoAlgorithm;

/// Base of the panels that control a stream created by a StreamIoAlgorithm.
///
/// Two-step construction as for every panel: the constructor builds the widget, init() (called
/// by the host once the panel has its place) picks up the algorithm's current stream and the
/// display. The display is, in this order of preference: the one given with setDisplay(), the
/// application's (DisplayWidgetMulti::applicationDisplay()), or one the panel creates and owns
/// (a hidden top-level window; so panels also work without an application, e.g. in tests).
///
/// With `defaultControls` the base fills the panel with the host's generic controls: the
/// stream's state and Start/Stop buttons. A panel with a form of its own passes false and gets
/// an empty widget without a layout.
///
/// UI thread only. The stream is not owned (the algorithm or the host owns it).
class QUORVANE_STREAM_EXPORT StreamControllerBase : public QWidget,
                                                    public AlgorithmController,
                                                    public SignalReceiver
{
    Q_OBJECT

public:
    StreamControllerBase(StreamIoAlgorithm* algorithm, bool defaultControls);
    ~StreamControllerBase() override;

    void init() override;

    /// The algorithm's stream as init() found it; null before init() or when it had none.
    Stream* stream() const { return m_stream.load(); }
    /// The host display; null before init().
    DisplayWidgetMulti* display() const { return m_display; }
    /// Gives the panel a display before init() (not owned).
    void setDisplay(DisplayWidgetMulti* display);
    StreamIoAlgorithm* streamAlgorithm() const { return m_streamAlgorithm; }

private:
    void buildDefaultControls();
    Q_INVOKABLE void showState();

    StreamIoAlgorithm* m_streamAlgorithm;
    bool m_defaultControls;
    // Cleared by the stream's aboutToBeDestroyed, which may come from another thread.
    std::atomic<Stream*> m_stream{nullptr};
    QPointer<DisplayWidgetMulti> m_display;
    std::unique_ptr<DisplayWidgetMulti> m_ownDisplay;
    SignalConnection m_stateConnection;
    SignalConnection m_destroyConnection;
    QLabel* m_stateLabel = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
};

}  // namespace Quorvane
