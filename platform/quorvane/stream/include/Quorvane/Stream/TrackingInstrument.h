#pragma once

#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/StreamExport.h>
#include <Quorvane/Stream/TrackerID.h>

#include <chrono>
#include <cstdint>
#include <memory>

namespace Quorvane {

/// The values of an instrument that change with every update: all of it but its identity and
/// its active flag (units and frames as `TrackingInstrument` states them).
struct TrackingValues
{
    /// True when the latest update had a quality above 0.
    bool isTracked() const { return updateCount > 0 && quality > 0.0; }

    Pose pose = Pose::Identity();
    /// Tracking quality as the stream defines it; 0 or less means "no valid tracking".
    double quality = 0.0;
    std::uint64_t timestampMs = 0;
    /// Stream-defined status bits given with the last update.
    std::uint32_t flags = 0;
    std::uint64_t updateCount = 0;
    std::chrono::steady_clock::time_point lastUpdate{};
    /// Smoothed rate of updates in Hz (0 until two updates were seen).
    double updateRateHz = 0.0;
};

/// One tracked instrument as the instrument store of a `TrackingStream` holds it; a value
/// that readers get as a snapshot.
///
/// Units and frames: `pose` maps the instrument's frame into the tracker's frame, column-major,
/// translation in millimetres. `timestampMs` is the tracker's own time of the last update in
/// milliseconds (whatever epoch the stream uses); `lastUpdate` is the host's steady clock at
/// that update, for rates and ages. An instrument that was added but never updated has the
/// identity pose, quality 0 and `updateCount` 0.
///
/// The identity (identifier, serial, name) is shared, immutable, between the store and every
/// copy, so copying an instrument never allocates; a rename swaps in a new identity.
struct QUORVANE_STREAM_EXPORT TrackingInstrument : TrackingValues
{
    TrackingInstrument();
    TrackingInstrument(TrackerID trackerId, bool isActive);
    /// Shares an existing identity record (how the store hands out copies without allocating).
    /// A null record is replaced by an empty identity.
    TrackingInstrument(std::shared_ptr<const TrackerID> sharedId, bool isActive);

    const TrackerID& trackerId() const { return *m_id; }
    const std::string& identifier() const { return m_id->identifier; }
    const std::string& serial() const { return m_id->serial; }
    const std::string& name() const { return m_id->name; }
    /// Replaces the identity (a new shared record; existing copies keep the old one).
    void setTrackerId(TrackerID trackerId);

    /// Given when the instrument was added; only active instruments are listed by
    /// `TrackingStream::activeInstruments`.
    bool active = true;

private:
    std::shared_ptr<const TrackerID> m_id;
};

}  // namespace Quorvane
