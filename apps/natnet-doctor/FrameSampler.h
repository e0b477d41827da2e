// Collects what the frames of one connection showed: how many, their frame
// numbers, and the rigid bodies they carried.
#pragma once

#include "NatNetTypes.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

namespace NatNet::Doctor {

struct FrameSample
{
    uint64_t frames = 0;
    uint64_t framesWithRigidBodies = 0;
    int32_t firstFrameNumber = 0;
    int32_t lastFrameNumber = 0;
    int maxMarkers = 0;  // labeled markers in one frame
    std::set<int32_t> rigidBodyIds;
    std::chrono::steady_clock::time_point firstFrameAt{};
    std::chrono::steady_clock::time_point lastFrameAt{};
};

class FrameSampler
{
public:
    // Called on the NatNet receive thread.
    static void NATNET_CALLCONV onFrame(sFrameOfMocapData* frame, void* self);

    // Waits until the first frame arrived or the deadline passed; true when a frame came.
    bool waitForFirstFrame(std::chrono::steady_clock::time_point deadline);
    FrameSample sample() const;

private:
    void record(const sFrameOfMocapData& frame);

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    FrameSample m_sample;
};

}  // namespace NatNet::Doctor
