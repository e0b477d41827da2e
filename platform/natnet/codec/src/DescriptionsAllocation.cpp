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

}  // namespace

void freeDescription(sDataDescription& description)
{
    switch (description.type) {
        case Descriptor_MarkerSet:
            if (sMarkerSetDescription* set = description.Data.MarkerSetDescription) {
                freeNameArray(set->szMarkerNames, set->nMarkers);
                delete set;
            }
            break;
        case Descriptor_RigidBody:
            if (sRigidBodyDescription* body = description.Data.RigidBodyDescription) {
                freeRigidBodyArrays(*body);
                delete body;
            }
            break;
        case Descriptor_Skeleton:
            freeBodyGroup(description.Data.SkeletonDescription);
            break;
        case Descriptor_ForcePlate:
            delete description.Data.ForcePlateDescription;
            break;
        case Descriptor_Device:
            delete description.Data.DeviceDescription;
            break;
        case Descriptor_Camera:
            delete description.Data.CameraDescription;
            break;
        case Descriptor_Asset:
            freeBodyGroup(description.Data.AssetDescription);
            break;
        default:
            break;  // never stored by the decoder
    }
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
