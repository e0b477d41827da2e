#pragma once

// The host log as the benchmarks need it: quiet on the console, every accepted message built
// and handed to a sink that discards it.

#include <Quorvane/Core/LogSink.h>

#include <memory>

namespace Quorvane::Bench {

class DiscardLogSink final : public LogSink
{
public:
    void write(const LogEntry&) override {}
};

/// While it lives: the console sink removed, a discarding sink installed and the global level
/// set to `level`. Restores all three.
class QuietLog
{
public:
    explicit QuietLog(int level);
    ~QuietLog();
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

private:
    std::shared_ptr<LogSink> m_sink;
    int m_savedLevel;
    bool m_consoleRemoved;
};

}  // namespace Quorvane::Bench
