#include "BenchLog.h"

#include <Quorvane/Core/Log.h>

namespace Quorvane::Bench {

QuietLog::QuietLog(int level)
    : m_sink(std::make_shared<DiscardLogSink>()),
      m_savedLevel(Log::g_globalLevel.load()),
      m_consoleRemoved(Log::removeSink(Log::consoleSink()))
{
    Log::addSink(m_sink);
    Log::g_globalLevel = level;
}

QuietLog::~QuietLog()
{
    Log::g_globalLevel = m_savedLevel;
    Log::removeSink(m_sink);
    if (m_consoleRemoved) Log::addSink(Log::consoleSink());
}

}  // namespace Quorvane::Bench
