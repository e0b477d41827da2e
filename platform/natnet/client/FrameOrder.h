// Frames are handed on in frame-number order, each at most once.
//
// UDP duplicates and reorders datagrams (a switch that duplicates, jitter on a
// loaded network); applying such a frame would move a rigid body back in
// time. A frame whose number is not newer than the last one handed on is
// dropped. Frame numbers are compared in serial-number arithmetic (they wrap
// after 2^31 frames).
//
// The number also jumps for good reasons: the server restarts, or Motive plays
// a recorded take that loops. A backward jump by more than kLargeJump frames
// is followed at once; a smaller backward jump is followed once only old
// frames have arrived for kStallNs (a short take looping), which reordering
// alone never causes. A pause of the stream is no such stall: it sends nothing.
//
// Frame numbers skipped between two frames handed on (however many: an
// outage) count as missing until they arrive late (then they count as old).
//
// Receive thread only; no allocation.
#pragma once

#include <bitset>
#include <cstdint>

namespace NatNet::Net {

enum class FrameVerdict : uint8_t {
    Deliver,  // newer than the last frame handed on
    Old,      // a duplicate or overtaken frame: drop it
    Restart,  // a jump of the numbering that is followed: deliver it
};

class FrameOrder
{
public:
    // More than any reordering window: 20 ms of jitter at 10 kHz is 200 frames.
    static constexpr int32_t kLargeJump = 1000;
    static constexpr uint64_t kStallNs = 500'000'000;

    FrameVerdict admit(int32_t frameNumber, uint64_t nowNs);
    void reset();

    uint64_t missing() const { return m_missing; }

private:
    // How far back late arrivals are recognised (and uncounted as missing).
    static constexpr int32_t kWindow = 1024;

    void advance(int32_t frameNumber, uint32_t distance);

    bool m_started = false;
    int32_t m_last = 0;
    bool m_onlyOld = false;     // only old frames arrived since the last one handed on
    uint64_t m_oldSinceNs = 0;  // since when
    uint64_t m_missing = 0;
    // Bit i: frame m_last - i has arrived.
    std::bitset<kWindow> m_arrived;
};

}  // namespace NatNet::Net
