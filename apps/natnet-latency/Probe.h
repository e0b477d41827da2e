#pragma once

// What the two probes of the latency tool share: their settings and their result.

#include "LatencyStats.h"

#include <cstdint>
#include <string>

namespace NatNetLatency {

struct ProbeConfig
{
    double rateHz = 1000.0;
    int rigidBodies = 32;
    /// Measured time; before it, warmupSeconds of frames that count for nothing (first
    /// sightings, socket and cache warm-up).
    double durationSeconds = 3.0;
    double warmupSeconds = 0.25;
    bool multicast = true;
    /// How long the receiver may still take after the last send before a frame counts as lost.
    double drainSeconds = 0.5;

    std::uint64_t warmupFrames() const;
    std::uint64_t measuredFrames() const;
};

struct ProbeResult
{
    bool ok = false;
    std::string error;

    std::uint64_t sent = 0;      // measured frames sent
    std::uint64_t received = 0;  // distinct measured frames that arrived
    std::uint64_t lost = 0;      // sent - received
    LatencySummary latency;      // send to arrival, measured frames

    double sendSeconds = 0.0;         // first to last measured send
    std::uint64_t receiverCpuNs = 0;  // receiving thread, over the measured frames
    bool receiverCpuKnown = false;
    long long kernelDrops = -1;  // receive-buffer overflows on this machine meanwhile (-1: unknown)

    double achievedRateHz() const;
    double cpuPerFrameUs() const;
    /// CPU time of the receiving thread per second of streaming, in percent of one core.
    double cpuPercentOfCore() const;
};

}  // namespace NatNetLatency
