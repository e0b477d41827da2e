#include "FrameQueue.h"

namespace Quorvane {
namespace Host {

FrameQueue::FrameQueue(std::size_t capacityBytes) : m_capacityBytes(capacityBytes) {}

FrameQueue::~FrameQueue() = default;

std::size_t FrameQueue::bytesOf(const FrameSnapshot& snapshot)
{
    return sizeof(FrameSnapshot) + snapshot.instruments.capacity() * sizeof(TrackingInstrument);
}

bool FrameQueue::reserveFrame()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_seen;
    // The next frame is about as large as the last one; an empty queue takes any one frame,
    // so a single frame larger than the whole budget still gets through.
    const std::size_t expected = m_lastFrameBytes != 0 ? m_lastFrameBytes : sizeof(FrameSnapshot);
    if (!m_frames.empty() && m_bytes + expected > m_capacityBytes) {
        ++m_dropped;
        return false;
    }
    return true;
}

void FrameQueue::commit(FrameSnapshot snapshot)
{
    const std::size_t bytes = bytesOf(snapshot);
    const std::lock_guard<std::mutex> lock(m_mutex);
    snapshot.frame = m_seen;
    m_lastFrameBytes = bytes;
    if (!m_frames.empty() && m_bytes + bytes > m_capacityBytes) {
        ++m_dropped;  // larger than the last one and no longer fits; freed outside the lock
        return;
    }
    m_bytes += bytes;
    m_frames.push_back(std::move(snapshot));
}

bool FrameQueue::pop(FrameSnapshot& out)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_frames.empty()) {
        return false;
    }
    out = std::move(m_frames.front());
    m_frames.pop_front();
    m_bytes -= bytesOf(out);
    return true;
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

std::size_t FrameQueue::bytesHeld() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes;
}

}  // namespace Host
}  // namespace Quorvane
