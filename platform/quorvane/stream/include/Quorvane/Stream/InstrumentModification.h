#pragma once

#include <Quorvane/Core/Flags.h>

#include <cstdint>

namespace Quorvane {

/// What a call on the instrument store of a `TrackingStream` changed; one bit each.
/// The store returns a `Flags<InstrumentModification>` from every modifying call, and the
/// stream's update signal carries the OR of those of one frame.
enum class InstrumentModification : std::uint32_t {
    Added = 1u << 0,             ///< a new instrument entered the store
    Removed = 1u << 1,           ///< an instrument left the store
    Renamed = 1u << 2,           ///< display name or serial of an existing instrument changed
    ActivityChanged = 1u << 3,   ///< the active flag given to addInstrument changed
    Updated = 1u << 4,           ///< a known instrument received an update (even with equal values)
    PoseChanged = 1u << 5,       ///< the pose differs from the previous one
    QualityChanged = 1u << 6,    ///< the quality differs from the previous one
    TimestampChanged = 1u << 7,  ///< the timestamp differs from the previous one
    FlagsChanged = 1u << 8,      ///< the status bits differ from the previous ones
    TrackingChanged = 1u << 9,   ///< the instrument became tracked (quality > 0) or lost tracking
};
QUORVANE_DECLARE_FLAG_OPERATORS(InstrumentModification)

using InstrumentModifications = Flags<InstrumentModification>;

}  // namespace Quorvane
