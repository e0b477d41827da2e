#include "RigidBodyHistory.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace NatNet::Net {

RigidBodyHistory::RigidBodyHistory()
    : m_latest(std::make_unique<Snapshot>()), m_previous(std::make_unique<Snapshot>())
{
}

RigidBodyHistory::~RigidBodyHistory() = default;

void RigidBodyHistory::record(const sFrameOfMocapData& frame)
{
    const int32_t count = std::clamp(frame.nRigidBodies, 0, MAX_RIGIDBODIES);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::swap(m_latest, m_previous);
    m_latest->timestamp = frame.fTimestamp;
    m_latest->count = count;
    std::memcpy(m_latest->bodies, frame.RigidBodies, sizeof(sRigidBodyData) * static_cast<size_t>(count));
}

void RigidBodyHistory::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest->count = 0;
    m_previous->count = 0;
}

const sRigidBodyData* RigidBodyHistory::find(const Snapshot& snapshot, int32_t streamingId)
{
    for (int32_t i = 0; i < snapshot.count; ++i) {
        if (snapshot.bodies[i].ID == streamingId) {
            return &snapshot.bodies[i];
        }
    }
    return nullptr;
}

bool RigidBodyHistory::predict(int32_t streamingId, double dt, sRigidBodyData& out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const sRigidBodyData* last = find(*m_latest, streamingId);
    if (last == nullptr) {
        return false;
    }
    out = *last;
    const sRigidBodyData* before = find(*m_previous, streamingId);
    const double span = m_latest->timestamp - m_previous->timestamp;
    const bool tracked = (last->params & 1) != 0 && before != nullptr && (before->params & 1) != 0;
    if (dt != 0.0 && tracked && span > 0.0) {
        const double scale = dt / span;
        out.x = static_cast<float>(last->x + (last->x - before->x) * scale);
        out.y = static_cast<float>(last->y + (last->y - before->y) * scale);
        out.z = static_cast<float>(last->z + (last->z - before->z) * scale);
    }
    return true;
}

}  // namespace NatNet::Net
