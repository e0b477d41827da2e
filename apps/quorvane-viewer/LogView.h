#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <memory>

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

private:
    void drain();

    std::shared_ptr<Internal::QueueSink> m_sink;
    QTimer m_timer;
};

}  // namespace Quorvane::Viewer
