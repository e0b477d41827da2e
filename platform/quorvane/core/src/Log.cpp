#include <Quorvane/Core/Log.h>

#include <Quorvane/Core/ConsoleLogSink.h>
#include <Quorvane/Core/LogSink.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <vector>

namespace Quorvane {

std::atomic<int> Log::g_globalLevel{2};

namespace Internal {
namespace {

using SinkList = std::vector<std::shared_ptr<LogSink>>;

/// Number of categories with a threshold of their own. While it is zero,
/// isAccepted() compares with the global level only: no lock, no allocation.
std::atomic<std::size_t> s_categoryCount{0};

struct LogState
{
    std::shared_mutex levelsMutex;
    std::map<std::string, int, std::less<>> categoryLevels;

    std::mutex sinksMutex;
    /// Copy-on-write: log() copies the pointer under the lock and writes outside it.
    std::shared_ptr<const SinkList> sinks;
    std::shared_ptr<LogSink> console;

    LogState() : console(std::make_shared<ConsoleLogSink>())
    {
        sinks = std::make_shared<const SinkList>(SinkList{console});
    }
};

/// Never destroyed: plugins and threads may still log during static destruction.
LogState& state()
{
    static LogState* s = new LogState();
    return *s;
}

}  // namespace
}  // namespace Internal

namespace Internal {
namespace {
bool accepted(int level, std::string_view category)
{
    if (s_categoryCount.load(std::memory_order_acquire) == 0) {
        return level >= Log::g_globalLevel.load(std::memory_order_relaxed);
    }
    LogState& s = state();
    std::shared_lock<std::shared_mutex> lock(s.levelsMutex);
    const auto it = s.categoryLevels.find(category);
    const int threshold =
        it == s.categoryLevels.end() ? Log::g_globalLevel.load(std::memory_order_relaxed) : it->second;
    return level >= threshold;
}
}  // namespace
}  // namespace Internal

bool Log::isAccepted(int level, const std::string& category)
{
    return Internal::accepted(level, category);
}

bool Log::isAccepted(int level, const char* category)
{
    return Internal::accepted(level, category != nullptr ? std::string_view(category) : std::string_view());
}

void Log::setCategoryLevel(const std::string& category, int level)
{
    Internal::LogState& s = Internal::state();
    std::unique_lock<std::shared_mutex> lock(s.levelsMutex);
    s.categoryLevels[category] = level;
    Internal::s_categoryCount.store(s.categoryLevels.size(), std::memory_order_release);
}

void Log::clearCategoryLevel(const std::string& category)
{
    Internal::LogState& s = Internal::state();
    std::unique_lock<std::shared_mutex> lock(s.levelsMutex);
    const auto it = s.categoryLevels.find(category);
    if (it != s.categoryLevels.end()) {
        s.categoryLevels.erase(it);
    }
    Internal::s_categoryCount.store(s.categoryLevels.size(), std::memory_order_release);
}

std::map<std::string, int> Log::categoryLevels()
{
    Internal::LogState& s = Internal::state();
    std::shared_lock<std::shared_mutex> lock(s.levelsMutex);
    return std::map<std::string, int>(s.categoryLevels.begin(), s.categoryLevels.end());
}

void Log::setCategoryLevels(const std::map<std::string, int>& levels)
{
    Internal::LogState& s = Internal::state();
    std::unique_lock<std::shared_mutex> lock(s.levelsMutex);
    s.categoryLevels = std::map<std::string, int, std::less<>>(levels.begin(), levels.end());
    Internal::s_categoryCount.store(s.categoryLevels.size(), std::memory_order_release);
}

void Log::log(int level, const std::string& category, const std::string& text, const std::string& file,
              int line)
{
    if (!isAccepted(level, category)) {
        return;
    }
    Internal::LogState& s = Internal::state();
    std::shared_ptr<const Internal::SinkList> sinks;
    {
        std::lock_guard<std::mutex> lock(s.sinksMutex);
        sinks = s.sinks;
    }
    LogEntry entry;
    entry.level = level;
    entry.category = category;
    entry.text = text;
    entry.file = file;
    entry.line = line;
    entry.time = std::chrono::system_clock::now();
    for (const std::shared_ptr<LogSink>& sink : *sinks) {
        // A failing sink must not break the code that logs (often a library thread).
        try {
            sink->write(entry);
        } catch (...) {
        }
    }
}

void Log::addSink(std::shared_ptr<LogSink> sink)
{
    if (!sink) {
        return;
    }
    Internal::LogState& s = Internal::state();
    std::lock_guard<std::mutex> lock(s.sinksMutex);
    if (std::find(s.sinks->begin(), s.sinks->end(), sink) != s.sinks->end()) {
        return;
    }
    auto next = std::make_shared<Internal::SinkList>(*s.sinks);
    next->push_back(std::move(sink));
    s.sinks = std::move(next);
}

bool Log::removeSink(const std::shared_ptr<LogSink>& sink)
{
    Internal::LogState& s = Internal::state();
    std::lock_guard<std::mutex> lock(s.sinksMutex);
    const auto it = std::find(s.sinks->begin(), s.sinks->end(), sink);
    if (it == s.sinks->end()) {
        return false;
    }
    auto next = std::make_shared<Internal::SinkList>(*s.sinks);
    next->erase(next->begin() + (it - s.sinks->begin()));
    s.sinks = std::move(next);
    return true;
}

std::shared_ptr<LogSink> Log::consoleSink()
{
    return Internal::state().console;
}

std::string Log::levelName(int level)
{
    switch (level) {
        case Debug:
            return "DEBUG";
        case Verbose:
            return "VERBOSE";
        case Info:
            return "INFO";
        case Warning:
            return "WARNING";
        case Error:
            return "ERROR";
        default:
            return "LEVEL" + std::to_string(level);
    }
}

}  // namespace Quorvane
