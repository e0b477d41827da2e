#pragma once

// The private record of OptiTrackStream. Not part of the module's interface for other modules;
// it is exported only so that the module's own tests and benchmarks can drive the frame callback
// and the description report with hand-built records.

#include "stream/OptiTrackExport.h"
#include "stream/OptiTrackRateLimitedCount.h"
#include "stream/OptiTrackStream.h"

#include <NatNetClient.h>
#include <NatNetTypes.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Quorvane {

struct OptiTrackConnectionParams;

struct OPTITRACK_EXPORT OptiTrackStream::Impl
{
    /// A fresh client, a zero-filled server description, maxError 1 and unitsToMillimeters 1.
    explicit Impl(OptiTrackStream* owner);
    /// Disconnects first, so that no frame callback can run while the fields go away.
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    /// The connect step: disconnect, connect, server description (a host must be present),
    /// server information, unit scale, ready notice, data descriptions. Connect thread only.
    bool connectToServer(const OptiTrackConnectionParams& params);
    /// Logs the server's application, versions, frame rate and analog samples. Stores nothing.
    void logServerInfo();
    /// Requests the server's data descriptions, logs them and releases the list.
    void logDataDescriptions();
    /// The walk over a description list that `logDataDescriptions` logs; reads nothing outside
    /// the records' capacities.
    static void logDescriptionList(const sDataDescriptions& descriptions);

    OptiTrackStream* const stream;
    NatNetClient client;
    /// The SDK record, written only on the thread that runs the connect step. The frame path reads
    /// `clockFrequency` instead.
    sServerDescription serverDescription{};
    /// Divisor of the pose quality; written by setMaxError, read on the NatNet thread.
    std::atomic<double> maxError{1.0};
    /// Server length unit to millimetres; written by the connect step, read on the NatNet thread.
    std::atomic<float> unitsToMillimeters{1.0f};
    /// The server's high-resolution clock frequency, published for the frame path after every
    /// description query, so frames that arrive while the description is being refreshed see
    /// the previous value.
    std::atomic<std::uint64_t> clockFrequency{0};

    /// The most instruments one stream creates. Motive streams at most 1000 rigid bodies; the
    /// limit keeps a server that sends ever new IDs from growing the store without bound.
    static constexpr std::size_t kInstrumentLimit = 2000;
    /// Instruments created by the frame path; read and written on the NatNet thread only.
    std::atomic<std::size_t> instrumentsCreated{0};
    /// Whether the instrument limit has been logged (once per stream).
    std::atomic<bool> instrumentLimitLogged{false};
    /// Rigid bodies flagged as tracked whose pose was not finite or whose quaternion was far from
    /// unit length, and so were treated as not tracked; with the pace of their warning.
    Internal::RateLimitedCount implausiblePoses;
};

}  // namespace Quorvane
