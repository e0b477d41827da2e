#pragma once

#include "Probe.h"

#include <cstddef>

namespace NatNetLatency {

/// The floor: datagrams of `datagramBytes` (at least 16) between two plain sockets on loopback,
/// at the configured rate, unicast to 127.0.0.1 or multicast to a group on the loopback
/// interface (TTL 0), received by a thread blocked in recv. Each datagram carries its sequence
/// number and its CLOCK_MONOTONIC send time.
ProbeResult runRawUdp(const ProbeConfig& config, std::size_t datagramBytes);

}  // namespace NatNetLatency
