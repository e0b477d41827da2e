#include <Quorvane/Core/ScopedLogCapture.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>

namespace Quorvane {

ScopedLogCapture::ScopedLogCapture(int globalLevel, bool keepConsole)
    : m_sink(std::make_shared<RecordingLogSink>()),
      m_savedLevel(Log::g_globalLevel.load()),
      m_savedCategoryLevels(Log::categoryLevels())
{
    Log::g_globalLevel = globalLevel;
    if (!keepConsole) {
        m_consoleRemoved = Log::removeSink(Log::consoleSink());
    }
    Log::addSink(m_sink);
}

ScopedLogCapture::~ScopedLogCapture()
{
    Log::removeSink(m_sink);
    if (m_consoleRemoved) {
        Log::addSink(Log::consoleSink());
    }
    Log::setCategoryLevels(m_savedCategoryLevels);
    Log::g_globalLevel = m_savedLevel;
}

}  // namespace Quorvane
