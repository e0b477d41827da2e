#include "LogView.h"

#include <common/DoctorHint.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/LogSink.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvane::Viewer {

namespace Internal {

struct QueuedLine
{
    std::string text;
    bool streamConnectFailure = false;  // the hint follows it
};

/// Keeps the newest messages as text lines, for the UI thread to take.
class QueueSink : public LogSink
{
public:
    static constexpr std::size_t kCapacity = 500;

    void write(const LogEntry& entry) override
    {
        std::string line = Log::levelName(entry.level);
        if (!entry.category.empty()) {
            line += " [";
            line += entry.category;
            line += "]";
        }
        line += " ";
        line += entry.text;
        while (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        const bool failure = AppsCommon::isStreamConnectFailure(entry.category, entry.text);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({std::move(line), failure});
        if (m_lines.size() > kCapacity) {
            m_lines.pop_front();
            ++m_dropped;
        }
    }

    std::vector<QueuedLine> take(std::size_t& dropped)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<QueuedLine> lines(m_lines.begin(), m_lines.end());
        m_lines.clear();
        dropped = m_dropped;
        m_dropped = 0;
        return lines;
    }

private:
    std::mutex m_mutex;
    std::deque<QueuedLine> m_lines;
    std::size_t m_dropped = 0;
};

}  // namespace Internal

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent), m_sink(std::make_shared<Internal::QueueSink>())
{
    setObjectName(QStringLiteral("logView"));
    setReadOnly(true);
    setMaximumBlockCount(static_cast<int>(Internal::QueueSink::kCapacity));
    Log::addSink(m_sink);
    connect(&m_timer, &QTimer::timeout, this, [this] { drain(); });
    m_timer.start(100);
}

void LogView::setStreamFailureHint(std::function<std::string()> hint)
{
    m_hint = std::move(hint);
}

LogView::~LogView()
{
    Log::removeSink(m_sink);
}

void LogView::drain()
{
    std::size_t dropped = 0;
    const std::vector<Internal::QueuedLine> lines = m_sink->take(dropped);
    if (dropped > 0) {
        appendPlainText(tr("(%1 earlier messages not shown)").arg(dropped));
    }
    for (const Internal::QueuedLine& line : lines) {
        appendPlainText(QString::fromStdString(line.text));
        if (line.streamConnectFailure && m_hint) {
            const std::string hint = m_hint();
            if (!hint.empty()) appendPlainText(QString::fromStdString(hint));
        }
    }
}

}  // namespace Quorvane::Viewer
