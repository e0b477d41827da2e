#pragma once

#include <Quorvane/Stream/TrackingInstrument.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace Quorvane {
namespace Host {

/// The instruments of a tracking stream right after one frame.
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
/// The queue holds at most `capacityBytes` of snapshots (as `bytesOf` counts them); a frame that
/// does not fit is dropped and counted, and its instruments are not even copied, so a reader
/// that falls behind costs the receive thread less, not more.
///
/// Threads: `push` from one producer thread, everything else from any thread.
class FrameQueue
{
public:
    explicit FrameQueue(std::size_t capacityBytes);
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    /// Numbers the frame and queues the instruments that `copyInstruments()` returns, unless
    /// the queue is full. Called on the receive thread.
    template <class CopyInstruments>
    void push(std::chrono::steady_clock::time_point receivedAt, CopyInstruments&& copyInstruments)
    {
        if (!reserveFrame()) {
            return;
        }
        FrameSnapshot snapshot;
        snapshot.receivedAt = receivedAt;
        snapshot.instruments = std::forward<CopyInstruments>(copyInstruments)();
        commit(std::move(snapshot));
    }

    /// Takes the oldest snapshot into `out`; false when the queue is empty.
    bool pop(FrameSnapshot& out);

    /// Frames pushed so far (queued, taken or dropped).
    std::uint64_t framesSeen() const;
    /// Frames that did not fit.
    std::uint64_t framesDropped() const;
    /// Bytes held now, as `bytesOf` counts them.
    std::size_t bytesHeld() const;

    /// What a snapshot occupies: the record and its instrument array (the identities are shared
    /// with the stream's store and not counted).
    static std::size_t bytesOf(const FrameSnapshot& snapshot);

private:
    /// Counts the frame; false (and counted as dropped) when a frame of the last size would not
    /// fit.
    bool reserveFrame();
    void commit(FrameSnapshot snapshot);

    const std::size_t m_capacityBytes;
    mutable std::mutex m_mutex;
    std::deque<FrameSnapshot> m_frames;  // guarded by m_mutex
    std::size_t m_bytes = 0;             // guarded by m_mutex
    std::size_t m_lastFrameBytes = 0;    // guarded by m_mutex
    std::uint64_t m_seen = 0;            // guarded by m_mutex
    std::uint64_t m_dropped = 0;         // guarded by m_mutex
};

}  // namespace Host
}  // namespace Quorvane
