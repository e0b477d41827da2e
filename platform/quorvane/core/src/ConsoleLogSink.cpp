#include <Quorvane/Core/ConsoleLogSink.h>

#include <Quorvane/Core/Log.h>

#include <ctime>
#include <string>

namespace Quorvane {

ConsoleLogSink::ConsoleLogSink(std::FILE* stream) : m_stream(stream) {}

ConsoleLogSink::~ConsoleLogSink() = default;

void ConsoleLogSink::write(const LogEntry& entry)
{
    const auto sinceEpoch = entry.time.time_since_epoch();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(entry.time);
    const long long millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char clock[16] = {};
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);

    std::string line = clock;
    line += '.';
    const std::string ms = std::to_string(millis < 0 ? millis + 1000 : millis);
    line += std::string(3 - ms.size(), '0') + ms;
    line += ' ';
    line += Log::levelName(entry.level);
    if (!entry.category.empty()) {
        line += " [";
        line += entry.category;
        line += ']';
    }
    line += ' ';
    line += entry.text;
    if (!entry.file.empty()) {
        // The file's name only: full build paths would drown the message.
        const std::size_t slash = entry.file.find_last_of("/\\");
        line += " (";
        line += slash == std::string_view::npos ? entry.file : entry.file.substr(slash + 1);
        line += ':';
        line += std::to_string(entry.line);
        line += ')';
    }
    line += '\n';

    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
}

}  // namespace Quorvane
