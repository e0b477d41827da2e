// The closing fields of a frame record, in the order they travel, as one value: a golden test
// states them in one row, and a mismatch prints every one of them.
#pragma once

#include "NatNetTypes.h"

#include <cstdint>
#include <iosfwd>

namespace NatNetTest {

struct FrameStamps
{
    uint32_t timecode = 0;
    uint32_t timecodeSubframe = 0;
    double timestamp = 0.0;
    uint64_t cameraMidExposure = 0;
    uint64_t cameraDataReceived = 0;
    uint64_t transmit = 0;
    uint32_t precisionSecs = 0;
    uint32_t precisionFractionalSecs = 0;
    int16_t params = 0;
};

FrameStamps stampsOf(const sFrameOfMocapData& frame);

// Exact: every field is copied from the wire, never computed.
bool operator==(const FrameStamps& a, const FrameStamps& b);
void PrintTo(const FrameStamps& stamps, std::ostream* out);

}  // namespace NatNetTest
