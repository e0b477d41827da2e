#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <atomic>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace Quorvane {

class LogSink;

/// The host's one log, shared by the host and every plugin.
///
/// Levels are the numbers 0 to 4; larger is more severe. A message of level L in
/// category C is accepted when L is at least C's threshold, which is the global
/// level unless setCategoryLevel() gave C one of its own. Callers that build their
/// text first guard it with
///     if (Log::g_globalLevel <= level && Log::isAccepted(level, category)) ...
/// and both halves are cheap on the reject path: one atomic load, and while no
/// category has a threshold of its own, no lock and no allocation.
///
/// Every function is thread-safe. Sinks are called outside the log's lock, possibly
/// from several threads at once.
class QUORVANE_CORE_EXPORT Log
{
public:
    enum Level : int {
        Debug = 0,    ///< per-frame diagnostics, reports
        Verbose = 1,  ///< unusual but harmless details
        Info = 2,     ///< information (the default threshold)
        Warning = 3,  ///< something was refused or ignored
        Error = 4,    ///< a failure
    };

    /// Global threshold; compare it as an int. Default 2.
    static std::atomic<int> g_globalLevel;

    /// Whether a message of `level` in `category` would be delivered to the sinks.
    static bool isAccepted(int level, const std::string& category);
    /// The same for a category given as text (a literal), without building a string.
    static bool isAccepted(int level, const char* category);

    /// Gives `category` a threshold of its own (instead of the global level).
    static void setCategoryLevel(const std::string& category, int level);
    /// Returns `category` to the global level.
    static void clearCategoryLevel(const std::string& category);
    /// All per-category thresholds, and a way to put a saved set back (tests).
    static std::map<std::string, int> categoryLevels();
    static void setCategoryLevels(const std::map<std::string, int>& levels);

    /// Delivers the message to every sink if isAccepted(level, category).
    /// `file` may be empty and `line` -1 when there is no source location.
    static void log(int level, const std::string& category, const std::string& text, const std::string& file,
                    int line);

    /// Adds a sink (a sink added twice is kept once). Shared ownership, because a
    /// sink removed on one thread may still be finishing a write on another; the
    /// last owner destroys it after that write.
    static void addSink(std::shared_ptr<LogSink> sink);
    /// Removes a sink; returns whether it was installed.
    static bool removeSink(const std::shared_ptr<LogSink>& sink);
    /// The console sink (stderr) installed at start-up; remove it to silence stderr.
    static std::shared_ptr<LogSink> consoleSink();

    /// "DEBUG", "VERBOSE", "INFO", "WARNING", "ERROR", or "LEVEL<n>" outside 0..4.
    static std::string levelName(int level);
};

}  // namespace Quorvane

/// Host-side convenience: builds the text only when it would be logged (a `<<` chain, unparenthesised).
///     QUORVANE_LOG(3, "PluginLoader", "Cannot load " << path);  NOLINTBEGIN(bugprone-macro-parentheses)
#define QUORVANE_LOG(level, category, streamExpression)                                             \
    do {                                                                                            \
        const int quorvaneLogLevel_ = (level);                                                      \
        if (::Quorvane::Log::g_globalLevel <= quorvaneLogLevel_ &&                                  \
            ::Quorvane::Log::isAccepted(quorvaneLogLevel_, (category))) {                           \
            std::ostringstream quorvaneLogStream_;                                                  \
            quorvaneLogStream_ << streamExpression;                                                 \
            ::Quorvane::Log::log(quorvaneLogLevel_, (category), quorvaneLogStream_.str(), __FILE__, \
                                 __LINE__);                                                         \
        }                                                                                           \
    } while (false)  // NOLINTEND(bugprone-macro-parentheses)
