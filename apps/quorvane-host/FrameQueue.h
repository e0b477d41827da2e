#pragma once

#include <Quorvane/Stream/TrackingInstrument.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace Quorvane {
namespace Host {

/// The instruments of a tracking stream right after one frame, as the update listener copied
/// them on the stream's receive thread.
struct FrameSnapshot
{
    /// 1 for the first frame the listener saw, then counting up without gaps (dropped frames
    /// keep their numbers).
    std::uint64_t frame = 0;
    std::chrono::steady_clock::time_point receivedAt{};
    std::vector<TrackingInstrument> instruments;
};

/// Hands frame snapshots from the stream's receive thread to the printing thread, so that
/// printing never slows the receive path: `push` takes a short lock and never waits for the
/// reader or for output.
///
/// `EveryFrame` keeps up to `capacity` frames and drops the newest beyond that (counted, so the
/// summary can say how many were not printed); `LatestOnly` keeps just the most recent frame
/// (a live table needs no history) and drops nothing it would have shown.
///
/// Threads: `push` from one producer thread, everything else from any thread.
class FrameQueue
{
public:
    enum class Mode { EveryFrame, LatestOnly };

    FrameQueue(Mode mode, std::size_t capacity);
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    /// Numbers the frame and queues it. Called on the receive thread.
    void push(std::chrono::steady_clock::time_point receivedAt, std::vector<TrackingInstrument> instruments);
    /// Everything queued so far, oldest first; the queue is empty afterwards.
    std::vector<FrameSnapshot> takeAll();

    /// Frames pushed so far (queued, taken or dropped).
    std::uint64_t framesSeen() const;
    /// Frames that did not fit into an `EveryFrame` queue.
    std::uint64_t framesDropped() const;

private:
    const Mode m_mode;
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::deque<FrameSnapshot> m_frames;  // guarded by m_mutex
    std::uint64_t m_seen = 0;            // guarded by m_mutex
    std::uint64_t m_dropped = 0;         // guarded by m_mutex
};

}  // namespace Host
}  // namespace Quorvane
