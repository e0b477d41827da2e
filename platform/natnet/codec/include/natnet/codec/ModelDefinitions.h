// NAT_MODELDEF: the server's data descriptions.
//
// The decoded list is allocated as follows, and freeDescriptions releases
// exactly that (NatNet_FreeDescriptions calls it):
//   - the sDataDescriptions record: new (std::nothrow) sDataDescriptions;
//   - each description record: new (std::nothrow) of its type;
//   - marker-set marker names and rigid-body marker names: an array
//     new (std::nothrow) char*[n] whose entries are new (std::nothrow) char[len + 1];
//   - rigid-body marker positions: new (std::nothrow) MarkerData[n]; required
//     labels: new (std::nothrow) int32_t[n]; an array is null when n is 0.
// Skeleton bones and asset members are held inline in their records; their
// marker arrays follow the same rules.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Status.h"
#include "natnet/codec/Version.h"

#include "NatNetTypes.h"

#include <cstddef>
#include <cstdint>

namespace NatNet::Wire {

// Decodes into a newly allocated list, stored in *out only on Ok. A
// description whose type bit (1 << type) is clear in typeMask is read and
// dropped; so is a type that 4.1+ lets us skip but this record cannot hold.
// Before 4.1 an unknown type ends decoding with UnknownDescriptionType.
// Rigid-body rotation offsets (4.2+) are checked and dropped: the 4.1 record
// has no field for them.
Status decodeModelDefinitions(const uint8_t* payload, size_t size, Version version, sDataDescriptions** out,
                              uint32_t typeMask = 0xFFFFFFFFu);

// Encodes a whole NAT_MODELDEF datagram for the version. Descriptions of a
// type that the version does not have are InvalidRecord. Rotation offsets
// (4.2+) are written as the identity.
Status encodeModelDefinitions(ByteWriter& out, const sDataDescriptions& descriptions, Version version);

// Releases a list allocated as described above; null is allowed.
void freeDescriptions(sDataDescriptions* descriptions);

// Whether the model definitions of this version have descriptions of this type (Descriptor_*).
bool descriptionInVersion(int32_t type, Version version);

// Calls visit(record) with the record pointer that the description's type selects (the union
// member itself, so that a decoder can allocate into it) and returns what it returns;
// `otherType` for a type that has no record here.
template <typename Description, typename Visit, typename Result>
Result visitRecord(Description& description, Visit&& visit, Result otherType)
{
    auto& data = description.Data;
    switch (description.type) {
        case Descriptor_MarkerSet:
            return visit(data.MarkerSetDescription);
        case Descriptor_RigidBody:
            return visit(data.RigidBodyDescription);
        case Descriptor_Skeleton:
            return visit(data.SkeletonDescription);
        case Descriptor_ForcePlate:
            return visit(data.ForcePlateDescription);
        case Descriptor_Device:
            return visit(data.DeviceDescription);
        case Descriptor_Camera:
            return visit(data.CameraDescription);
        case Descriptor_Asset:
            return visit(data.AssetDescription);
        default:
            return otherType;
    }
}

}  // namespace NatNet::Wire
