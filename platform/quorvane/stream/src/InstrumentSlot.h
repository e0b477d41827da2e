#pragma once

// One instrument's tracking data as the instrument store keeps it: the writer's own copy, and a
// copy published to readers behind a sequence counter (a seqlock). Not exported.

#include <Quorvane/Stream/TrackingInstrument.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane::Internal {

/// Written by one writer at a time (the store's writer lock serialises them), read by any number
/// of threads that never wait for the writer and never make it wait: a reader copies the
/// published words and starts again if the sequence moved meanwhile.
///
/// Every published word is an atomic: a seqlock over plain memory is a data race in C++ terms
/// (and to the thread sanitizer). The words are stored and loaded relaxed, ordered against the
/// sequence by a release fence after the writer's odd count and an acquire fence before the
/// reader's second look at the count (the seqlock of Boehm's "Can seqlocks get along with
/// programming language memory models?"). On x86 all of it compiles to plain moves. Release
/// stores of every word would need no fences but cost the thread sanitizer a synchronisation
/// record per word, which slows an instrumented frame path below 10 kHz.
class InstrumentSlot
{
public:
    explicit InstrumentSlot(std::string identifierText);
    InstrumentSlot(const InstrumentSlot&) = delete;
    InstrumentSlot& operator=(const InstrumentSlot&) = delete;

    /// The key that the writer's index points into; never changes.
    std::string_view identifier() const { return m_identifier; }

    /// The writer's copy, changed in place and then published. Writer lock only.
    TrackingValues& current() { return m_current; }
    /// Publishes the writer's copy to readers. Writer lock only.
    void publish();

    /// A consistent copy of the last published sample; any thread.
    TrackingValues read() const;

private:
    // Writer side: read by the writer to look up the instrument and compare values.
    const std::string m_identifier;
    TrackingValues m_current;

    // Reader side, on lines of its own so that readers pulling them do not evict the writer's
    // key and copy above. Odd sequence: a write is under way.
    alignas(64) std::atomic<std::uint64_t> m_sequence{0};
    std::atomic<double> m_pose[16]{};
    std::atomic<double> m_quality{0.0};
    std::atomic<std::uint64_t> m_timestampMs{0};
    std::atomic<std::uint32_t> m_flags{0};
    std::atomic<std::uint64_t> m_updateCount{0};
    std::atomic<std::chrono::steady_clock::rep> m_lastUpdate{0};
    std::atomic<double> m_updateRateHz{0.0};
};

}  // namespace Quorvane::Internal
