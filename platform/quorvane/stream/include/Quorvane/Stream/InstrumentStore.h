#pragma once

#include <Quorvane/Stream/InstrumentModification.h>
#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/StreamExport.h>
#include <Quorvane/Stream/TrackerID.h>
#include <Quorvane/Stream/TrackingInstrument.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace Quorvane {

/// The instruments of one tracking stream, keyed by identifier, in the order they were added.
///
/// Thread-safe: every member may be called from any thread (the writer is typically a tracking
/// library's receive thread, readers a UI or a host polling the store). Writers take one lock
/// among themselves; readers never take it and never make a writer wait.
///
/// How readers are kept off the writer's back. Readers see a published state in two layers:
/// - the directory (which instruments exist, their identities, order and active flags) is an
///   immutable record behind a shared pointer that a writer replaces as a whole when it adds,
///   renames or removes (RCU style: a reader keeps the record it loaded alive for as long as it
///   reads; the last reader frees it). Such changes are rare and may allocate.
/// - each instrument's tracking data sits behind a seqlock of its own: the writer overwrites it in
///   place and never waits, a reader copies it and retries if a write overlapped.
/// Why not a double buffer or a swapped copy of the whole store per frame: the writer would copy
/// every instrument (2000 at most) every frame to publish one pose each, and would need a lock
/// or a reclamation scheme for the buffer a slow reader still holds. Why not one lock that
/// readers share: a reader that copies all instruments holds it for microseconds, and the frame
/// path would wait that long for each body. With the seqlock an update costs the writer a hash
/// lookup and a few dozen plain stores; a reader that polls nonstop costs it only the cache
/// lines they share.
///
/// The frame path allocates nothing: updating a known instrument and every read but the copies
/// of all instruments (which return a vector) are free of heap allocation.
class QUORVANE_STREAM_EXPORT InstrumentStore
{
public:
    class Writer;

    InstrumentStore();
    ~InstrumentStore();
    InstrumentStore(const InstrumentStore&) = delete;
    InstrumentStore& operator=(const InstrumentStore&) = delete;

    /// Adds an instrument with the identity pose and quality 0; returns `Added`. For an
    /// identifier already present it keeps the instrument's tracking data, takes the new serial,
    /// name and active flag and returns what of those changed (`Renamed`, `ActivityChanged`),
    /// possibly nothing. An empty identifier is refused (nothing changes, empty result).
    InstrumentModifications add(const TrackerID& id, bool active);

    /// Sets pose, quality, timestamp and status bits of a known instrument and counts the update.
    /// Returns `Updated` plus a bit for every value that differs from before. An unknown
    /// identifier is ignored: nothing is stored and the result is empty (a tracking system may
    /// report bodies that were never announced or never had valid tracking).
    InstrumentModifications update(std::string_view identifier, const Pose& pose, double quality,
                                   std::uint64_t timestampMs, std::uint32_t flags);

    /// Removes an instrument; returns `Removed`, or nothing for an unknown identifier.
    InstrumentModifications remove(std::string_view identifier);
    /// Removes every instrument; returns `Removed` when there was at least one.
    InstrumentModifications clear();

    // Readers: they see what writers have finished (a Writer's adds once it ends, its updates
    // at once), never wait for a writer and allocate nothing but the returned vectors.
    std::optional<TrackingInstrument> find(std::string_view identifier) const;
    bool contains(std::string_view identifier) const;
    /// All instruments, in the order they were added.
    std::vector<TrackingInstrument> snapshot() const;
    /// The instruments added as active, in the order they were added.
    std::vector<TrackingInstrument> activeSnapshot() const;
    std::size_t size() const;

private:
    struct Directory;
    struct Working;

    /// The published directory; never null.
    std::shared_ptr<const Directory> published() const;
    /// Publishes the working directory to readers. Writer lock held.
    void publishLocked();
    InstrumentModifications addLocked(const TrackerID& id, bool active);
    InstrumentModifications updateLocked(std::string_view identifier, const Pose& pose, double quality,
                                         std::uint64_t timestampMs, std::uint32_t flags,
                                         std::chrono::steady_clock::time_point now);

    std::mutex m_writeMutex;
    std::unique_ptr<Working> m_working;  // guarded by m_writeMutex
    /// Read and replaced only with std::atomic_load and std::atomic_store.
    std::shared_ptr<const Directory> m_published;
};

/// Several writes under one hold of the store's writer lock, as a tracking stream makes them for
/// one frame: one lock and one reading of the clock for the whole frame (every update of a
/// Writer gets the same update time), then per body one lookup. Adds become visible to readers
/// when the Writer ends (the directory is published once, however many were added); updates of
/// instruments that readers already see are visible at once.
///
/// Other writers of the same store wait while a Writer lives; do not call the store's own
/// add/update/remove/clear on the Writer's thread meanwhile (they would wait for it forever).
class QUORVANE_STREAM_EXPORT InstrumentStore::Writer
{
public:
    explicit Writer(InstrumentStore& store);
    /// Publishes what was added, then lets other writers in. Throws nothing: when memory for
    /// the new directory runs out, the next writer publishes it.
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    /// As InstrumentStore::add.
    InstrumentModifications add(const TrackerID& id, bool active);
    /// As InstrumentStore::update: an unknown identifier gives an empty result; a known one
    /// always includes `Updated`. Allocates nothing.
    InstrumentModifications update(std::string_view identifier, const Pose& pose, double quality,
                                   std::uint64_t timestampMs, std::uint32_t flags);

private:
    InstrumentStore& m_store;
    std::lock_guard<std::mutex> m_lock;
    const std::chrono::steady_clock::time_point m_now;
};

}  // namespace Quorvane
