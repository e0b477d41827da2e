#pragma once

#include "Probe.h"

#include <cstddef>

namespace NatNetLatency {

/// The floor: datagrams of `datagramBytes` (at least 16) between two plain sockets on loopback,
/// at the configured rate, unicast to 127.0.0.1 or multicast to a group on the loopback
/// interface (TTL 0), received by a thread blocked in recv. Each datagram carries its sequence
/// number and its CLOCK_MONOTONIC send time.
///
/// With `readiness` the receiver waits the way an event loop (the NatNet client's Asio) does:
/// epoll_wait until the socket is readable, then non-blocking reads until none is left; the
/// difference to the blocking floor is what waiting through a reactor costs.
ProbeResult runRawUdp(const ProbeConfig& config, std::size_t datagramBytes, bool readiness = false);

}  // namespace NatNetLatency
