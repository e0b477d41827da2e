#include "FrameOrder.h"

namespace NatNet::Net {

namespace {

// Signed distance from `from` to `to`, wrapping like the 32-bit frame number.
int32_t serialDistance(int32_t from, int32_t to)
{
    return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

}  // namespace

FrameVerdict FrameOrder::admit(int32_t frameNumber, uint64_t nowNs)
{
    if (!m_started) {
        m_started = true;
        m_last = frameNumber;
        m_onlyOld = false;
        m_arrived.reset();
        m_arrived.set(0);
        return FrameVerdict::Deliver;
    }
    const int32_t distance = serialDistance(m_last, frameNumber);
    if (distance > 0) {
        m_missing += static_cast<uint32_t>(distance) - 1u;
        advance(frameNumber, static_cast<uint32_t>(distance));
        m_onlyOld = false;
        return FrameVerdict::Deliver;
    }
    const bool largeJump = distance < -kLargeJump;
    if (!largeJump && !m_onlyOld) {
        m_onlyOld = true;
        m_oldSinceNs = nowNs;
    }
    // Only old frames for a while (not a pause: frames kept coming): the numbering went back.
    const bool stalled = distance < 0 && nowNs - m_oldSinceNs > kStallNs;
    if (largeJump || stalled) {
        m_last = frameNumber;
        m_onlyOld = false;
        m_arrived.reset();
        m_arrived.set(0);
        return FrameVerdict::Restart;
    }
    // Not newer. A skipped frame that arrives late is no longer missing.
    const int32_t behind = -distance;
    if (behind < kWindow && !m_arrived.test(static_cast<size_t>(behind))) {
        m_arrived.set(static_cast<size_t>(behind));
        if (m_missing > 0) {
            --m_missing;
        }
    }
    return FrameVerdict::Old;
}

void FrameOrder::reset()
{
    m_started = false;
    m_onlyOld = false;
    m_arrived.reset();
}

void FrameOrder::advance(int32_t frameNumber, uint32_t distance)
{
    if (distance >= static_cast<uint32_t>(kWindow)) {
        m_arrived.reset();
    } else {
        m_arrived <<= distance;
    }
    m_arrived.set(0);
    m_last = frameNumber;
}

}  // namespace NatNet::Net
