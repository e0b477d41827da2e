// The closing fields of a frame record as one value, grouped as they travel: a golden test states
// them in one row, and a mismatch prints them all (the timestamp to its last digit). Compared
// exactly: each is a copy of wire bytes, never a computed value.
#pragma once

#include "NatNetTypes.h"

#include <array>
#include <cstdint>
#include <iosfwd>

namespace NatNetTest {

struct FrameStamps
{
    std::array<uint32_t, 2> timecode{};   // timecode, subframe
    double timestamp = 0.0;               // seconds
    std::array<uint64_t, 3> ticks{};      // camera mid-exposure, data received, transmit
    std::array<uint32_t, 2> precision{};  // precision timestamp: seconds, fraction
    int16_t params = 0;
};

FrameStamps stampsOf(const sFrameOfMocapData& frame);

bool operator==(const FrameStamps& a, const FrameStamps& b);
void PrintTo(const FrameStamps& stamps, std::ostream* out);

}  // namespace NatNetTest
