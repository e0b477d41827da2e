// Model definition decoding into an allocated sDataDescriptions.
//
// Records are linked into the list as soon as they are allocated, with their
// counts matching what they own, so freeDescriptions can release a list that
// failed half way.
#include "natnet/codec/ModelDefinitions.h"

#include "DescriptionsAllocation.h"
#include "natnet/codec/ByteReader.h"

#include "CountCheck.h"

#include <cstring>
#include <memory>
#include <new>

namespace NatNet::Wire {
namespace Internal {
namespace {

struct ListDeleter
{
    void operator()(sDataDescriptions* list) const { freeDescriptions(list); }
};
using ListPtr = std::unique_ptr<sDataDescriptions, ListDeleter>;

// Drops a description that was decoded but not kept; freeDescription runs
// on whatever the walk had linked into it.
class Dropped
{
public:
    explicit Dropped(sDataDescription& slot) : m_slot(slot) {}
    ~Dropped() { freeDescription(m_slot); }

private:
    sDataDescription& m_slot;
};

class DescriptionWalk
{
public:
    DescriptionWalk(const uint8_t* data, size_t size, Version version) : m_in(data, size), m_v(version) {}

    Status run(sDataDescriptions& list, uint32_t typeMask)
    {
        int32_t count = 0;
        if (!m_in.readI32(count)) return Status::Truncated;
        Status s = checkCount(m_in, count, MAX_MODELS, m_v.atLeast(Gate::DescriptionSizeField) ? 8 : 4);
        if (s != Status::Ok) return s;
        for (int32_t i = 0; i < count; ++i) {
            int32_t type = 0;
            if (!m_in.readI32(type)) return Status::Truncated;
            size_t end = 0;
            const bool sized = m_v.atLeast(Gate::DescriptionSizeField);
            if (sized) {
                int32_t size = 0;
                if (!m_in.readI32(size)) return Status::Truncated;
                if (size < 0) return Status::SizeMismatch;
                if (static_cast<size_t>(size) > m_in.remaining()) return Status::Truncated;
                end = m_in.position() + static_cast<size_t>(size);
            }
            if (!descriptionInVersion(type, m_v)) {
                // 4.1+ lets an unknown description be skipped; before, nothing
                // tells where it ends.
                if (!sized) return Status::UnknownDescriptionType;
                m_in.skip(end - m_in.position());
                continue;
            }
            const bool keep = type < 32 && (typeMask & (1u << type)) != 0;
            if (keep) {
                sDataDescription& slot = list.arrDataDescriptions[list.nDataDescriptions++];
                slot.type = type;
                s = description(slot);
            } else {
                sDataDescription scratch{};
                scratch.type = type;
                Dropped release(scratch);
                s = description(scratch);
            }
            if (s != Status::Ok) return s;
            if (sized && m_in.position() != end) return Status::SizeMismatch;
        }
        return m_in.atEnd() ? Status::Ok : Status::SizeMismatch;
    }

private:
    template <typename T>
    static T* allocate()
    {
        return new (std::nothrow) T();
    }

    Status description(sDataDescription& slot)
    {
        return visitRecord(
            slot, [this](auto*& record) { return owned(record); }, Status::UnknownDescriptionType);
    }

    // Allocates the record, linked into the slot at once, and decodes into it.
    template <typename T>
    Status owned(T*& record)
    {
        record = allocate<T>();
        if (!record) return Status::OutOfMemory;
        return decode(*record);
    }

    // Copy of a wire text for a char* array entry.
    Status newText(char*& out)
    {
        std::string_view text;
        const Status s = m_in.readCString(text);
        if (s != Status::Ok) return s;
        out = new (std::nothrow) char[text.size() + 1];
        if (!out) return Status::OutOfMemory;
        std::memcpy(out, text.data(), text.size());
        out[text.size()] = '\0';
        return Status::Ok;
    }

    Status names(char**& array, int32_t count)
    {
        if (count == 0) return Status::Ok;
        array = new (std::nothrow) char*[static_cast<size_t>(count)]();
        if (!array) return Status::OutOfMemory;
        for (int32_t i = 0; i < count; ++i) {
            const Status s = newText(array[i]);
            if (s != Status::Ok) return s;
        }
        return Status::Ok;
    }

    bool readXyz(float& x, float& y, float& z)
    {
        return m_in.readF32(x) && m_in.readF32(y) && m_in.readF32(z);
    }

    Status decode(sMarkerSetDescription& set)
    {
        Status s = m_in.readCString(set.szName, sizeof set.szName);
        if (s != Status::Ok) return s;
        int32_t n = 0;
        if (!m_in.readI32(n)) return Status::Truncated;
        if ((s = checkCount(m_in, n, MAX_PACKETSIZE, 1)) != Status::Ok) return s;
        set.nMarkers = n;
        return names(set.szMarkerNames, n);
    }

    Status decode(sRigidBodyDescription& body)
    {
        Status s = Status::Ok;
        if (m_v.atLeast(Gate::RigidBodyDescriptionName) &&
            (s = m_in.readCString(body.szName, sizeof body.szName)) != Status::Ok) {
            return s;
        }
        if (!m_in.readI32(body.ID) || !m_in.readI32(body.parentID) ||
            !readXyz(body.offsetx, body.offsety, body.offsetz)) {
            return Status::Truncated;
        }
        if (m_v.atLeast(Gate::RigidBodyDescriptionRotationOffset)) {
            float rotation[4];
            if (!m_in.readBytes(rotation, sizeof rotation)) return Status::Truncated;
        }
        if (!m_v.atLeast(Gate::RigidBodyDescriptionMarkers)) return Status::Ok;
        int32_t n = 0;
        if (!m_in.readI32(n)) return Status::Truncated;
        const bool named = m_v.atLeast(Gate::RigidBodyDescriptionMarkerNames);
        if ((s = checkCount(m_in, n, MAX_PACKETSIZE, 12 + 4 + (named ? 1 : 0))) != Status::Ok) return s;
        body.nMarkers = n;
        if (n == 0) return Status::Ok;
        const size_t count = static_cast<size_t>(n);
        body.MarkerPositions = new (std::nothrow) MarkerData[count]();
        body.MarkerRequiredLabels = new (std::nothrow) int32_t[count]();
        if (!body.MarkerPositions || !body.MarkerRequiredLabels) return Status::OutOfMemory;
        // All positions, then all labels, then all names: three blocks.
        for (size_t i = 0; i < count; ++i) {
            readXyz(body.MarkerPositions[i][0], body.MarkerPositions[i][1], body.MarkerPositions[i][2]);
        }
        for (size_t i = 0; i < count; ++i) m_in.readI32(body.MarkerRequiredLabels[i]);
        return named ? names(body.szMarkerNames, n) : Status::Ok;
    }

    size_t rigidBodyMinSize() const
    {
        size_t size = 4 + 4 + 12;
        if (m_v.atLeast(Gate::RigidBodyDescriptionName)) size += 1;
        if (m_v.atLeast(Gate::RigidBodyDescriptionRotationOffset)) size += 16;
        if (m_v.atLeast(Gate::RigidBodyDescriptionMarkers)) size += 4;
        return size;
    }

    Status rigidBodies(sRigidBodyDescription* bodies, int32_t& outCount)
    {
        int32_t n = 0;
        if (!m_in.readI32(n)) return Status::Truncated;
        Status s = checkCount(m_in, n, MAX_SKELRIGIDBODIES, rigidBodyMinSize());
        if (s != Status::Ok) return s;
        for (int32_t i = 0; i < n; ++i) {
            outCount = i + 1;  // owned arrays of a half-read body are still released
            if ((s = decode(bodies[i])) != Status::Ok) return s;
        }
        outCount = n;
        return Status::Ok;
    }

    Status decode(sSkeletonDescription& skeleton)
    {
        Status s = m_in.readCString(skeleton.szName, sizeof skeleton.szName);
        if (s != Status::Ok) return s;
        if (!m_in.readI32(skeleton.skeletonID)) return Status::Truncated;
        return rigidBodies(skeleton.RigidBodies, skeleton.nRigidBodies);
    }

    Status channelNames(char (*out)[MAX_NAMELENGTH], int32_t& outCount)
    {
        int32_t n = 0;
        if (!m_in.readI32(n)) return Status::Truncated;
        Status s = checkCount(m_in, n, MAX_ANALOG_CHANNELS, 1);
        if (s != Status::Ok) return s;
        for (int32_t c = 0; c < n; ++c) {
            if ((s = m_in.readCString(out[c], MAX_NAMELENGTH)) != Status::Ok) return s;
        }
        outCount = n;
        return Status::Ok;
    }

    Status decode(sForcePlateDescription& plate)
    {
        if (!m_in.readI32(plate.ID)) return Status::Truncated;
        Status s = m_in.readCString(plate.strSerialNo, sizeof plate.strSerialNo);
        if (s != Status::Ok) return s;
        bool ok = m_in.readF32(plate.fWidth) && m_in.readF32(plate.fLength) &&
                  readXyz(plate.fOriginX, plate.fOriginY, plate.fOriginZ);
        for (int r = 0; ok && r < 12; ++r) {
            for (int c = 0; ok && c < 12; ++c) ok = m_in.readF32(plate.fCalMat[r][c]);
        }
        for (int k = 0; ok && k < 4; ++k) {
            ok = readXyz(plate.fCorners[k][0], plate.fCorners[k][1], plate.fCorners[k][2]);
        }
        ok = ok && m_in.readI32(plate.iPlateType) && m_in.readI32(plate.iChannelDataType);
        if (!ok) return Status::Truncated;
        return channelNames(plate.szChannelNames, plate.nChannels);
    }

    Status decode(sDeviceDescription& device)
    {
        if (!m_in.readI32(device.ID)) return Status::Truncated;
        Status s = m_in.readCString(device.strName, sizeof device.strName);
        if (s != Status::Ok ||
            (s = m_in.readCString(device.strSerialNo, sizeof device.strSerialNo)) != Status::Ok) {
            return s;
        }
        if (!m_in.readI32(device.iDeviceType) || !m_in.readI32(device.iChannelDataType)) {
            return Status::Truncated;
        }
        return channelNames(device.szChannelNames, device.nChannels);
    }

    Status decode(sCameraDescription& camera)
    {
        const Status s = m_in.readCString(camera.strName, sizeof camera.strName);
        if (s != Status::Ok) return s;
        if (!readXyz(camera.x, camera.y, camera.z) || !m_in.readF32(camera.qx) || !m_in.readF32(camera.qy) ||
            !m_in.readF32(camera.qz) || !m_in.readF32(camera.qw)) {
            return Status::Truncated;
        }
        return Status::Ok;
    }

    Status decode(sAssetDescription& asset)
    {
        Status s = m_in.readCString(asset.szName, sizeof asset.szName);
        if (s != Status::Ok) return s;
        if (!m_in.readI32(asset.AssetType) || !m_in.readI32(asset.AssetID)) return Status::Truncated;
        if ((s = rigidBodies(asset.RigidBodies, asset.nRigidBodies)) != Status::Ok) return s;
        int32_t n = 0;
        if (!m_in.readI32(n)) return Status::Truncated;
        if ((s = checkCount(m_in, n, MAX_SKELRIGIDBODIES, 1 + 4 + 12 + 4 + 2)) != Status::Ok) return s;
        for (int32_t k = 0; k < n; ++k) {
            sMarkerDescription& marker = asset.Markers[k];
            if ((s = m_in.readCString(marker.szName, sizeof marker.szName)) != Status::Ok) return s;
            if (!m_in.readI32(marker.ID) || !readXyz(marker.x, marker.y, marker.z) ||
                !m_in.readF32(marker.size) || !m_in.readI16(marker.params)) {
                return Status::Truncated;
            }
        }
        asset.nMarkers = n;
        return Status::Ok;
    }

    ByteReader m_in;
    Version m_v;
};

}  // namespace
}  // namespace Internal

bool descriptionInVersion(int32_t type, Version version)
{
    switch (type) {
        case Descriptor_MarkerSet:
        case Descriptor_RigidBody:
        case Descriptor_Skeleton:
            return true;
        case Descriptor_ForcePlate:
            return version.atLeast(Gate::ForcePlateDescription);
        case Descriptor_Device:
            return version.atLeast(Gate::DeviceDescription);
        case Descriptor_Camera:
            return version.atLeast(Gate::CameraDescription);
        case Descriptor_Asset:
            return version.atLeast(Gate::AssetDescription);
        default:
            return false;
    }
}

Status decodeModelDefinitions(const uint8_t* payload, size_t size, Version version, sDataDescriptions** out,
                              uint32_t typeMask)
{
    if (!out) return Status::InvalidRecord;
    if (!isSupported(version)) return Status::UnsupportedVersion;
    Internal::ListPtr list(new (std::nothrow) sDataDescriptions());
    if (!list) return Status::OutOfMemory;
    const Status s = Internal::DescriptionWalk(payload, size, version).run(*list, typeMask);
    if (s != Status::Ok) return s;
    *out = list.release();
    return Status::Ok;
}

}  // namespace NatNet::Wire
