// Releases description lists; the allocation rules are in ModelDefinitions.h.
#include "DescriptionsAllocation.h"

#include "natnet/codec/ModelDefinitions.h"

namespace NatNet::Wire {
namespace Internal {

void freeNameArray(char** names, int32_t count)
{
    if (!names) return;
    for (int32_t i = 0; i < count; ++i) delete[] names[i];
    delete[] names;
}

void freeRigidBodyArrays(sRigidBodyDescription& body)
{
    delete[] body.MarkerPositions;
    delete[] body.MarkerRequiredLabels;
    freeNameArray(body.szMarkerNames, body.nMarkers);
    body.MarkerPositions = nullptr;
    body.MarkerRequiredLabels = nullptr;
    body.szMarkerNames = nullptr;
}

namespace {

// Force plates, devices and cameras own nothing but themselves.
template <typename Record>
void freeRecord(Record* record)
{
    delete record;
}

void freeRecord(sMarkerSetDescription* set)
{
    if (set) freeNameArray(set->szMarkerNames, set->nMarkers);
    delete set;
}

void freeRecord(sRigidBodyDescription* body)
{
    if (body) freeRigidBodyArrays(*body);
    delete body;
}

// Skeletons and assets hold their bodies inline; each body owns its marker arrays.
template <typename Group>
void freeBodyGroup(Group* group)
{
    if (!group) return;
    for (int32_t i = 0; i < group->nRigidBodies && i < MAX_SKELRIGIDBODIES; ++i) {
        freeRigidBodyArrays(group->RigidBodies[i]);
    }
    delete group;
}

void freeRecord(sSkeletonDescription* skeleton)
{
    freeBodyGroup(skeleton);
}

void freeRecord(sAssetDescription* asset)
{
    freeBodyGroup(asset);
}

}  // namespace

void freeDescription(sDataDescription& description)
{
    // A type without a record is never stored by the decoder.
    visitRecord(
        description,
        [](auto* record) {
            freeRecord(record);
            return true;
        },
        false);
    description.Data.MarkerSetDescription = nullptr;
}

}  // namespace Internal

void freeDescriptions(sDataDescriptions* descriptions)
{
    if (!descriptions) return;
    const int32_t count = descriptions->nDataDescriptions;
    for (int32_t i = 0; i < count && i < MAX_MODELS; ++i) {
        Internal::freeDescription(descriptions->arrDataDescriptions[i]);
    }
    delete descriptions;
}

}  // namespace NatNet::Wire
