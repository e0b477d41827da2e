// NAT_FRAMEOFDATA: frames of motion-capture data.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameStorage.h"
#include "natnet/codec/Status.h"
#include "natnet/codec/Version.h"

#include "NatNetTypes.h"

#include <cstddef>
#include <cstdint>

namespace NatNet::Wire {

// Bit 0 of a rigid body's params: the body is tracked in this frame.
inline constexpr int16_t kRigidBodyTrackingValid = 0x01;

// Bits of a frame's params.
inline constexpr int16_t kFrameRecording = 0x01;
inline constexpr int16_t kFrameModelsChanged = 0x02;
inline constexpr int16_t kFrameEditMode = 0x04;
inline constexpr int16_t kFrameBitstreamChanged = 0x08;

// Decodes a frame payload. The whole payload is validated first (every count
// against the record's capacity, CountTooLarge, and against the bytes left,
// Truncated; 4.1+ section sizes; the exact payload length and the zero end
// tag); `out` and `storage` are written only when the frame is valid, so a
// bad datagram changes nothing.
// Only the used part of `out` is written: entries past each count keep old
// values. Fields the version does not carry are set to zero, except a rigid
// body's params before 2.6: those bodies were all tracked, so the
// tracking-valid bit is set.
Status decodeFrame(const uint8_t* payload, size_t size, Version version, FrameStorage& storage,
                   sFrameOfMocapData& out);

// Encodes a whole NAT_FRAMEOFDATA datagram for the version. Fields the
// version does not carry are left out; before 3.0 the per-body marker arrays
// are sent empty and the "latency" field carries fTimestamp.
Status encodeFrame(ByteWriter& out, const sFrameOfMocapData& frame, Version version);

}  // namespace NatNet::Wire
