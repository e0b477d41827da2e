#pragma once

#include <Quorvane/Stream/InstrumentModification.h>
#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/StreamExport.h>
#include <Quorvane/Stream/TrackerID.h>
#include <Quorvane/Stream/TrackingInstrument.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {

/// The instruments of one tracking stream, keyed by identifier, in the order they were added.
///
/// Thread-safe: every member may be called from any thread (writers are typically a tracking
/// library's receive thread, readers the UI thread). The mutex owns the data; readers get
/// copies. Finding and updating an existing instrument allocates nothing.
class QUORVANE_STREAM_EXPORT InstrumentStore
{
public:
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

    std::optional<TrackingInstrument> find(std::string_view identifier) const;
    bool contains(std::string_view identifier) const;
    /// All instruments, in the order they were added.
    std::vector<TrackingInstrument> snapshot() const;
    /// The instruments added as active, in the order they were added.
    std::vector<TrackingInstrument> activeSnapshot() const;
    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<TrackingInstrument> m_instruments;                        // guarded by m_mutex
    std::map<std::string, std::size_t, std::less<>> m_indexByIdentifier;  // guarded by m_mutex
};

}  // namespace Quorvane
