// Shared by the fuzz targets: the version an input asks for, and a check
// that stops the run when an invariant breaks.
#pragma once

#include "natnet/codec/Version.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace NatNetFuzz {

// Inputs of the versioned targets start with one byte that picks the layout.
inline constexpr NatNet::Wire::Version kVersions[] = {{2, 5}, {2, 6}, {2, 7}, {2, 9}, {3, 0},
                                                      {3, 1}, {4, 0}, {4, 1}, {4, 2}};
inline constexpr size_t kVersionCount = sizeof kVersions / sizeof kVersions[0];

inline NatNet::Wire::Version versionFor(uint8_t selector)
{
    return kVersions[selector % kVersionCount];
}

inline uint8_t selectorFor(NatNet::Wire::Version v)
{
    for (size_t i = 0; i < kVersionCount; ++i) {
        if (kVersions[i].major == v.major && kVersions[i].minor == v.minor) return static_cast<uint8_t>(i);
    }
    return 0;
}

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what)
{
    if (!condition) fail(what);
}

inline bool sameBytes(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize)
{
    return aSize == bSize && (aSize == 0 || std::memcmp(a, b, aSize) == 0);
}

}  // namespace NatNetFuzz
