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
        std::lock_guard lock(m_mutex);
        if (m_sample.frames == 0) {
            m_sample.firstFrameNumber = frame.iFrame;
            m_sample.firstFrameAt = now;
        }
        ++m_sample.frames;
        m_sample.lastFrameNumber = frame.iFrame;
        m_sample.lastFrameAt = now;
        const int bodies = std::clamp(frame.nRigidBodies, 0, MAX_RIGIDBODIES);
        if (bodies > 0) ++m_sample.framesWithRigidBodies;
        for (int i = 0; i < bodies; ++i) {
            // IDs come from the network: the set stays bounded whatever the server sends.
            if (m_sample.rigidBodyIds.size() < std::size_t{4} * MAX_RIGIDBODIES) {
                m_sample.rigidBodyIds.insert(frame.RigidBodies[i].ID);
            }
        }
        m_sample.maxMarkers = std::max(m_sample.maxMarkers, frame.nLabeledMarkers);
    }
    m_arrived.notify_all();
}

bool FrameSampler::waitForFirstFrame(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_until(lock, deadline, [this] { return m_sample.frames > 0; });
}

FrameSample FrameSampler::sample() const
{
    std::lock_guard lock(m_mutex);
    return m_sample;
}

}  // namespace NatNet::Doctor
