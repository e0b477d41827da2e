// The simulated server's high-resolution clock: ticks at a chosen frequency
// since the simulator was created, on the steady clock (CLOCK_MONOTONIC).
#pragma once

#include <atomic>
#include <cstdint>

namespace NatNet::Sim::Internal {

class ServerClock
{
public:
    static constexpr uint64_t kMaxFrequency = 1'000'000'000;  // keeps the tick arithmetic in 64 bits

    ServerClock();

    static uint64_t steadyNowNs();
    void setFrequency(uint64_t ticksPerSecond);  // clamped to 1 ... kMaxFrequency
    uint64_t frequency() const { return m_frequency.load(std::memory_order_relaxed); }
    uint64_t epochNs() const { return m_epochNs; }

    uint64_t ticksAt(uint64_t steadyNs) const;
    uint64_t ticksNow() const { return ticksAt(steadyNowNs()); }
    // Seconds since the epoch ("since the server started"), for frame timestamps.
    double secondsAt(uint64_t steadyNs) const;

private:
    uint64_t m_epochNs;
    std::atomic<uint64_t> m_frequency{10'000'000};
};

}  // namespace NatNet::Sim::Internal
