#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane {
namespace Host {

/// The pieces of a JSON line, appended to a buffer the caller keeps, so that a line costs no
/// allocation once the buffer has grown to the longest line. The text is what nlohmann::json's
/// `dump()` writes for the same values (the summary and the poses read as they always did).
namespace JsonText {

/// `text` as a JSON string, quotes included. Names come from the tracking server in no promised
/// encoding: each byte sequence that is not UTF-8 becomes U+FFFD, and control characters are
/// escaped.
void appendString(std::string& out, std::string_view text);

/// The shortest text that reads back as `value` ("1.0", "0.25", "1e+20"); `null` when it is
/// not finite, since JSON has no NaN or infinity.
void appendNumber(std::string& out, double value);

void appendNumber(std::string& out, std::uint64_t value);

/// One object's members appended to `out`, with the braces and the commas between them.
class Object
{
public:
    /// Opens the object: `{`.
    explicit Object(std::string& out);

    Object& text(std::string_view key, std::string_view value);
    Object& number(std::string_view key, double value);
    Object& number(std::string_view key, std::uint64_t value);
    /// Writes `"key":` and returns the buffer for a value the caller writes (an array, an
    /// object).
    std::string& member(std::string_view key);
    /// Closes the object: `}`.
    void close();

private:
    std::string& m_out;
    bool m_first = true;
};

}  // namespace JsonText
}  // namespace Host
}  // namespace Quorvane
