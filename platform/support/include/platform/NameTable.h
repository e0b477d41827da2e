// Text names of enum values as a table: one {value, name} row per value, and one lookup for
// every enum of the tree that has a text form (the host framework's and the NatNet library's).
#pragma once

#include <cstddef>

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

}  // namespace Platform
