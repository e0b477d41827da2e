#pragma once

#include <cstdint>

namespace NatNetLatency {

/// Send deadlines at a fixed rate on CLOCK_MONOTONIC, starting a millisecond after construction.
/// A sender that falls far behind (the machine stalled) shifts the schedule instead of sending a
/// burst to catch up; a short lag is made up by sending at once.
class RatePacer
{
public:
    explicit RatePacer(double rateHz);

    /// Sleeps until send `index` is due (0, 1, 2, ... in order).
    void waitFor(std::uint64_t index);

private:
    double m_periodNs;
    std::uint64_t m_startNs;
};

}  // namespace NatNetLatency
