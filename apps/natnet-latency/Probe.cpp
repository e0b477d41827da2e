#include "Probe.h"

#include <cmath>

namespace NatNetLatency {

std::uint64_t ProbeConfig::warmupFrames() const
{
    return static_cast<std::uint64_t>(std::llround(warmupSeconds * rateHz));
}

std::uint64_t ProbeConfig::measuredFrames() const
{
    const auto frames = static_cast<std::uint64_t>(std::llround(durationSeconds * rateHz));
    return frames > 0 ? frames : 1;
}

double ProbeResult::achievedRateHz() const
{
    if (sent < 2 || sendSeconds <= 0.0) return 0.0;
    return static_cast<double>(sent - 1) / sendSeconds;
}

double ProbeResult::cpuPerFrameUs() const
{
    if (!receiverCpuKnown || received == 0) return 0.0;
    return static_cast<double>(receiverCpuNs) / 1000.0 / static_cast<double>(received);
}

double ProbeResult::cpuPercentOfCore() const
{
    if (!receiverCpuKnown || sendSeconds <= 0.0) return 0.0;
    return static_cast<double>(receiverCpuNs) / 1e9 / sendSeconds * 100.0;
}

}  // namespace NatNetLatency
