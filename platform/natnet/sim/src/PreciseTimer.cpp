#include "PreciseTimer.h"

#include "ServerClock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#include <ctime>
#endif

namespace NatNet::Sim::Internal {

namespace {

constexpr uint64_t kStopCheckNs = 20'000'000;

void sleepAbsolute(uint64_t deadlineNs)
{
#if defined(__linux__)
    timespec until{};
    until.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000u);
    until.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000u);
    // steady_clock is CLOCK_MONOTONIC here; EINTR just ends this slice early.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
#else
    const uint64_t now = ServerClock::steadyNowNs();
    if (deadlineNs > now) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(deadlineNs - now));
    }
#endif
}

}  // namespace

void PreciseTimer::tuneCurrentThread()
{
#if defined(__linux__)
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

bool PreciseTimer::sleepUntil(uint64_t deadlineNs, uint64_t spinNs, const std::atomic<bool>& stop)
{
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            return false;
        }
        const uint64_t now = ServerClock::steadyNowNs();
        if (now >= deadlineNs) {
            return true;
        }
        const uint64_t left = deadlineNs - now;
        if (left <= spinNs) {
            while (ServerClock::steadyNowNs() < deadlineNs) {
                // spin: the last microseconds are shorter than a wake-up
            }
            return true;
        }
        const uint64_t slice = std::min(left - spinNs, kStopCheckNs);
        sleepAbsolute(now + slice);
    }
}

}  // namespace NatNet::Sim::Internal
