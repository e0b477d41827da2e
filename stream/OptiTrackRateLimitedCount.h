#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace Quorvane::Internal {

/// Counts occurrences of something worth a warning and says when a warning is due: at the first
/// occurrence, then at most once per interval, each time with the number counted since the last
/// warning. A steady flood of bad input thus costs one log line per interval, not one per frame.
///
/// Threads: `count` is called on one thread at a time (the NatNet receive thread; a reconnect
/// joins the old thread before the new one starts). `total` may be read on any thread.
class RateLimitedCount
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimitedCount(Clock::duration interval = std::chrono::seconds(1)) : m_interval(interval) {}
    RateLimitedCount(const RateLimitedCount&) = delete;
    RateLimitedCount& operator=(const RateLimitedCount&) = delete;

    /// Counts one occurrence at `now`. Returns how many occurred since the last warning (this one
    /// included) when a warning is due, else 0.
    std::uint64_t count(Clock::time_point now)
    {
        const std::uint64_t total = m_total.fetch_add(1, std::memory_order_relaxed) + 1;
        if (m_warned && now - m_lastWarning < m_interval) return 0;
        m_warned = true;
        m_lastWarning = now;
        const std::uint64_t since = total - m_totalAtLastWarning;
        m_totalAtLastWarning = total;
        return since;
    }

    /// Every occurrence counted so far.
    std::uint64_t total() const { return m_total.load(std::memory_order_relaxed); }

private:
    const Clock::duration m_interval;
    std::atomic<std::uint64_t> m_total{0};
    // Touched only by count(), on one thread at a time.
    bool m_warned = false;
    Clock::time_point m_lastWarning;
    std::uint64_t m_totalAtLastWarning = 0;
};

}  // namespace Quorvane::Internal
