// NatNet_CopyFrame and NatNet_FreeFrame: deep copies of a frame record.
//
// A copy owns one array per pointer of the record (marker-set markers, other
// markers, skeleton bones, asset bodies and markers), each from
// new (std::nothrow) T[n]; NatNet_FreeFrame deletes exactly those and resets
// the pointers, so it is safe to call twice. A record that did not come from
// NatNet_CopyFrame must not be given to NatNet_FreeFrame.
#include "NatNetCAPI.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace NatNet::Internal {
namespace {

bool countInRange(int32_t count, int32_t capacity)
{
    return count >= 0 && count <= capacity;
}

bool frameCountsValid(const sFrameOfMocapData& frame)
{
    return countInRange(frame.nMarkerSets, MAX_MARKERSETS) && frame.nOtherMarkers >= 0 &&
           countInRange(frame.nRigidBodies, MAX_RIGIDBODIES) &&
           countInRange(frame.nSkeletons, MAX_SKELETONS) && countInRange(frame.nAssets, MAX_ASSETS) &&
           countInRange(frame.nLabeledMarkers, MAX_LABELED_MARKERS) &&
           countInRange(frame.nForcePlates, MAX_FORCEPLATES) && countInRange(frame.nDevices, MAX_DEVICES);
}

// Arrays allocated for one copy; released together unless the copy succeeds.
class Allocations
{
public:
    ~Allocations()
    {
        if (m_committed) return;
        for (MarkerData* p : m_markers) delete[] p;
        for (sRigidBodyData* p : m_bodies) delete[] p;
        for (sMarker* p : m_assetMarkers) delete[] p;
    }
    void commit() { m_committed = true; }

    // Copies count elements of source; false when allocation failed. A null
    // source or a count of 0 gives a null array.
    template <typename T>
    bool duplicate(const T* source, int32_t count, T*& result)
    {
        result = nullptr;
        if (!source || count <= 0) return true;
        T* copy = new (std::nothrow) T[static_cast<size_t>(count)];
        if (!copy) return false;
        std::memcpy(static_cast<void*>(copy), source, sizeof(T) * static_cast<size_t>(count));
        if (!remember(copy)) return delete[] copy, false;
        result = copy;
        return true;
    }

private:
    bool remember(MarkerData* p) { return push(m_markers, p); }
    bool remember(sRigidBodyData* p) { return push(m_bodies, p); }
    bool remember(sMarker* p) { return push(m_assetMarkers, p); }
    template <typename T>
    static bool push(std::vector<T*>& list, T* p)
    {
        try {
            list.push_back(p);
            return true;
        } catch (...) {
            return false;
        }
    }

    std::vector<MarkerData*> m_markers;
    std::vector<sRigidBodyData*> m_bodies;
    std::vector<sMarker*> m_assetMarkers;
    bool m_committed = false;
};

struct CopiedPointers
{
    MarkerData* markerSets[MAX_MARKERSETS];
    MarkerData* otherMarkers;
    sRigidBodyData* skeletonBones[MAX_SKELETONS];
    sRigidBodyData* assetBodies[MAX_ASSETS];
    sMarker* assetMarkers[MAX_ASSETS];
};

}  // namespace
}  // namespace NatNet::Internal

extern "C" {

NATNET_API ErrorCode NATNET_CALLCONV NatNet_CopyFrame(sFrameOfMocapData* pSrc, sFrameOfMocapData* pDst)
{
    using namespace NatNet::Internal;
    if (!pSrc || !pDst || pSrc == pDst || !frameCountsValid(*pSrc)) return ErrorCode_InvalidArgument;
    const sFrameOfMocapData& src = *pSrc;

    // Everything is allocated before pDst is touched: a failed copy leaves it as it was.
    Allocations allocations;
    auto pointers = std::unique_ptr<CopiedPointers>(new (std::nothrow) CopiedPointers());
    if (!pointers) return ErrorCode_Internal;
    bool ok = true;
    for (int32_t i = 0; ok && i < src.nMarkerSets; ++i) {
        ok = allocations.duplicate(src.MocapData[i].Markers, src.MocapData[i].nMarkers,
                                   pointers->markerSets[i]);
    }
    ok = ok && allocations.duplicate(src.OtherMarkers, src.nOtherMarkers, pointers->otherMarkers);
    for (int32_t i = 0; ok && i < src.nSkeletons; ++i) {
        ok = allocations.duplicate(src.Skeletons[i].RigidBodyData, src.Skeletons[i].nRigidBodies,
                                   pointers->skeletonBones[i]);
    }
    for (int32_t i = 0; ok && i < src.nAssets; ++i) {
        ok = allocations.duplicate(src.Assets[i].RigidBodyData, src.Assets[i].nRigidBodies,
                                   pointers->assetBodies[i]) &&
             allocations.duplicate(src.Assets[i].MarkerData, src.Assets[i].nMarkers,
                                   pointers->assetMarkers[i]);
    }
    if (!ok) return ErrorCode_Internal;

    std::memcpy(static_cast<void*>(pDst), pSrc, sizeof(sFrameOfMocapData));
    for (int32_t i = 0; i < src.nMarkerSets; ++i) pDst->MocapData[i].Markers = pointers->markerSets[i];
    pDst->OtherMarkers = pointers->otherMarkers;
    for (int32_t i = 0; i < src.nSkeletons; ++i) {
        pDst->Skeletons[i].RigidBodyData = pointers->skeletonBones[i];
    }
    for (int32_t i = 0; i < src.nAssets; ++i) {
        pDst->Assets[i].RigidBodyData = pointers->assetBodies[i];
        pDst->Assets[i].MarkerData = pointers->assetMarkers[i];
    }
    allocations.commit();
    return ErrorCode_OK;
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeFrame(sFrameOfMocapData* pFrame)
{
    using namespace NatNet::Internal;
    if (!pFrame || !frameCountsValid(*pFrame)) return ErrorCode_InvalidArgument;
    for (int32_t i = 0; i < pFrame->nMarkerSets; ++i) {
        delete[] pFrame->MocapData[i].Markers;
        pFrame->MocapData[i].Markers = nullptr;
    }
    delete[] pFrame->OtherMarkers;
    pFrame->OtherMarkers = nullptr;
    for (int32_t i = 0; i < pFrame->nSkeletons; ++i) {
        delete[] pFrame->Skeletons[i].RigidBodyData;
        pFrame->Skeletons[i].RigidBodyData = nullptr;
    }
    for (int32_t i = 0; i < pFrame->nAssets; ++i) {
        delete[] pFrame->Assets[i].RigidBodyData;
        pFrame->Assets[i].RigidBodyData = nullptr;
        delete[] pFrame->Assets[i].MarkerData;
        pFrame->Assets[i].MarkerData = nullptr;
    }
    return ErrorCode_OK;
}

}  // extern "C"
