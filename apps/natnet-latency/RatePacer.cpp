#include "RatePacer.h"

#include "Clocks.h"

#include <cmath>

namespace NatNetLatency {

namespace {
constexpr std::uint64_t kFarBehindNs = 100'000'000;
}

RatePacer::RatePacer(double rateHz) : m_periodNs(1e9 / rateHz), m_startNs(monotonicNs() + 1'000'000)
{
    tuneTimerSlack();
}

void RatePacer::waitFor(std::uint64_t index)
{
    std::uint64_t deadline =
        m_startNs + static_cast<std::uint64_t>(std::llround(static_cast<double>(index) * m_periodNs));
    const std::uint64_t now = monotonicNs();
    if (now > deadline + kFarBehindNs) {
        m_startNs += now - deadline;
        deadline = now;
    }
    sleepUntil(deadline);
}

}  // namespace NatNetLatency
