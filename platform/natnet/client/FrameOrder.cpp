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
    if (!started_) {
        started_ = true;
        last_ = frameNumber;
        onlyOld_ = false;
        arrived_.reset();
        arrived_.set(0);
        return FrameVerdict::Deliver;
    }
    const int32_t distance = serialDistance(last_, frameNumber);
    if (distance > 0) {
        missing_ += static_cast<uint32_t>(distance) - 1u;
        advance(frameNumber, static_cast<uint32_t>(distance));
        onlyOld_ = false;
        return FrameVerdict::Deliver;
    }
    const bool largeJump = distance < -kLargeJump;
    if (!largeJump && !onlyOld_) {
        onlyOld_ = true;
        oldSinceNs_ = nowNs;
    }
    // Only old frames for a while (not a pause: frames kept coming): the numbering went back.
    const bool stalled = distance < 0 && nowNs - oldSinceNs_ > kStallNs;
    if (largeJump || stalled) {
        last_ = frameNumber;
        onlyOld_ = false;
        arrived_.reset();
        arrived_.set(0);
        return FrameVerdict::Restart;
    }
    // Not newer. A skipped frame that arrives late is no longer missing.
    const int32_t behind = -distance;
    if (behind < kWindow && !arrived_.test(static_cast<size_t>(behind))) {
        arrived_.set(static_cast<size_t>(behind));
        if (missing_ > 0) {
            --missing_;
        }
    }
    return FrameVerdict::Old;
}

void FrameOrder::reset()
{
    started_ = false;
    onlyOld_ = false;
    arrived_.reset();
}

void FrameOrder::advance(int32_t frameNumber, uint32_t distance)
{
    if (distance >= static_cast<uint32_t>(kWindow)) {
        arrived_.reset();
    } else {
        arrived_ <<= distance;
    }
    arrived_.set(0);
    last_ = frameNumber;
}

}  // namespace NatNet::Net
