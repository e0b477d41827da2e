#include "natnet/codec/FrameStorage.h"

namespace NatNet::Wire {

FrameStorage::FrameStorage()
    : m_markers(new MarkerData[kMarkerCapacity]()),
      m_rigidBodies(new sRigidBodyData[kRigidBodyCapacity]),
      m_assetMarkers(new sMarker[kAssetMarkerCapacity]())
{
}

FrameStorage::~FrameStorage() = default;

}  // namespace NatNet::Wire
