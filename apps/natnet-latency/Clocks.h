#pragma once

// The clocks the probes read: CLOCK_MONOTONIC on both ends of a path (same machine), and CPU
// clocks of single threads.

#include <cstdint>
#include <ctime>

namespace NatNetLatency {

std::uint64_t monotonicNs();

/// CPU time of the calling thread.
std::uint64_t threadCpuNs();

/// The CPU clock of the calling thread, readable from any thread while this one lives.
clockid_t currentThreadCpuClock();

/// CPU time on `clock`; 0 when the clock cannot be read (its thread ended).
std::uint64_t cpuNs(clockid_t clock);

/// Lowers the calling thread's timer slack so that absolute sleeps end close to their deadline.
void tuneTimerSlack();

/// Sleeps until the absolute CLOCK_MONOTONIC time `deadlineNs` (returns at once when it passed).
void sleepUntil(std::uint64_t deadlineNs);

/// The one-minute load average, or -1 when unknown.
double loadAverage1();

/// The kernel's count of UDP datagrams dropped because a receive buffer was full (all sockets
/// of this machine), or -1 when unknown.
long long udpReceiveBufferErrors();

}  // namespace NatNetLatency
