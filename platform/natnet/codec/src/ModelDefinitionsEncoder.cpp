// Model definition encoding, in the layout a Motive server sends for the version.
//
// A missing label array is sent as zeros and a missing name as an empty text;
// marker positions and description records must be present.
#include "natnet/codec/ModelDefinitions.h"

#include "MessageFraming.h"
#include "natnet/codec/ByteReader.h"

namespace NatNet::Wire {
namespace Internal {
namespace {

class DescriptionWriter
{
public:
    DescriptionWriter(ByteWriter& out, Version version) : m_out(out), m_v(version) {}

    Status write(const sDataDescriptions& list)
    {
        if (list.nDataDescriptions < 0 || list.nDataDescriptions > MAX_MODELS) return Status::InvalidRecord;
        m_out.writeI32(list.nDataDescriptions);
        for (int32_t i = 0; i < list.nDataDescriptions; ++i) {
            const Status s = description(list.arrDataDescriptions[i]);
            if (s != Status::Ok) return s;
        }
        return Status::Ok;
    }

private:
    Status description(const sDataDescription& d)
    {
        m_out.writeI32(d.type);
        const size_t sizeAt = m_out.size();
        if (m_v.atLeast(Gate::DescriptionSizeField)) m_out.writeI32(0);
        const Status s = descriptionInVersion(d.type, m_v) ? body(d) : Status::InvalidRecord;
        if (s == Status::Ok && m_v.atLeast(Gate::DescriptionSizeField)) {
            m_out.patchI32(sizeAt, static_cast<int32_t>(m_out.size() - sizeAt - 4));
        }
        return s;
    }

    // The description's own record; a missing one is InvalidRecord.
    Status body(const sDataDescription& d)
    {
        return visitRecord(
            d, [this](const auto* record) { return record ? encode(*record) : Status::InvalidRecord; },
            Status::InvalidRecord);
    }

    void text(const char* field, size_t fieldSize) { m_out.writeCString(boundedText(field, fieldSize)); }
    void text(const char* zeroTerminated)
    {
        m_out.writeCString(zeroTerminated ? std::string_view(zeroTerminated) : std::string_view());
    }
    void xyz(float x, float y, float z)
    {
        m_out.writeF32(x);
        m_out.writeF32(y);
        m_out.writeF32(z);
    }

    Status encode(const sMarkerSetDescription& set)
    {
        if (set.nMarkers < 0) return Status::InvalidRecord;
        text(set.szName, sizeof set.szName);
        m_out.writeI32(set.nMarkers);
        for (int32_t i = 0; i < set.nMarkers; ++i) text(set.szMarkerNames ? set.szMarkerNames[i] : nullptr);
        return Status::Ok;
    }

    Status encode(const sRigidBodyDescription& body)
    {
        const bool markers = m_v.atLeast(Gate::RigidBodyDescriptionMarkers);
        if (markers && (body.nMarkers < 0 || (body.nMarkers > 0 && !body.MarkerPositions))) {
            return Status::InvalidRecord;
        }
        if (m_v.atLeast(Gate::RigidBodyDescriptionName)) text(body.szName, sizeof body.szName);
        m_out.writeI32(body.ID);
        m_out.writeI32(body.parentID);
        xyz(body.offsetx, body.offsety, body.offsetz);
        if (m_v.atLeast(Gate::RigidBodyDescriptionRotationOffset)) {
            m_out.writeF32(0.0f);
            m_out.writeF32(0.0f);
            m_out.writeF32(0.0f);
            m_out.writeF32(1.0f);
        }
        if (!markers) return Status::Ok;
        m_out.writeI32(body.nMarkers);
        for (int32_t i = 0; i < body.nMarkers; ++i) {
            xyz(body.MarkerPositions[i][0], body.MarkerPositions[i][1], body.MarkerPositions[i][2]);
        }
        for (int32_t i = 0; i < body.nMarkers; ++i) {
            m_out.writeI32(body.MarkerRequiredLabels ? body.MarkerRequiredLabels[i] : 0);
        }
        if (m_v.atLeast(Gate::RigidBodyDescriptionMarkerNames)) {
            for (int32_t i = 0; i < body.nMarkers; ++i) {
                text(body.szMarkerNames ? body.szMarkerNames[i] : nullptr);
            }
        }
        return Status::Ok;
    }

    Status rigidBodies(const sRigidBodyDescription* bodies, int32_t count)
    {
        if (count < 0 || count > MAX_SKELRIGIDBODIES) return Status::InvalidRecord;
        m_out.writeI32(count);
        for (int32_t i = 0; i < count; ++i) {
            const Status s = encode(bodies[i]);
            if (s != Status::Ok) return s;
        }
        return Status::Ok;
    }

    Status encode(const sSkeletonDescription& skeleton)
    {
        text(skeleton.szName, sizeof skeleton.szName);
        m_out.writeI32(skeleton.skeletonID);
        return rigidBodies(skeleton.RigidBodies, skeleton.nRigidBodies);
    }

    Status channels(const char (*names)[MAX_NAMELENGTH], int32_t count)
    {
        if (count < 0 || count > MAX_ANALOG_CHANNELS) return Status::InvalidRecord;
        m_out.writeI32(count);
        for (int32_t c = 0; c < count; ++c) text(names[c], MAX_NAMELENGTH);
        return Status::Ok;
    }

    Status encode(const sForcePlateDescription& plate)
    {
        m_out.writeI32(plate.ID);
        text(plate.strSerialNo, sizeof plate.strSerialNo);
        m_out.writeF32(plate.fWidth);
        m_out.writeF32(plate.fLength);
        xyz(plate.fOriginX, plate.fOriginY, plate.fOriginZ);
        for (const auto& row : plate.fCalMat) {
            for (const float value : row) m_out.writeF32(value);
        }
        for (const auto& corner : plate.fCorners) xyz(corner[0], corner[1], corner[2]);
        m_out.writeI32(plate.iPlateType);
        m_out.writeI32(plate.iChannelDataType);
        return channels(plate.szChannelNames, plate.nChannels);
    }

    Status encode(const sDeviceDescription& device)
    {
        m_out.writeI32(device.ID);
        text(device.strName, sizeof device.strName);
        text(device.strSerialNo, sizeof device.strSerialNo);
        m_out.writeI32(device.iDeviceType);
        m_out.writeI32(device.iChannelDataType);
        return channels(device.szChannelNames, device.nChannels);
    }

    Status encode(const sCameraDescription& camera)
    {
        text(camera.strName, sizeof camera.strName);
        xyz(camera.x, camera.y, camera.z);
        m_out.writeF32(camera.qx);
        m_out.writeF32(camera.qy);
        m_out.writeF32(camera.qz);
        m_out.writeF32(camera.qw);
        return Status::Ok;
    }

    Status encode(const sAssetDescription& asset)
    {
        if (asset.nMarkers < 0 || asset.nMarkers > MAX_SKELRIGIDBODIES) return Status::InvalidRecord;
        text(asset.szName, sizeof asset.szName);
        m_out.writeI32(asset.AssetType);
        m_out.writeI32(asset.AssetID);
        const Status s = rigidBodies(asset.RigidBodies, asset.nRigidBodies);
        if (s != Status::Ok) return s;
        m_out.writeI32(asset.nMarkers);
        for (int32_t k = 0; k < asset.nMarkers; ++k) {
            const sMarkerDescription& marker = asset.Markers[k];
            text(marker.szName, sizeof marker.szName);
            m_out.writeI32(marker.ID);
            xyz(marker.x, marker.y, marker.z);
            m_out.writeF32(marker.size);
            m_out.writeI16(marker.params);
        }
        return Status::Ok;
    }

    ByteWriter& m_out;
    Version m_v;
};

}  // namespace
}  // namespace Internal

Status encodeModelDefinitions(ByteWriter& out, const sDataDescriptions& descriptions, Version version)
{
    if (!isSupported(version)) return Status::UnsupportedVersion;
    Internal::MessageFrame message(out, static_cast<uint16_t>(MessageId::ModelDef));
    const Status s = Internal::DescriptionWriter(out, version).write(descriptions);
    return message.finish(s);
}

}  // namespace NatNet::Wire
