#include "LogView.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/LogSink.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvane::Viewer {

namespace Internal {

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
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::move(line));
        if (m_lines.size() > kCapacity) {
            m_lines.pop_front();
            ++m_dropped;
        }
    }

    std::vector<std::string> take(std::size_t& dropped)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> lines(m_lines.begin(), m_lines.end());
        m_lines.clear();
        dropped = m_dropped;
        m_dropped = 0;
        return lines;
    }

private:
    std::mutex m_mutex;
    std::deque<std::string> m_lines;
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

LogView::~LogView()
{
    Log::removeSink(m_sink);
}

void LogView::drain()
{
    std::size_t dropped = 0;
    const std::vector<std::string> lines = m_sink->take(dropped);
    if (dropped > 0) {
        appendPlainText(tr("(%1 earlier messages not shown)").arg(dropped));
    }
    for (const std::string& line : lines) {
        appendPlainText(QString::fromStdString(line));
    }
}

}  // namespace Quorvane::Viewer
