// Text names of enum values as a table: one {value, name} row per value, and one lookup for
// every enum of the tree that has a text form (the host framework's and the NatNet library's).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace Platform {

template <typename Enum>
struct NameRow
{
    Enum value;
    const char* name;
};

/// The name of `value` in `rows`, or `fallback` when no row has it (a number cast to the enum).
template <typename Enum, std::size_t N>
constexpr const char* nameOf(Enum value, const NameRow<Enum> (&rows)[N], const char* fallback)
{
    for (const NameRow<Enum>& row : rows) {
        if (row.value == value) return row.name;
    }
    return fallback;
}

/// The value that `rows` name `name`, or nothing (text read back, e.g. from a command line).
template <typename Enum, std::size_t N>
constexpr std::optional<Enum> valueOf(std::string_view name, const NameRow<Enum> (&rows)[N])
{
    for (const NameRow<Enum>& row : rows) {
        if (name == row.name) return row.value;
    }
    return std::nullopt;
}

}  // namespace Platform
