// Strict unsigned decimal text for the transport's address and port parsing.
// The transport links nothing of the codec (nor the codec of it), so
// Version::parse reads its digits on its own.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace NatNet::Net {

// Digits only (no sign, no blanks), the whole text, within T's range.
template <typename T>
std::optional<T> parseDecimal(std::string_view text)
{
    static_assert(std::is_unsigned_v<T> && !std::is_same_v<T, bool>, "an unsigned integer type");
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace NatNet::Net
