#include "natnet/codec/Version.h"

#include <charconv>

namespace NatNet::Wire {

namespace {

// One part: 1 to 3 digits, 0..255. Advances `text` past the digits.
std::optional<uint8_t> parsePart(std::string_view& text)
{
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 3) {
        return std::nullopt;
    }
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + digits, value);
    if (value > 255) {
        return std::nullopt;
    }
    text.remove_prefix(digits);
    return static_cast<uint8_t>(value);
}

}  // namespace

std::optional<Version> Version::parse(std::string_view text)
{
    uint8_t parts[4] = {};
    size_t count = 0;
    while (count < 4) {
        const std::optional<uint8_t> part = parsePart(text);
        if (!part) {
            return std::nullopt;
        }
        parts[count++] = *part;
        if (text.empty()) {
            break;
        }
        if (text.front() != '.') {
            return std::nullopt;
        }
        text.remove_prefix(1);
    }
    if (!text.empty() || count < 2) {
        return std::nullopt;
    }
    return Version(parts[0], parts[1], parts[2], parts[3]);
}

}  // namespace NatNet::Wire
