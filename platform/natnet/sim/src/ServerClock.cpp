#include "ServerClock.h"

#include <algorithm>
#include <chrono>

namespace NatNet::Sim::Internal {

ServerClock::ServerClock() : m_epochNs(steadyNowNs()) {}

uint64_t ServerClock::steadyNowNs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void ServerClock::setFrequency(uint64_t ticksPerSecond)
{
    m_frequency.store(std::clamp<uint64_t>(ticksPerSecond, 1, kMaxFrequency), std::memory_order_relaxed);
}

uint64_t ServerClock::ticksAt(uint64_t steadyNs) const
{
    const uint64_t elapsed = steadyNs > m_epochNs ? steadyNs - m_epochNs : 0;
    const uint64_t hz = frequency();
    constexpr uint64_t kNsPerSecond = 1'000'000'000;
    // Whole seconds and the rest apart: (rest * hz) stays below 10^18.
    return (elapsed / kNsPerSecond) * hz + (elapsed % kNsPerSecond) * hz / kNsPerSecond;
}

double ServerClock::secondsAt(uint64_t steadyNs) const
{
    const uint64_t elapsed = steadyNs > m_epochNs ? steadyNs - m_epochNs : 0;
    return static_cast<double>(elapsed) * 1e-9;
}

}  // namespace NatNet::Sim::Internal
