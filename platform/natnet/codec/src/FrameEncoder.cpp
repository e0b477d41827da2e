// Frame encoding, in the layout a Motive server sends for the version.
#include "natnet/codec/FrameCodec.h"

#include "MessageFraming.h"
#include "natnet/codec/ByteReader.h"

namespace NatNet::Wire {
namespace Internal {
namespace {

bool inRange(int32_t count, int32_t capacity)
{
    return count >= 0 && count <= capacity;
}

bool arrayValid(const void* array, int32_t count)
{
    return count >= 0 && (count == 0 || array != nullptr);
}

template <typename Entry>
bool analogValid(const Entry* entries, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!inRange(entries[i].nChannels, MAX_ANALOG_CHANNELS)) return false;
        for (int32_t c = 0; c < entries[i].nChannels; ++c) {
            if (!inRange(entries[i].ChannelData[c].nFrames, MAX_ANALOG_SUBFRAMES)) return false;
        }
    }
    return true;
}

// Everything the encoder will follow: counts within capacity, arrays present.
bool frameValid(const sFrameOfMocapData& f)
{
    if (!inRange(f.nMarkerSets, MAX_MARKERSETS) || !arrayValid(f.OtherMarkers, f.nOtherMarkers) ||
        !inRange(f.nRigidBodies, MAX_RIGIDBODIES) || !inRange(f.nSkeletons, MAX_SKELETONS) ||
        !inRange(f.nAssets, MAX_ASSETS) || !inRange(f.nLabeledMarkers, MAX_LABELED_MARKERS) ||
        !inRange(f.nForcePlates, MAX_FORCEPLATES) || !inRange(f.nDevices, MAX_DEVICES)) {
        return false;
    }
    for (int32_t i = 0; i < f.nMarkerSets; ++i) {
        if (!arrayValid(f.MocapData[i].Markers, f.MocapData[i].nMarkers)) return false;
    }
    for (int32_t i = 0; i < f.nSkeletons; ++i) {
        if (!arrayValid(f.Skeletons[i].RigidBodyData, f.Skeletons[i].nRigidBodies)) return false;
    }
    for (int32_t i = 0; i < f.nAssets; ++i) {
        if (!arrayValid(f.Assets[i].RigidBodyData, f.Assets[i].nRigidBodies) ||
            !arrayValid(f.Assets[i].MarkerData, f.Assets[i].nMarkers)) {
            return false;
        }
    }
    return analogValid(f.ForcePlates, f.nForcePlates) && analogValid(f.Devices, f.nDevices);
}

class FrameWriter
{
public:
    FrameWriter(ByteWriter& out, Version version)
        : m_out(out), m_v(version), m_sizes(version.atLeast(Gate::FrameSectionSizes))
    {
    }

    void write(const sFrameOfMocapData& f)
    {
        m_out.writeI32(f.iFrame);

        size_t section = open(f.nMarkerSets);
        for (int32_t i = 0; i < f.nMarkerSets; ++i) {
            const sMarkerSetData& set = f.MocapData[i];
            m_out.writeCString(boundedText(set.szName, sizeof set.szName));
            m_out.writeI32(set.nMarkers);
            markers(set.Markers, set.nMarkers);
        }
        close(section);

        section = open(f.nOtherMarkers);
        markers(f.OtherMarkers, f.nOtherMarkers);
        close(section);

        section = open(f.nRigidBodies);
        for (int32_t i = 0; i < f.nRigidBodies; ++i) rigidBody(f.RigidBodies[i]);
        close(section);

        if (m_v.atLeast(Gate::FrameSkeletons)) {
            section = open(f.nSkeletons);
            for (int32_t i = 0; i < f.nSkeletons; ++i) {
                const sSkeletonData& skeleton = f.Skeletons[i];
                m_out.writeI32(skeleton.skeletonID);
                m_out.writeI32(skeleton.nRigidBodies);
                for (int32_t b = 0; b < skeleton.nRigidBodies; ++b) rigidBody(skeleton.RigidBodyData[b]);
            }
            close(section);
        }

        if (m_v.atLeast(Gate::FrameAssets)) {
            section = open(f.nAssets);
            for (int32_t i = 0; i < f.nAssets; ++i) asset(f.Assets[i]);
            close(section);
        }

        if (m_v.atLeast(Gate::FrameLabeledMarkers)) {
            section = open(f.nLabeledMarkers);
            for (int32_t i = 0; i < f.nLabeledMarkers; ++i) labeledMarker(f.LabeledMarkers[i]);
            close(section);
        }

        if (m_v.atLeast(Gate::FrameForcePlates)) analog(f.ForcePlates, f.nForcePlates);
        if (m_v.atLeast(Gate::FrameDevices)) analog(f.Devices, f.nDevices);

        suffix(f);
    }

private:
    // Count, then (4.1+) a size placeholder patched by close().
    size_t open(int32_t count)
    {
        m_out.writeI32(count);
        const size_t sizeAt = m_out.size();
        if (m_sizes) m_out.writeI32(0);
        return sizeAt;
    }
    void close(size_t sizeAt)
    {
        if (m_sizes) m_out.patchI32(sizeAt, static_cast<int32_t>(m_out.size() - sizeAt - 4));
    }

    // A position: x, y, z.
    void xyz(float x, float y, float z)
    {
        m_out.writeF32(x);
        m_out.writeF32(y);
        m_out.writeF32(z);
    }

    void markers(const MarkerData* markers, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i) xyz(markers[i][0], markers[i][1], markers[i][2]);
    }

    void pose(const sRigidBodyData& body)
    {
        m_out.writeI32(body.ID);
        xyz(body.x, body.y, body.z);
        m_out.writeF32(body.qx);
        m_out.writeF32(body.qy);
        m_out.writeF32(body.qz);
        m_out.writeF32(body.qw);
    }

    void rigidBody(const sRigidBodyData& body)
    {
        pose(body);
        if (!m_v.atLeast(Gate::RigidBodyMarkersDropped)) {
            m_out.writeI32(0);  // per-body markers: the record holds none
        }
        if (m_v.atLeast(Gate::RigidBodyMeanError)) m_out.writeF32(body.MeanError);
        if (m_v.atLeast(Gate::RigidBodyParams)) m_out.writeI16(body.params);
    }

    // Assets (4.1+) hold their bodies and markers in the layout of the frame's own rigid bodies
    // and labeled markers.
    void asset(const sAssetData& asset)
    {
        m_out.writeI32(asset.assetID);
        m_out.writeI32(asset.nRigidBodies);
        for (int32_t b = 0; b < asset.nRigidBodies; ++b) rigidBody(asset.RigidBodyData[b]);
        m_out.writeI32(asset.nMarkers);
        for (int32_t k = 0; k < asset.nMarkers; ++k) labeledMarker(asset.MarkerData[k]);
    }

    void labeledMarker(const sMarker& marker)
    {
        m_out.writeI32(marker.ID);
        xyz(marker.x, marker.y, marker.z);
        m_out.writeF32(marker.size);
        if (m_v.atLeast(Gate::LabeledMarkerParams)) m_out.writeI16(marker.params);
        if (m_v.atLeast(Gate::LabeledMarkerResidual)) m_out.writeF32(marker.residual);
    }

    template <typename Entry>
    void analog(const Entry* entries, int32_t count)
    {
        const size_t section = open(count);
        for (int32_t i = 0; i < count; ++i) {
            m_out.writeI32(entries[i].ID);
            m_out.writeI32(entries[i].nChannels);
            for (int32_t c = 0; c < entries[i].nChannels; ++c) {
                const sAnalogChannelData& channel = entries[i].ChannelData[c];
                m_out.writeI32(channel.nFrames);
                for (int32_t s = 0; s < channel.nFrames; ++s) m_out.writeF32(channel.Values[s]);
            }
        }
        close(section);
    }

    void suffix(const sFrameOfMocapData& f)
    {
        if (!m_v.atLeast(Gate::LegacyLatencyDropped)) m_out.writeF32(static_cast<float>(f.fTimestamp));
        m_out.writeU32(f.Timecode);
        m_out.writeU32(f.TimecodeSubframe);
        if (m_v.atLeast(Gate::FrameTimestampDouble)) {
            m_out.writeF64(f.fTimestamp);
        } else if (m_v.atLeast(Gate::FrameTimestamp)) {
            m_out.writeF32(static_cast<float>(f.fTimestamp));
        }
        if (m_v.atLeast(Gate::FrameHostTimestamps)) {
            m_out.writeU64(f.CameraMidExposureTimestamp);
            m_out.writeU64(f.CameraDataReceivedTimestamp);
            m_out.writeU64(f.TransmitTimestamp);
        }
        if (m_v.atLeast(Gate::FramePrecisionTimestamps)) {
            m_out.writeU32(f.PrecisionTimestampSecs);
            m_out.writeU32(f.PrecisionTimestampFractionalSecs);
        }
        if (m_v.atLeast(Gate::FrameParams)) m_out.writeI16(f.params);
        m_out.writeI32(0);  // end of data
    }

    ByteWriter& m_out;
    Version m_v;
    bool m_sizes;
};

}  // namespace
}  // namespace Internal

Status encodeFrame(ByteWriter& out, const sFrameOfMocapData& frame, Version version)
{
    if (!isSupported(version)) return Status::UnsupportedVersion;
    if (!Internal::frameValid(frame)) return Status::InvalidRecord;
    Internal::MessageFrame message(out, static_cast<uint16_t>(MessageId::FrameOfData));
    Internal::FrameWriter(out, version).write(frame);
    return message.finish();
}

}  // namespace NatNet::Wire
