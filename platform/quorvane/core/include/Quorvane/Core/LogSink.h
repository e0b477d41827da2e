#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <chrono>
#include <string_view>

namespace Quorvane {

/// One message as the log hands it to its sinks. The views are valid only during
/// the write() call; a sink that keeps a message copies it.
struct LogEntry
{
    int level = 0;
    std::string_view category;
    std::string_view text;
    std::string_view file;  ///< empty when the caller gave no source location
    int line = -1;
    std::chrono::system_clock::time_point time;
};

/// Where accepted log messages go. write() may be called from several threads at
/// once (the NatNet receive thread logs too), so every sink guards its own state.
class QUORVANE_CORE_EXPORT LogSink
{
public:
    virtual ~LogSink();
    virtual void write(const LogEntry& entry) = 0;
};

}  // namespace Quorvane
