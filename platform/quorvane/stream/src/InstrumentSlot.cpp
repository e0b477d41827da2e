#include "InstrumentSlot.h"

#include <thread>
#include <utility>

// The thread sanitizer does not model fences (GCC says so with -Wtsan). Every word here is an
// atomic, so it has no race to report either way; the fences matter for the compiler and the CPU.
#if defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

namespace Quorvane::Internal {

namespace {
constexpr auto kStore = std::memory_order_relaxed;
constexpr auto kLoad = std::memory_order_relaxed;
// Tries before a reader that keeps meeting a write in progress lets the writer's thread run: on
// a busy machine the writer may have been preempted in the middle of a sample.
constexpr int kSpinsBeforeYield = 64;
}  // namespace

InstrumentSlot::InstrumentSlot(std::string identifierText) : m_identifier(std::move(identifierText))
{
    // Readers reach the slot only through a directory published after this constructor.
    publish();
}

void InstrumentSlot::publish()
{
    const TrackingValues& sample = m_current;
    // One writer at a time, so a relaxed read of our own counter is exact. The fence keeps the
    // words below from becoming visible before the odd count: a reader that loads any of them
    // sees the count moved when it looks again.
    const std::uint64_t sequence = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    const double* pose = sample.pose.data();
    for (int i = 0; i < 16; ++i) m_pose[i].store(pose[i], kStore);
    m_quality.store(sample.quality, kStore);
    m_timestampMs.store(sample.timestampMs, kStore);
    m_flags.store(sample.flags, kStore);
    m_updateCount.store(sample.updateCount, kStore);
    m_lastUpdate.store(sample.lastUpdate.time_since_epoch().count(), kStore);
    m_updateRateHz.store(sample.updateRateHz, kStore);
    // Release: a reader that sees the even count sees every word before it.
    m_sequence.store(sequence + 2, std::memory_order_release);
}

TrackingValues InstrumentSlot::read() const
{
    TrackingValues sample;
    double* pose = sample.pose.data();
    for (int attempt = 1;; ++attempt) {
        const std::uint64_t before = m_sequence.load(std::memory_order_acquire);
        if ((before & 1u) == 0) {
            for (int i = 0; i < 16; ++i) pose[i] = m_pose[i].load(kLoad);
            sample.quality = m_quality.load(kLoad);
            sample.timestampMs = m_timestampMs.load(kLoad);
            sample.flags = m_flags.load(kLoad);
            sample.updateCount = m_updateCount.load(kLoad);
            sample.lastUpdate = std::chrono::steady_clock::time_point(
                std::chrono::steady_clock::duration(m_lastUpdate.load(kLoad)));
            sample.updateRateHz = m_updateRateHz.load(kLoad);
            // Keeps the second look at the count after the loads above.
            std::atomic_thread_fence(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before) return sample;
        }
        if (attempt % kSpinsBeforeYield == 0) std::this_thread::yield();
    }
}

}  // namespace Quorvane::Internal
