#pragma once

#include <Quorvane/Core/CoreExport.h>
#include <Quorvane/Core/NotCopyable.h>

#include <map>
#include <memory>
#include <string>

namespace Quorvane {

class RecordingLogSink;

/// For tests: while it lives, a RecordingLogSink receives every message from
/// `globalLevel` up, and (unless `keepConsole`) stderr stays quiet. The destructor
/// removes the sink and puts back the global level, the per-category thresholds
/// and the console sink as they were.
class QUORVANE_CORE_EXPORT ScopedLogCapture : private Utils::NotCopyable
{
public:
    explicit ScopedLogCapture(int globalLevel = 0, bool keepConsole = false);
    ~ScopedLogCapture();

    RecordingLogSink& sink() const { return *m_sink; }

private:
    std::shared_ptr<RecordingLogSink> m_sink;
    int m_savedLevel;
    std::map<std::string, int> m_savedCategoryLevels;
    bool m_consoleRemoved = false;
};

}  // namespace Quorvane
