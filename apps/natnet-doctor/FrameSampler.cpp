#include "FrameSampler.h"

#include <algorithm>

namespace NatNet::Doctor {

void NATNET_CALLCONV FrameSampler::onFrame(sFrameOfMocapData* frame, void* self)
{
    if (frame != nullptr && self != nullptr) static_cast<FrameSampler*>(self)->record(*frame);
}

void FrameSampler::record(const sFrameOfMocapData& frame)
{
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (sample_.frames == 0) {
            sample_.firstFrameNumber = frame.iFrame;
            sample_.firstFrameAt = now;
        }
        ++sample_.frames;
        sample_.lastFrameNumber = frame.iFrame;
        sample_.lastFrameAt = now;
        const int bodies = std::clamp(frame.nRigidBodies, 0, MAX_RIGIDBODIES);
        if (bodies > 0) ++sample_.framesWithRigidBodies;
        for (int i = 0; i < bodies; ++i) {
            // IDs come from the network: the set stays bounded whatever the server sends.
            if (sample_.rigidBodyIds.size() < 4 * MAX_RIGIDBODIES)
                sample_.rigidBodyIds.insert(frame.RigidBodies[i].ID);
        }
        sample_.maxMarkers = std::max(sample_.maxMarkers, frame.nLabeledMarkers);
    }
    arrived_.notify_all();
}

bool FrameSampler::waitForFirstFrame(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_until(lock, deadline, [this] { return sample_.frames > 0; });
}

FrameSample FrameSampler::sample() const
{
    std::lock_guard lock(mutex_);
    return sample_;
}

}  // namespace NatNet::Doctor
