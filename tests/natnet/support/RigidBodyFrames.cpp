#include "RigidBodyFrames.h"

namespace NatNetTest {

std::unique_ptr<sFrameOfMocapData> newFrame()
{
    return std::make_unique<sFrameOfMocapData>();
}

void buildFrame(sFrameOfMocapData& frame, std::int32_t number, int bodies)
{
    frame.nMarkerSets = 0;
    frame.nOtherMarkers = 0;
    frame.nSkeletons = 0;
    frame.nAssets = 0;
    frame.nLabeledMarkers = 0;
    frame.nForcePlates = 0;
    frame.nDevices = 0;
    frame.params = 0;
    frame.iFrame = number;
    frame.nRigidBodies = bodies;
    for (int i = 0; i < bodies; ++i) {
        sRigidBodyData& body = frame.RigidBodies[i];
        body.ID = i + 1;
        body.x = 0.1f * static_cast<float>(i + 1);
        body.y = 1.5f;
        body.z = -0.25f * static_cast<float>(number % 7);
        body.qw = 1.0f;
        body.MeanError = 0.0005f;
        body.params = 1;
    }
    frame.fTimestamp = number / 120.0;
}

}  // namespace NatNetTest
