#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace Quorvane::Viewer {

namespace Internal {
class QueueSink;
}

/// The host log as the user sees it: the last messages, newest at the bottom. Messages come from
/// any thread into a bounded queue that the UI thread drains a few times a second, so a flood of
/// messages neither blocks the tracking threads nor the window.
class LogView : public QPlainTextEdit
{
public:
    explicit LogView(QWidget* parent = nullptr);
    /// Removes its sink from the host log first.
    ~LogView() override;

    /// Called on the UI thread after the module's line that its stream could not connect; a
    /// line it returns (the natnet-doctor hint) is shown right after that line.
    void setStreamFailureHint(std::function<std::string()> hint);

private:
    void drain();

    std::shared_ptr<Internal::QueueSink> m_sink;
    std::function<std::string()> m_hint;
    QTimer m_timer;
};

}  // namespace Quorvane::Viewer
