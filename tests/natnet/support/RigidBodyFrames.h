// Frames of tracked rigid bodies and nothing else: the one builder that the network,
// module and fault suites send.
#pragma once

#include "NatNetTypes.h"

#include <cstdint>
#include <memory>

namespace NatNetTest {

/// A frame record on the heap (it is large), all zero.
std::unique_ptr<sFrameOfMocapData> newFrame();

/// Sets `frame` to frame `number` (timestamp number / 120 s) with `bodies` tracked rigid
/// bodies, IDs 1..bodies, body i at (0.1 (i + 1), 1.5, -0.25 (number % 7)) in the server's
/// units, identity orientation, mean error 0.0005; no other data.
void buildFrame(sFrameOfMocapData& frame, std::int32_t number, int bodies);

}  // namespace NatNetTest
