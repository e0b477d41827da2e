#include "IgtlClientQueue.h"

#include <algorithm>

namespace Quorvane {
namespace Host {

IgtlClientQueue::IgtlClientQueue(std::size_t maxInstruments) : m_maxInstruments(maxInstruments) {}

void IgtlClientQueue::offer(const std::vector<IgtlPose>& poses)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) {
            return;
        }
        for (const IgtlPose& pose : poses) {
            auto same = std::find_if(m_pending.begin(), m_pending.end(),
                                     [&](const IgtlPose& held) { return held.key == pose.key; });
            if (same != m_pending.end()) {
                *same = pose;
                ++m_missed;
            } else if (m_pending.size() < m_maxInstruments) {
                m_pending.push_back(pose);
            } else {
                ++m_missed;
            }
        }
    }
    m_changed.notify_one();
}

bool IgtlClientQueue::take(std::vector<IgtlPose>& out, std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, until, [this] { return m_closed || !m_pending.empty(); });
    if (m_closed || m_pending.empty()) {
        return false;
    }
    out.clear();
    out.swap(m_pending);
    return true;
}

void IgtlClientQueue::close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

bool IgtlClientQueue::closed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

bool IgtlClientQueue::waitUnlessClosed(std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_until(lock, until, [this] { return m_closed; });
}

std::uint64_t IgtlClientQueue::missed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_missed;
}

}  // namespace Host
}  // namespace Quorvane
