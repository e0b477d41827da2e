#pragma once

#include "Probe.h"

#include <cstddef>

namespace NatNetLatency {

/// The module's whole path: the in-process simulator sends frames of `rigidBodies` moving bodies
/// (the scenario's, bitstream 4.1) on loopback; an OptiTrackStream, started through the host's
/// lifecycle, receives them with its NatNet client, decodes them, turns them into instruments in
/// its store and emits its update signal; a listener reads rigid body 1's instrument back from
/// the store and stamps the arrival. The frame's sequence number rides in body 1's x position
/// (unit scale 1, exact in a float below 2^24); its CLOCK_MONOTONIC send time is recorded just
/// before the simulator encodes and sends it.
ProbeResult runFullPath(const ProbeConfig& config);

/// Size in bytes of one frame datagram of the full path, for a raw probe of the same size.
std::size_t fullPathDatagramBytes(int rigidBodies);

/// The most frames one full-path run may send (the sequence number must be exact in a float).
constexpr std::uint64_t kMaxFullPathFrames = 1u << 24;

}  // namespace NatNetLatency
