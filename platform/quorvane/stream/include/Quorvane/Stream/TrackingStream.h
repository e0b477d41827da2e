#pragma once

#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Stream/InstrumentModification.h>
#include <Quorvane/Stream/InstrumentStore.h>
#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/Stream.h>
#include <Quorvane/Stream/StreamExport.h>
#include <Quorvane/Stream/TrackerID.h>
#include <Quorvane/Stream/TrackingInstrument.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {

/// A stream of tracking data: it keeps the poses of its instruments in a thread-safe store and
/// tells listeners, once per frame, what changed.
///
/// Units and frames: poses are `Pose` (4x4 doubles, column-major), mapping each instrument's
/// frame into the tracker's frame, translations in millimetres; timestamps are in milliseconds.
///
/// Threads: the store may be written from the tracking library's receive thread while any other
/// thread reads it; readers get copies and never slow the writer down (see InstrumentStore).
/// `emitSignals` calls the listeners on the calling thread (usually that receive thread), so a
/// listener that touches widgets must post to the UI thread.
class QUORVANE_STREAM_EXPORT TrackingStream : public Stream
{
public:
    explicit TrackingStream(std::string name);
    ~TrackingStream() override;

    /// Emitted by emitSignals() with the changes of one frame (possibly empty).
    Signal<InstrumentModifications> instrumentsUpdated;

    // Instrument store (see InstrumentStore for the exact rules).
    /// Adds an instrument with the identity pose; `active` says whether activeInstruments()
    /// lists it.
    InstrumentModifications addInstrument(const TrackerID& id, bool active);
    /// Updates a known instrument. An identifier the store does not know is ignored and gives an
    /// empty result: a tracker may report bodies for which no instrument was ever added.
    /// Allocates nothing.
    InstrumentModifications updateInstrument(std::string_view identifier, const Pose& pose, double quality,
                                             std::uint64_t timestampMs, std::uint32_t flags);
    InstrumentModifications removeInstrument(std::string_view identifier);
    /// A copy of the instrument; allocates nothing.
    std::optional<TrackingInstrument> findInstrument(std::string_view identifier) const;

    // Data
    Kind kind() const override;
    Modality modality() const override;

    // TrackingStream's own virtual interface, in the order of its table.
    /// Names of the tracking devices behind the stream; the base knows none.
    virtual std::vector<std::string> devices() const;
    /// All instruments, in the order they were added.
    virtual std::vector<TrackingInstrument> instruments() const;
    /// The instruments added as active.
    virtual std::vector<TrackingInstrument> activeInstruments() const;
    virtual std::size_t numInstruments() const;
    /// Whether a user may choose a main instrument; the base says false.
    virtual bool supportsMainInstrumentSelection() const;
    /// Whether a user may rename instruments; the base says false.
    virtual bool supportsInstrumentRenaming() const;

protected:
    /// Tells the listeners of instrumentsUpdated what changed in this frame. Called by the
    /// subclass once per frame, on its receive thread.
    void emitSignals(InstrumentModifications changes);
    /// The store's writes of one frame under one lock (see InstrumentStore::Writer): let it end
    /// before emitSignals, so that listeners see the instruments the frame added.
    InstrumentStore::Writer instrumentWriter();

private:
    InstrumentStore m_store;
};

}  // namespace Quorvane
