#pragma once

#include <Quorvane/Core/CoreExport.h>
#include <Quorvane/Core/LogSink.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvane {

/// Keeps (level, category, text) of every message it receives, for exact log
/// assertions in tests. Thread-safe: messages may arrive from any thread while a
/// test reads, clears or waits.
class QUORVANE_CORE_EXPORT RecordingLogSink : public LogSink
{
public:
    struct Record
    {
        int level = 0;
        std::string category;
        std::string text;
        bool operator==(const Record& other) const
        {
            return level == other.level && category == other.category && text == other.text;
        }
    };

    RecordingLogSink();
    ~RecordingLogSink() override;
    void write(const LogEntry& entry) override;

    /// A copy of the records so far, in arrival order.
    std::vector<Record> records() const;
    std::size_t size() const;
    void clear();

    /// Number of records with exactly this text (any level and category).
    std::size_t count(const std::string& text) const;
    /// Number of records equal to (level, category, text).
    std::size_t count(int level, const std::string& category, const std::string& text) const;
    /// Number of records whose text contains `part`.
    std::size_t countContaining(const std::string& part) const;

    /// Waits until `predicate` holds for the records (checked on every new record),
    /// or until `timeout` has passed; returns whether it held.
    bool waitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
                 std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Record> m_records;
};

}  // namespace Quorvane
