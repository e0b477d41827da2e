#include "SampleRecords.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace NatNetTest {
namespace {

void name(char* field, size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    text.copy(field, std::min(text.size(), size - 1));
}

sRigidBodyData body(int32_t id, float base, int16_t params)
{
    sRigidBodyData b;
    b.ID = id;
    b.x = base;
    b.y = base + 0.5f;
    b.z = -base;
    b.qx = 0.5f;
    b.qy = -0.5f;
    b.qz = 0.5f;
    b.qw = -0.5f;
    b.MeanError = base / 8.0f;
    b.params = params;
    return b;
}

char* copyText(const std::string& text)
{
    char* out = new char[text.size() + 1];
    std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

void fillRigidBody(sRigidBodyDescription& d, const std::string& bodyName, int32_t id, int32_t parent,
                   int markers)
{
    name(d.szName, sizeof d.szName, bodyName);
    d.ID = id;
    d.parentID = parent;
    d.offsetx = 0.25f;
    d.offsety = -0.5f;
    d.offsetz = 1.0f;
    d.nMarkers = markers;
    d.MarkerPositions = markers ? new MarkerData[markers] : nullptr;
    d.MarkerRequiredLabels = markers ? new int32_t[markers] : nullptr;
    d.szMarkerNames = markers ? new char*[markers] : nullptr;
    for (int i = 0; i < markers; ++i) {
        d.MarkerPositions[i][0] = float(i);
        d.MarkerPositions[i][1] = float(i) + 0.5f;
        d.MarkerPositions[i][2] = -float(i);
        d.MarkerRequiredLabels[i] = i % 2 ? i : 0;
        d.szMarkerNames[i] = copyText(bodyName + "_" + std::to_string(i + 1));
    }
}

bool atLeast(int major, int minor, int wantMajor, int wantMinor)
{
    return major == 0 || major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

}  // namespace

SampleFrame::SampleFrame() : m_frame(std::make_unique<sFrameOfMocapData>())
{
    sFrameOfMocapData& f = *m_frame;
    f.iFrame = 4242;

    const char* setNames[2] = {"Alpha", "all"};
    f.nMarkerSets = 2;
    for (int s = 0; s < 2; ++s) {
        const int n = 3 - s;
        m_markers.emplace_back(new MarkerData[n]);
        for (int i = 0; i < n; ++i) {
            m_markers.back()[i][0] = float(s) + 0.25f * float(i);
            m_markers.back()[i][1] = 1.5f;
            m_markers.back()[i][2] = -2.0f * float(i);
        }
        name(f.MocapData[s].szName, sizeof f.MocapData[s].szName, setNames[s]);
        f.MocapData[s].nMarkers = n;
        f.MocapData[s].Markers = m_markers.back().get();
    }
    m_markers.emplace_back(new MarkerData[2]{{0.5f, 0.5f, 0.5f}, {-1.0f, 2.0f, 4.0f}});
    f.nOtherMarkers = 2;
    f.OtherMarkers = m_markers.back().get();

    f.nRigidBodies = 3;
    for (int i = 0; i < 3; ++i) f.RigidBodies[i] = body(i + 1, float(i) + 1.0f, int16_t(i % 2 ? 0 : 1));

    f.nSkeletons = 2;
    for (int s = 0; s < 2; ++s) {
        const int bones = 2 - s;
        m_bodies.emplace_back(new sRigidBodyData[bones]);
        for (int b = 0; b < bones; ++b) {
            m_bodies.back()[b] = body(((s + 1) << 16) | (b + 1), 0.5f * float(b + 1), 1);
        }
        f.Skeletons[s].skeletonID = s + 1;
        f.Skeletons[s].nRigidBodies = bones;
        f.Skeletons[s].RigidBodyData = m_bodies.back().get();
    }

    f.nAssets = 2;
    for (int a = 0; a < 2; ++a) {
        const int bodies = 1 - a;
        const int markers = 2 - a;
        sAssetData& asset = f.Assets[a];
        asset.assetID = 10 + a;
        asset.nRigidBodies = bodies;
        if (bodies) {
            m_bodies.emplace_back(new sRigidBodyData[bodies]);
            m_bodies.back()[0] = body(((10 + a) << 16) | 1, 2.0f, 1);
            asset.RigidBodyData = m_bodies.back().get();
        }
        m_assetMarkers.emplace_back(new sMarker[markers]);
        for (int k = 0; k < markers; ++k) {
            m_assetMarkers.back()[k] =
                sMarker{((10 + a) << 16) | (k + 2), 1.0f, 2.0f, 3.0f, 0.25f, 0x20, 0.125f};
        }
        asset.nMarkers = markers;
        asset.MarkerData = m_assetMarkers.back().get();
    }

    f.nLabeledMarkers = 3;
    for (int i = 0; i < 3; ++i) {
        f.LabeledMarkers[i] =
            sMarker{(2 << 16) | (i + 1), float(i), 0.5f, -0.5f, 0.0625f, int16_t(10 + i), 0.001953125f};
    }

    f.nForcePlates = 2;
    for (int p = 0; p < 2; ++p) {
        f.ForcePlates[p].ID = p + 1;
        f.ForcePlates[p].nChannels = 2;
        for (int c = 0; c < 2; ++c) {
            f.ForcePlates[p].ChannelData[c].nFrames = 3;
            for (int s = 0; s < 3; ++s) {
                f.ForcePlates[p].ChannelData[c].Values[s] = float(p * 100 + c * 10 + s);
            }
        }
    }
    f.nDevices = 1;
    f.Devices[0].ID = 7;
    f.Devices[0].nChannels = 1;
    f.Devices[0].ChannelData[0].nFrames = 2;
    f.Devices[0].ChannelData[0].Values[0] = -1.0f;
    f.Devices[0].ChannelData[0].Values[1] = 1.0f;

    f.Timecode = 0x0A0B0C0Du;
    f.TimecodeSubframe = 3;
    f.fTimestamp = 12.25;
    f.CameraMidExposureTimestamp = 111111;
    f.CameraDataReceivedTimestamp = 222222;
    f.TransmitTimestamp = 333333;
    f.PrecisionTimestampSecs = 1700000000u;
    f.PrecisionTimestampFractionalSecs = 123456u;
    f.params = 0x5;
}

std::unique_ptr<SampleFrame> SampleFrame::rigidBodiesOnly(int n)
{
    auto sample = std::make_unique<SampleFrame>();
    sFrameOfMocapData& f = sample->frame();
    f.nMarkerSets = f.nOtherMarkers = f.nSkeletons = f.nAssets = f.nLabeledMarkers = 0;
    f.nForcePlates = f.nDevices = 0;
    f.OtherMarkers = nullptr;
    f.nRigidBodies = n;
    for (int i = 0; i < n; ++i) f.RigidBodies[i] = body(i + 1, float(i % 7), 1);
    return sample;
}

sDataDescriptions* makeSampleDescriptions(int major, int minor)
{
    auto* list = new sDataDescriptions();
    auto add = [&](int32_t type) -> sDataDescription& {
        sDataDescription& d = list->arrDataDescriptions[list->nDataDescriptions++];
        d.type = type;
        return d;
    };

    auto* set = new sMarkerSetDescription();
    name(set->szName, sizeof set->szName, "Wand");
    set->nMarkers = 3;
    set->szMarkerNames = new char*[3];
    for (int i = 0; i < 3; ++i) set->szMarkerNames[i] = copyText("Wand_" + std::to_string(i + 1));
    add(Descriptor_MarkerSet).Data.MarkerSetDescription = set;

    auto* rigidBody = new sRigidBodyDescription();
    fillRigidBody(*rigidBody, "Probe", 3, -1, 4);
    add(Descriptor_RigidBody).Data.RigidBodyDescription = rigidBody;

    auto* skeleton = new sSkeletonDescription();
    name(skeleton->szName, sizeof skeleton->szName, "Skel");
    skeleton->skeletonID = 8;
    skeleton->nRigidBodies = 2;
    fillRigidBody(skeleton->RigidBodies[0], "Hip", (8 << 16) | 1, -1, 2);
    fillRigidBody(skeleton->RigidBodies[1], "Knee", (8 << 16) | 2, (8 << 16) | 1, 1);
    add(Descriptor_Skeleton).Data.SkeletonDescription = skeleton;

    if (atLeast(major, minor, 2, 9)) {
        auto* plate = new sForcePlateDescription();
        plate->ID = 1;
        name(plate->strSerialNo, sizeof plate->strSerialNo, "FP-0001");
        plate->fWidth = 0.5f;
        plate->fLength = 0.75f;
        plate->fOriginX = 0.125f;
        plate->fOriginY = 0.25f;
        plate->fOriginZ = -0.125f;
        for (int r = 0; r < 12; ++r) {
            for (int c = 0; c < 12; ++c) plate->fCalMat[r][c] = float(r * 12 + c) / 4.0f;
        }
        for (int k = 0; k < 4; ++k) {
            for (int c = 0; c < 3; ++c) plate->fCorners[k][c] = float(k) - float(c);
        }
        plate->iPlateType = 2;
        plate->iChannelDataType = 0;
        plate->nChannels = 3;
        for (int c = 0; c < 3; ++c) {
            name(plate->szChannelNames[c], MAX_NAMELENGTH, "F" + std::string(1, char('x' + c)));
        }
        add(Descriptor_ForcePlate).Data.ForcePlateDescription = plate;
    }
    if (atLeast(major, minor, 3, 0)) {
        auto* device = new sDeviceDescription();
        device->ID = 4;
        name(device->strName, sizeof device->strName, "NI-DAQ");
        name(device->strSerialNo, sizeof device->strSerialNo, "S123");
        device->iDeviceType = 1;
        device->iChannelDataType = 1;
        device->nChannels = 2;
        name(device->szChannelNames[0], MAX_NAMELENGTH, "AI0");
        name(device->szChannelNames[1], MAX_NAMELENGTH, "AI1");
        add(Descriptor_Device).Data.DeviceDescription = device;
    }
    if (atLeast(major, minor, 4, 0)) {
        auto* camera = new sCameraDescription();
        name(camera->strName, sizeof camera->strName, "Prime13 #1");
        camera->x = 1.0f;
        camera->y = 2.5f;
        camera->z = -3.0f;
        camera->qw = 1.0f;
        add(Descriptor_Camera).Data.CameraDescription = camera;
    }
    if (atLeast(major, minor, 4, 1)) {
        auto* asset = new sAssetDescription();
        name(asset->szName, sizeof asset->szName, "Trained");
        asset->AssetType = AssetType_TrainedMarkerset;
        asset->AssetID = 12;
        asset->nRigidBodies = 1;
        fillRigidBody(asset->RigidBodies[0], "Part", (12 << 16) | 1, -1, 2);
        asset->nMarkers = 2;
        for (int k = 0; k < 2; ++k) {
            sMarkerDescription& m = asset->Markers[k];
            name(m.szName, sizeof m.szName, "T" + std::to_string(k));
            m.ID = (12 << 16) | (k + 2);
            m.x = 0.5f;
            m.y = float(k);
            m.z = -0.5f;
            m.size = 0.015625f;
            m.params = int16_t(k);
        }
        add(Descriptor_Asset).Data.AssetDescription = asset;
    }
    return list;
}

}  // namespace NatNetTest
