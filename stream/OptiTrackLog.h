#pragma once

#include <Quorvane/Core/Log.h>

#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

namespace Quorvane::Internal {

// Log categories of the stream. Kept as objects so that a check on the frame path builds no string.
inline const std::string kStreamCategory = "OptiTrackStream";
inline const std::string kFrameCategory = "OptiTrack";
inline const std::string kNoCategory;

/// The host's guard: a message is built only when this holds.
inline bool logAccepted(int level, const std::string& category)
{
    return Log::g_globalLevel <= level && Log::isAccepted(level, category);
}

/// One log message: the parts are written, in a fresh default-formatted stream, only when the
/// message will be logged.
template <class... Parts>
void logMessage(int level, const std::string& category, const Parts&... parts)
{
    if (!logAccepted(level, category)) return;
    std::ostringstream text;
    (text << ... << parts);
    Log::log(level, category, text.str(), std::string(), -1);
}

/// A text field of a NatNet record up to its terminating zero, never past the field's size,
/// so a field that lost its terminator cannot be over-read. A null pointer reads as empty.
inline std::string_view boundedText(const char* field, std::size_t capacity)
{
    if (field == nullptr) return {};
    return std::string_view(field, strnlen(field, capacity));
}

template <std::size_t N>
std::string_view boundedText(const char (&field)[N])
{
    return boundedText(field, N);
}

/// A count from a NatNet record limited to what the record can hold: negative counts give 0.
inline int boundedCount(int count, std::size_t capacity)
{
    if (count <= 0) return 0;
    return static_cast<std::size_t>(count) < capacity ? count : static_cast<int>(capacity);
}

/// Four version bytes as "a.b.c.d".
struct VersionText
{
    const unsigned char* bytes;
    std::size_t count;
};

inline std::ostream& operator<<(std::ostream& out, VersionText version)
{
    for (std::size_t i = 0; i < version.count; ++i) {
        if (i > 0) out << '.';
        out << static_cast<unsigned>(version.bytes[i]);
    }
    return out;
}

}  // namespace Quorvane::Internal
