#pragma once

#include <Quorvane/Core/CoreExport.h>
#include <Quorvane/Core/LogSink.h>

#include <cstdio>
#include <mutex>

namespace Quorvane {

/// Writes one line per message to a C stream (stderr by default):
///     14:03:07.412 WARNING [AlgorithmFactory] Algorithm already registered: X
/// with " (file.cpp:line)" (the file's name without its folders) appended when a
/// source location was given. Control characters in the category, the text and the
/// file (0x00-0x1F, 0x7F) are written as escapes ("\n", "\x1b", ...), so one message
/// is one line and nothing reaches the terminal raw; only the line feeds that end a
/// text stay line feeds, after the location. Lines from different threads never interleave.
class QUORVANE_CORE_EXPORT ConsoleLogSink : public LogSink
{
public:
    explicit ConsoleLogSink(std::FILE* stream = stderr);
    ~ConsoleLogSink() override;
    void write(const LogEntry& entry) override;

private:
    std::FILE* m_stream;
    std::mutex m_mutex;
};

}  // namespace Quorvane
