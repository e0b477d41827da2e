#pragma once

// Hand-built NatNet frames and a stream whose callback context the test owns, so that the frame
// callback can be fed exact records without a network.

#include "stream/OptiTrackStream.h"
#include "stream/OptiTrackStreamImpl.h"

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/InstrumentModification.h>

#include <NatNetTypes.h>
#include <RigidBodyFrames.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Quorvane::Testing {

using NatNetTest::newFrame;

inline sRigidBodyData& addBody(sFrameOfMocapData& frame, int id, bool valid)
{
    sRigidBodyData& body = frame.RigidBodies[frame.nRigidBodies++];
    body = sRigidBodyData();
    body.ID = id;
    body.params = valid ? 1 : 0;
    return body;
}

/// Sets the body's position (server units) and orientation (x, y, z, w) from a table row.
inline void setPose(sRigidBodyData& body, const float (&position)[3], const float (&q)[4])
{
    body.x = position[0];
    body.y = position[1];
    body.z = position[2];
    body.qx = q[0];
    body.qy = q[1];
    body.qz = q[2];
    body.qw = q[3];
}

inline void addMarkerSet(sFrameOfMocapData& frame, const char* name)
{
    sMarkerSetData& set = frame.MocapData[frame.nMarkerSets++];
    std::strncpy(set.szName, name, sizeof set.szName - 1);
}

/// An OptiTrackStream plus a callback context of the test's own (the stream's private record is
/// not reachable from outside), the log captured from level 0 and every emission recorded.
class FrameFixture
{
public:
    /// `unitsToMillimeters`: the server's unit, as the connect step would have set it.
    explicit FrameFixture(float unitsToMillimeters = 1.0f) : context(&stream)
    {
        context.unitsToMillimeters = unitsToMillimeters;
        stream.instrumentsUpdated.connect(
            [this](InstrumentModifications changes) { emissions.push_back(changes); });
    }

    void deliver(sFrameOfMocapData& frame) { OptiTrackStream::onFrameReceived(&frame, &context); }

    std::vector<RecordingLogSink::Record> records() const { return log.sink().records(); }

    /// The texts logged in `category`, in order.
    std::vector<std::string> texts(const std::string& category) const
    {
        std::vector<std::string> result;
        for (const auto& record : records()) {
            if (record.category == category) result.push_back(record.text);
        }
        return result;
    }

    ScopedLogCapture log{0};
    OptiTrackStream stream;
    OptiTrackStream::Impl context;
    std::vector<InstrumentModifications> emissions;
};

}  // namespace Quorvane::Testing
