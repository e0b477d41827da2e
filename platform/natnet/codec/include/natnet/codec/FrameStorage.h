// Storage that the arrays of a decoded frame point into.
//
// Allocated once, at the largest size a single datagram can describe, and
// reused for every frame: decoding never allocates. The pointers in a frame
// decoded with this storage stay valid until the next successful decode with
// the same storage.
#pragma once

#include "NatNetTypes.h"

#include <cstddef>
#include <memory>

namespace NatNet::Wire {

class FrameStorage
{
public:
    // Element counts bounded by the smallest wire size of each element in the
    // largest payload a u16 length allows.
    static constexpr size_t kMaxPayload = 65535;
    static constexpr size_t kMarkerCapacity = kMaxPayload / 12 + 1;       // 3 x f32
    static constexpr size_t kRigidBodyCapacity = kMaxPayload / 38 + 1;    // skeleton bones, asset bodies
    static constexpr size_t kAssetMarkerCapacity = kMaxPayload / 26 + 1;  // asset markers

    FrameStorage();
    ~FrameStorage();
    FrameStorage(const FrameStorage&) = delete;
    FrameStorage& operator=(const FrameStorage&) = delete;

    MarkerData* markers() { return m_markers.get(); }
    sRigidBodyData* rigidBodies() { return m_rigidBodies.get(); }
    sMarker* assetMarkers() { return m_assetMarkers.get(); }

    // Streams before 3.0 carry an f32 "latency" (a server timestamp in
    // seconds) that the 4.1 frame record has no field for; the last decode
    // leaves it here (0 for 3.0 and later).
    float legacyLatency() const { return m_legacyLatency; }
    void setLegacyLatency(float value) { m_legacyLatency = value; }

private:
    std::unique_ptr<MarkerData[]> m_markers;
    std::unique_ptr<sRigidBodyData[]> m_rigidBodies;
    std::unique_ptr<sMarker[]> m_assetMarkers;
    float m_legacyLatency = 0.0f;
};

}  // namespace NatNet::Wire
