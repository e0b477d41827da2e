// The rigid bodies of the last two frames, for GetPredictedRigidBodyPose:
// the latest pose of a body, its position extrapolated linearly over dt
// seconds from the velocity between the two frames (orientation as last seen).
//
// Thread use: record() on the receive thread, predict() from any thread.
#pragma once

#include "NatNetTypes.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace NatNet::Net {

class RigidBodyHistory
{
public:
    RigidBodyHistory();
    ~RigidBodyHistory();

    void record(const sFrameOfMocapData& frame);
    void clear();
    // False when the latest frame has no body with this streaming ID.
    bool predict(int32_t streamingId, double dt, sRigidBodyData& out) const;

private:
    struct Snapshot
    {
        double timestamp = 0.0;
        int32_t count = 0;
        sRigidBodyData bodies[MAX_RIGIDBODIES];
    };

    static const sRigidBodyData* find(const Snapshot& snapshot, int32_t streamingId);

    mutable std::mutex m_mutex;
    std::unique_ptr<Snapshot> m_latest;
    std::unique_ptr<Snapshot> m_previous;
};

}  // namespace NatNet::Net
