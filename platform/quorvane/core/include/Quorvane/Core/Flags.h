#pragma once

#include <type_traits>

namespace Quorvane {

/// A set of bits of the enumeration E (whose enumerators are single bits).
/// Value type; not atomic.
template <class E>
class Flags
{
    static_assert(std::is_enum<E>::value, "Flags<E> needs an enumeration");

public:
    using Raw = std::underlying_type_t<E>;

    constexpr Flags() noexcept = default;
    constexpr Flags(E bit) noexcept : m_raw(static_cast<Raw>(bit)) {}  // NOLINT: implicit by design
    constexpr static Flags fromRaw(Raw raw) noexcept
    {
        Flags f;
        f.m_raw = raw;
        return f;
    }

    constexpr Raw raw() const noexcept { return m_raw; }
    constexpr bool empty() const noexcept { return m_raw == 0; }
    /// True when every bit of `bits` is set (an empty `bits` is always contained).
    constexpr bool test(Flags bits) const noexcept { return (m_raw & bits.m_raw) == bits.m_raw; }
    /// True when at least one bit of `bits` is set.
    constexpr bool testAny(Flags bits) const noexcept { return (m_raw & bits.m_raw) != 0; }

    constexpr Flags& operator|=(Flags other) noexcept
    {
        m_raw = static_cast<Raw>(m_raw | other.m_raw);
        return *this;
    }
    constexpr Flags& operator&=(Flags other) noexcept
    {
        m_raw = static_cast<Raw>(m_raw & other.m_raw);
        return *this;
    }
    constexpr Flags& reset(Flags bits) noexcept
    {
        m_raw = static_cast<Raw>(m_raw & ~bits.m_raw);
        return *this;
    }

    friend constexpr Flags operator|(Flags a, Flags b) noexcept { return a |= b; }
    friend constexpr Flags operator&(Flags a, Flags b) noexcept { return a &= b; }
    friend constexpr bool operator==(Flags a, Flags b) noexcept { return a.m_raw == b.m_raw; }
    friend constexpr bool operator!=(Flags a, Flags b) noexcept { return a.m_raw != b.m_raw; }

private:
    Raw m_raw = 0;
};

}  // namespace Quorvane

/// Lets `E::A | E::B` build a Flags<E>; use once after an enumeration's definition,
/// in the enumeration's namespace. E is a type: not parenthesised.  NOLINTBEGIN(bugprone-macro-parentheses)
#define QUORVANE_DECLARE_FLAG_OPERATORS(E)                        \
    constexpr ::Quorvane::Flags<E> operator|(E a, E b) noexcept   \
    {                                                             \
        return ::Quorvane::Flags<E>(a) | ::Quorvane::Flags<E>(b); \
    }  // NOLINTEND(bugprone-macro-parentheses)
