#include <Quorvane/Core/ConsoleLogSink.h>

#include <Quorvane/Core/Log.h>

#include <ctime>
#include <string>
#include <string_view>

namespace Quorvane {

namespace Internal {
namespace {

/// Appends `text` with every control character (0x00-0x1F, 0x7F) written as an escape
/// ("\n", "\t", "\x1b", ...), so that names from the network can neither split a
/// console line nor reach the terminal as a control sequence.
void appendEscaped(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
            continue;
        }
        out += '\\';
        switch (c) {
            case '\n':
                out += 'n';
                break;
            case '\r':
                out += 'r';
                break;
            case '\t':
                out += 't';
                break;
            default:
                out += 'x';
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0f];
        }
    }
}

}  // namespace
}  // namespace Internal

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
        Internal::appendEscaped(line, entry.category);
        line += ']';
    }
    line += ' ';
    // Many messages end in line feeds of their own; those stay line feeds (after the
    // location), as they always looked. Any other control character is escaped.
    const std::size_t bodyEnd = entry.text.find_last_not_of('\n') + 1;  // 0 when all line feeds
    Internal::appendEscaped(line, entry.text.substr(0, bodyEnd));
    if (!entry.file.empty()) {
        // The file's name only: full build paths would drown the message.
        const std::size_t slash = entry.file.find_last_of("/\\");
        line += " (";
        Internal::appendEscaped(line,
                                slash == std::string_view::npos ? entry.file : entry.file.substr(slash + 1));
        line += ':';
        line += std::to_string(entry.line);
        line += ')';
    }
    line.append(entry.text.size() - bodyEnd, '\n');
    line += '\n';

    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
}

}  // namespace Quorvane
