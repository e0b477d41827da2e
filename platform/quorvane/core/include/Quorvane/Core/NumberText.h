#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace Quorvane {
namespace NumberText {

/// Strict decimal integer: an optional sign ('+', or '-' for signed types),
/// then digits only, the whole text, within T's range; nullopt otherwise.
template <typename T>
std::optional<T> parseInteger(std::string_view text)
{
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>, "an integer type");
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;  // "+-1"
        }
    }
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

/// Strict finite number in C notation whatever the process locale (decimal
/// point, optional sign and exponent), the whole text; no blanks, hexadecimal
/// form, infinity or NaN, and nothing out of double's range.
QUORVANE_CORE_EXPORT std::optional<double> parseDouble(std::string_view text);

}  // namespace NumberText
}  // namespace Quorvane
