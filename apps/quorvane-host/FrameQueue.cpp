#include "FrameQueue.h"

#include <utility>

namespace Quorvane {
namespace Host {

FrameQueue::FrameQueue(Mode mode, std::size_t capacity)
    : m_mode(mode), m_capacity(capacity == 0 ? 1 : capacity)
{
}

FrameQueue::~FrameQueue() = default;

void FrameQueue::push(std::chrono::steady_clock::time_point receivedAt,
                      std::vector<TrackingInstrument> instruments)
{
    FrameSnapshot snapshot;
    snapshot.receivedAt = receivedAt;
    snapshot.instruments = std::move(instruments);

    // The replaced frame (LatestOnly) is destroyed outside the lock.
    FrameSnapshot replaced;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        snapshot.frame = ++m_seen;
        if (m_mode == Mode::LatestOnly) {
            if (!m_frames.empty()) {
                replaced = std::move(m_frames.back());
                m_frames.back() = std::move(snapshot);
                return;
            }
        } else if (m_frames.size() >= m_capacity) {
            ++m_dropped;
            return;
        }
        m_frames.push_back(std::move(snapshot));
    }
}

std::vector<FrameSnapshot> FrameQueue::takeAll()
{
    std::deque<FrameSnapshot> taken;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        taken.swap(m_frames);
    }
    return std::vector<FrameSnapshot>(std::make_move_iterator(taken.begin()),
                                      std::make_move_iterator(taken.end()));
}

std::uint64_t FrameQueue::framesSeen() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

std::uint64_t FrameQueue::framesDropped() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

}  // namespace Host
}  // namespace Quorvane
