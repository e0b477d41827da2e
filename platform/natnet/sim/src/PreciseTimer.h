// Sleeps until absolute steady-clock deadlines with microsecond precision:
// clock_nanosleep(TIMER_ABSTIME) with the thread's timer slack lowered, and a
// short spin for the last microseconds at high rates.
#pragma once

#include <atomic>
#include <cstdint>

namespace NatNet::Sim::Internal {

class PreciseTimer
{
public:
    // Lowers the calling thread's timer slack (Linux; elsewhere nothing).
    static void tuneCurrentThread();
    // Returns false when `stop` became true while waiting (checked at least every 20 ms).
    static bool sleepUntil(uint64_t deadlineNs, uint64_t spinNs, const std::atomic<bool>& stop);
};

}  // namespace NatNet::Sim::Internal
