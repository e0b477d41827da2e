#pragma once

// One instrument's tracking data as the instrument store keeps it: the writer's own copy, and a
// copy published to readers behind a sequence counter (a seqlock). Not exported.

#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/TrackingInstrument.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane::Internal {

/// The values of an instrument that change with every update (everything but its identity).
struct TrackingSample
{
    Pose pose = Pose::Identity();
    double quality = 0.0;
    std::uint64_t timestampMs = 0;
    std::uint32_t flags = 0;
    std::uint64_t updateCount = 0;
    std::chrono::steady_clock::time_point lastUpdate{};
    double updateRateHz = 0.0;

    /// Copies the values into `instrument`, whose identity stays.
    void copyTo(TrackingInstrument& instrument) const;
};

/// Written by one writer at a time (the store's writer lock serialises them), read by any number
/// of threads that never wait for the writer and never make it wait: a reader copies the
/// published words and starts again if the sequence moved meanwhile.
///
/// Every published word is an atomic: a seqlock over plain memory is a data race in C++ terms
/// (and to the thread sanitizer). The writer's stores are release and the reader's loads acquire,
/// which on x86 and most other targets are plain moves; that order alone keeps a reader from
/// accepting a half-written sample, without fences.
class InstrumentSlot
{
public:
    explicit InstrumentSlot(std::string identifierText);
    InstrumentSlot(const InstrumentSlot&) = delete;
    InstrumentSlot& operator=(const InstrumentSlot&) = delete;

    /// The key that the writer's index points into; never changes.
    std::string_view identifier() const { return m_identifier; }

    /// The writer's copy, changed in place and then published. Writer lock only.
    TrackingSample& current() { return m_current; }
    /// Publishes the writer's copy to readers. Writer lock only.
    void publish();

    /// A consistent copy of the last published sample; any thread.
    TrackingSample read() const;

private:
    // Writer side: read by the writer to look up the instrument and compare values.
    const std::string m_identifier;
    TrackingSample m_current;

    // Reader side, on lines of its own so that readers pulling them do not evict the writer's
    // key and copy above. Odd sequence: a write is under way.
    alignas(64) std::atomic<std::uint64_t> m_sequence{0};
    std::atomic<double> m_pose[16];
    std::atomic<double> m_quality{0.0};
    std::atomic<std::uint64_t> m_timestampMs{0};
    std::atomic<std::uint32_t> m_flags{0};
    std::atomic<std::uint64_t> m_updateCount{0};
    std::atomic<std::chrono::steady_clock::rep> m_lastUpdate{0};
    std::atomic<double> m_updateRateHz{0.0};
};

}  // namespace Quorvane::Internal
