#include "JsonText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace Quorvane {
namespace Host {
namespace JsonText {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void appendAscii(std::string& out, char c)
{
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        constexpr std::string_view kHex = "0123456789abcdef";
        out += "\\u00";
        out += kHex[static_cast<unsigned char>(c) >> 4U];
        out += kHex[static_cast<unsigned char>(c) & 0xFU];
        return;
    }
    out += c;
}

/// The continuation bytes a lead byte needs, and the range its first continuation byte must
/// fall in (which rules out overlong forms, surrogates and code points above U+10FFFF).
struct Lead
{
    int continuations = -1;  // -1: not a lead byte
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Lead leadOf(unsigned char byte)
{
    if (byte >= 0xC2 && byte <= 0xDF) return {1, 0x80, 0xBF};
    if (byte == 0xE0) return {2, 0xA0, 0xBF};
    if (byte == 0xED) return {2, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF) return {2, 0x80, 0xBF};
    if (byte == 0xF0) return {3, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3) return {3, 0x80, 0xBF};
    if (byte == 0xF4) return {3, 0x80, 0x8F};
    return {};
}

/// Appends the exponent as nlohmann::json does: a sign and at least two digits.
void appendExponent(std::string& out, int exponent)
{
    out += exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) {
        out += '0';
    }
    std::array<char, 8> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
    out.append(digits.data(), result.ptr);
}

}  // namespace

void appendString(std::string& out, std::string_view text)
{
    out += '"';
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            appendAscii(out, text[i]);
            ++i;
            continue;
        }
        const Lead lead = leadOf(byte);
        if (lead.continuations < 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        bool complete = true;
        for (int k = 0; k < lead.continuations; ++k, ++next) {
            const unsigned char low = k == 0 ? lead.low : 0x80;
            const unsigned char high = k == 0 ? lead.high : 0xBF;
            if (next >= size) {
                complete = false;
                break;
            }
            const auto continuation = static_cast<unsigned char>(text[next]);
            if (continuation < low || continuation > high) {
                complete = false;
                break;
            }
        }
        if (complete) {
            out.append(text.substr(i, next - i));
        } else {
            // One replacement for the broken sequence; the byte that broke it is read again,
            // since it may start a sequence of its own.
            out += kReplacement;
        }
        i = next;
    }
    out += '"';
}

void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // The shortest digits that read back as the value, in scientific form: [-]d[.ddd]e±x.
    std::array<char, 32> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::scientific);
    const char* p = text.data();
    const char* const end = result.ptr;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    std::array<char, 20> digits{};
    int count = 0;
    for (; p != end && *p != 'e'; ++p) {
        if (*p != '.') {
            digits[static_cast<std::size_t>(count++)] = *p;
        }
    }
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    // The value is 0.d1d2...dk x 10^point; nlohmann::json writes plain decimals for points
    // from -3 to 15 and the exponent form beyond.
    const int point = exponent + 1;
    const std::string_view all(digits.data(), static_cast<std::size_t>(count));
    if (count <= point && point <= 15) {
        out += all;
        out.append(static_cast<std::size_t>(point - count), '0');
        out += ".0";
    } else if (point > 0 && point <= 15) {
        out += all.substr(0, static_cast<std::size_t>(point));
        out += '.';
        out += all.substr(static_cast<std::size_t>(point));
    } else if (point > -4 && point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += all;
    } else {
        out += all.front();
        if (count > 1) {
            out += '.';
            out += all.substr(1);
        }
        out += 'e';
        appendExponent(out, point - 1);
    }
}

void appendNumber(std::string& out, std::uint64_t value)
{
    std::array<char, 24> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), result.ptr);
}

Object::Object(std::string& out) : m_out(out)
{
    m_out += '{';
}

std::string& Object::member(std::string_view key)
{
    if (!m_first) {
        m_out += ',';
    }
    m_first = false;
    appendString(m_out, key);
    m_out += ':';
    return m_out;
}

Object& Object::text(std::string_view key, std::string_view value)
{
    appendString(member(key), value);
    return *this;
}

Object& Object::number(std::string_view key, double value)
{
    appendNumber(member(key), value);
    return *this;
}

Object& Object::number(std::string_view key, std::uint64_t value)
{
    appendNumber(member(key), value);
    return *this;
}

void Object::close()
{
    m_out += '}';
}

}  // namespace JsonText
}  // namespace Host
}  // namespace Quorvane
