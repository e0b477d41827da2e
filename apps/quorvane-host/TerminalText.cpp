#include "TerminalText.h"

#include <cstdint>
#include <cstdio>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

/// "\xNN" for a byte or an ASCII control, "\uNNNN" for a C1 control.
void appendEscaped(std::string& out, bool unicode, unsigned value)
{
    char buffer[8];
    const int n = unicode ? std::snprintf(buffer, sizeof buffer, "\\u%04X", value)
                          : std::snprintf(buffer, sizeof buffer, "\\x%02X", value);
    if (n > 0) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

/// Length of the valid UTF-8 sequence at `i` (1 to 4) and its code point; 0 when the bytes
/// there are not one (overlong forms and surrogates included).
std::size_t decodeUtf8(const std::string& text, std::size_t i, std::uint32_t& codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace
}  // namespace Internal

std::string terminalSafe(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = Internal::decodeUtf8(text, i, codePoint);
        if (length == 0) {
            Internal::appendEscaped(out, false, static_cast<unsigned char>(text[i]));
            ++i;
        } else if (codePoint < 0x20 || codePoint == 0x7F) {
            Internal::appendEscaped(out, false, codePoint);
            i += length;
        } else if (codePoint >= 0x80 && codePoint <= 0x9F) {
            Internal::appendEscaped(out, true, codePoint);
            i += length;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

std::string fitColumn(const std::string& text, std::size_t width)
{
    if (text.size() <= width || width == 0) {
        return text.size() <= width ? text : std::string();
    }
    std::size_t cut = width - 1;
    // Back to the start of the character the cut falls into.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut) + "~";
}

}  // namespace Host
}  // namespace Quorvane
