#pragma once

#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackExport.h"

#include <Quorvane/Stream/TrackingStream.h>

#include <NatNetTypes.h>

#include <memory>
#include <optional>
#include <string>

namespace Quorvane {

class Properties;

/// A tracking stream fed by an OptiTrack motion-capture server through the NatNet client library.
///
/// Starting the stream registers the frame callback and connects with the current
/// `OptiTrackConnectionParams`; from then on the NatNet library calls `onFrameReceived` on its
/// own receive thread for every frame, and every rigid body becomes a tracking instrument
/// "optitrack-<ID>" with its pose in millimetres. Stopping disconnects. The stream has no worker
/// loop of its own.
///
/// Threads: construction, destruction, configuration and the lifecycle run on the host's calling
/// threads; `onFrameReceived` runs on the NatNet receive thread; `setMaxError` may be called from
/// any thread.
class OPTITRACK_EXPORT OptiTrackStream : public TrackingStream
{
public:
    /// The stream's private connection record: the NatNet client, the server description and the
    /// values the frame callback reads. Its address is the callback's context.
    struct Impl;

    OptiTrackStream();
    ~OptiTrackStream() override;
    OptiTrackStream(const OptiTrackStream&) = delete;
    OptiTrackStream& operator=(const OptiTrackStream&) = delete;

    /// "OptiTrackStream" for every instance.
    std::string uuid() const override;

    bool openImpl() override;
    bool closeImpl() override;
    /// Registers the frame callback, then disconnects, connects and queries the server.
    bool startImpl() override;
    /// Disconnects the client; the callback registration stays.
    bool stopImpl() override;

    /// Reads "localAddress", "serverAddress", "commandPort", "dataPort", "multicastAddress" and
    /// "connectionType"; a missing key leaves its value as it is. Takes effect at the next start.
    void configure(const Properties* properties) override;
    /// Writes the six keys of `configure`, in the same order.
    void configuration(Properties* properties) const override;

    /// The parameters of the next start; the running connection is not touched.
    void setConnectionParams(OptiTrackConnectionParams params);
    /// The divisor of the pose quality; refused (with a warning) while the stream runs.
    void setMaxError(double value);

    /// Rigid bodies flagged as tracked that were treated as not tracked because their pose was
    /// not finite or their quaternion far from unit length. Any thread.
    std::uint64_t implausiblePoseCount() const;

    /// The NatNet frame callback; `context` is the stream's `Impl`. Called on the NatNet receive
    /// thread once per frame.
    static void NATNET_CALLCONV onFrameReceived(sFrameOfMocapData* frame, void* context);

protected:
    /// Always empty: the stream never asks the host for worker-loop work.
    std::optional<WorkContinuation> doWork() override;

private:
    std::unique_ptr<Impl> m_impl;
    OptiTrackConnectionParams m_connectionParams;
};

}  // namespace Quorvane
