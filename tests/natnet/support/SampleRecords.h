// Rich frame and description records for round trips, robustness sweeps and
// the fuzz seed corpus. Every section holds entries; values are exact in f32.
#pragma once

#include "NatNetTypes.h"

#include <memory>
#include <vector>

namespace NatNetTest {

// A frame record and the arrays it points to.
class SampleFrame
{
public:
    SampleFrame();
    const sFrameOfMocapData& frame() const { return *m_frame; }
    sFrameOfMocapData& frame() { return *m_frame; }

    // A frame with n tracked rigid bodies and nothing else (benchmark-sized frames).
    static std::unique_ptr<SampleFrame> rigidBodiesOnly(int n);

private:
    std::unique_ptr<sFrameOfMocapData> m_frame;
    std::vector<std::unique_ptr<MarkerData[]>> m_markers;
    std::vector<std::unique_ptr<sRigidBodyData[]>> m_bodies;
    std::vector<std::unique_ptr<sMarker[]>> m_assetMarkers;
};

// A description list with one entry of every type (allocated the codec's way,
// release with NatNet::Wire::freeDescriptions). Types that `version` cannot
// carry are left out; pass major 0 for all of them.
sDataDescriptions* makeSampleDescriptions(int major, int minor);

}  // namespace NatNetTest
