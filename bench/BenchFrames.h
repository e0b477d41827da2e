#pragma once

// Frames for the benchmarks, built once outside the timed loops.

#include <natnet/codec/Version.h>

#include <NatNetTypes.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvane::Bench {

/// A frame with `rigidBodies` tracked bodies (IDs 1 to n) at distinct poses with unit
/// quaternions, and nothing else: no markers, skeletons or devices. On the heap, the record is
/// more than half a megabyte.
std::unique_ptr<sFrameOfMocapData> rigidBodyFrame(int rigidBodies, std::int32_t frameNumber = 1);

/// The whole NAT_FRAMEOFDATA datagram of `frame` in the layout of `version`; empty when the
/// codec refuses the frame.
std::vector<std::uint8_t> encodeDatagram(const sFrameOfMocapData& frame, NatNet::Wire::Version version);

}  // namespace Quorvane::Bench
