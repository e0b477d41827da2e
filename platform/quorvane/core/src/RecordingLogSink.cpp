#include <Quorvane/Core/RecordingLogSink.h>

#include <algorithm>

namespace Quorvane {

RecordingLogSink::RecordingLogSink() = default;

RecordingLogSink::~RecordingLogSink() = default;

void RecordingLogSink::write(const LogEntry& entry)
{
    Record record{entry.level, std::string(entry.category), std::string(entry.text)};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.push_back(std::move(record));
    }
    m_changed.notify_all();
}

std::vector<RecordingLogSink::Record> RecordingLogSink::records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::size_t RecordingLogSink::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}

void RecordingLogSink::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

std::size_t RecordingLogSink::count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_records.begin(), m_records.end(), [&](const Record& r) { return r.text == text; }));
}

std::size_t RecordingLogSink::count(int level, const std::string& category, const std::string& text) const
{
    const Record wanted{level, category, text};
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count(m_records.begin(), m_records.end(), wanted));
}

std::size_t RecordingLogSink::countContaining(const std::string& part) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_records.begin(), m_records.end(), [&](const Record& r) {
        return r.text.find(part) != std::string::npos;
    }));
}

bool RecordingLogSink::waitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
                               std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return predicate(m_records); });
}

}  // namespace Quorvane
