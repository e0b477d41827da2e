// Encoder to decoder, for every bitstream version: what a version carries
// survives unchanged, what it does not carry decodes as zero.
#include "Encoding.h"
#include "SampleRecords.h"
#include "TestData.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

using namespace NatNet::Wire;
using NatNetTest::encodeInto;
using NatNetTest::SampleFrame;

namespace {

const Version kVersions[] = {{2, 5}, {2, 6}, {2, 7}, {2, 9}, {3, 0}, {3, 1}, {4, 0}, {4, 1}, {4, 2}};

std::string versionName(const ::testing::TestParamInfo<Version>& info)
{
    return "v" + std::to_string(info.param.major) + "_" + std::to_string(info.param.minor);
}

// Every float of a float array of any rank, in order: compared by value, and printed on failure.
template <typename T, size_t N>
std::vector<float> floatsOf(const T (&array)[N])
{
    std::vector<float> values;
    for (const T& element : array) {
        if constexpr (std::is_same_v<T, float>) {
            values.push_back(element);
        } else {
            const std::vector<float> inner = floatsOf(element);
            values.insert(values.end(), inner.begin(), inner.end());
        }
    }
    return values;
}

void expectBody(const sRigidBodyData& actual, const sRigidBodyData& sent, Version v)
{
    EXPECT_EQ(actual.ID, sent.ID);
    EXPECT_EQ(actual.x, sent.x);
    EXPECT_EQ(actual.z, sent.z);
    EXPECT_EQ(actual.qw, sent.qw);
    EXPECT_EQ(actual.MeanError, v.atLeast(Gate::RigidBodyMeanError) ? sent.MeanError : 0.0f);
    // Before 2.6 no tracking-valid field travels: every body sent was tracked.
    EXPECT_EQ(actual.params, v.atLeast(Gate::RigidBodyParams) ? sent.params : kRigidBodyTrackingValid);
}

using FrameRoundTrip = ::testing::TestWithParam<Version>;

TEST_P(FrameRoundTrip, CarriedFieldsSurvive)
{
    const Version v = GetParam();
    SampleFrame sample;
    const sFrameOfMocapData& sent = sample.frame();
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(encodeInto(encoded, [&](ByteWriter& out) { return encodeFrame(out, sent, v); }));
    const NatNetTest::HeapBytes bytes(encoded);
    Datagram d;
    ASSERT_EQ(decodeDatagram(bytes.data(), bytes.size(), d), Status::Ok);
    EXPECT_EQ(d.messageId, uint16_t(MessageId::FrameOfData));

    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    std::memset(static_cast<void*>(frame.get()), 0x5A,
                sizeof *frame);  // stale contents must not leak through
    ASSERT_EQ(decodeFrame(d.payload, d.payloadSize, v, storage, *frame), Status::Ok);
    const sFrameOfMocapData& f = *frame;

    EXPECT_EQ(f.iFrame, sent.iFrame);
    ASSERT_EQ(f.nMarkerSets, 2);
    for (int s = 0; s < 2; ++s) {
        EXPECT_STREQ(f.MocapData[s].szName, sent.MocapData[s].szName);
        ASSERT_EQ(f.MocapData[s].nMarkers, sent.MocapData[s].nMarkers);
        for (int i = 0; i < f.MocapData[s].nMarkers; ++i) {
            EXPECT_EQ(floatsOf(f.MocapData[s].Markers[i]), floatsOf(sent.MocapData[s].Markers[i]));
        }
    }
    ASSERT_EQ(f.nOtherMarkers, 2);
    EXPECT_EQ(f.OtherMarkers[1][2], 4.0f);
    ASSERT_EQ(f.nRigidBodies, 3);
    for (int i = 0; i < 3; ++i) expectBody(f.RigidBodies[i], sent.RigidBodies[i], v);

    if (v.atLeast(Gate::FrameSkeletons)) {
        ASSERT_EQ(f.nSkeletons, 2);
        for (int s = 0; s < 2; ++s) {
            EXPECT_EQ(f.Skeletons[s].skeletonID, sent.Skeletons[s].skeletonID);
            ASSERT_EQ(f.Skeletons[s].nRigidBodies, sent.Skeletons[s].nRigidBodies);
            for (int b = 0; b < f.Skeletons[s].nRigidBodies; ++b) {
                expectBody(f.Skeletons[s].RigidBodyData[b], sent.Skeletons[s].RigidBodyData[b], v);
            }
        }
    } else {
        EXPECT_EQ(f.nSkeletons, 0);
    }

    if (v.atLeast(Gate::FrameAssets)) {
        ASSERT_EQ(f.nAssets, 2);
        EXPECT_EQ(f.Assets[0].assetID, 10);
        ASSERT_EQ(f.Assets[0].nRigidBodies, 1);
        expectBody(f.Assets[0].RigidBodyData[0], sent.Assets[0].RigidBodyData[0], v);
        EXPECT_EQ(f.Assets[1].nRigidBodies, 0);
        EXPECT_EQ(f.Assets[1].RigidBodyData, nullptr);
        ASSERT_EQ(f.Assets[1].nMarkers, 1);
        const sMarker& m = f.Assets[1].MarkerData[0];
        const sMarker& e = sent.Assets[1].MarkerData[0];
        EXPECT_EQ(m.ID, e.ID);
        EXPECT_EQ(m.z, e.z);
        EXPECT_EQ(m.size, e.size);
        EXPECT_EQ(m.params, e.params);
        EXPECT_EQ(m.residual, e.residual);
    } else {
        EXPECT_EQ(f.nAssets, 0);
    }

    if (v.atLeast(Gate::FrameLabeledMarkers)) {
        ASSERT_EQ(f.nLabeledMarkers, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(f.LabeledMarkers[i].ID, sent.LabeledMarkers[i].ID);
            EXPECT_EQ(f.LabeledMarkers[i].size, sent.LabeledMarkers[i].size);
            EXPECT_EQ(f.LabeledMarkers[i].params,
                      v.atLeast(Gate::LabeledMarkerParams) ? sent.LabeledMarkers[i].params : 0);
            EXPECT_EQ(f.LabeledMarkers[i].residual,
                      v.atLeast(Gate::LabeledMarkerResidual) ? sent.LabeledMarkers[i].residual : 0.0f);
        }
    }

    EXPECT_EQ(f.nForcePlates, v.atLeast(Gate::FrameForcePlates) ? 2 : 0);
    if (f.nForcePlates == 2) {
        EXPECT_EQ(f.ForcePlates[1].ID, 2);
        ASSERT_EQ(f.ForcePlates[1].nChannels, 2);
        ASSERT_EQ(f.ForcePlates[1].ChannelData[1].nFrames, 3);
        EXPECT_EQ(f.ForcePlates[1].ChannelData[1].Values[2], 112.0f);
    }
    EXPECT_EQ(f.nDevices, v.atLeast(Gate::FrameDevices) ? 1 : 0);
    if (f.nDevices == 1) {
        EXPECT_EQ(f.Devices[0].ChannelData[0].Values[0], -1.0f);
    }

    EXPECT_EQ(f.Timecode, sent.Timecode);
    EXPECT_EQ(f.TimecodeSubframe, sent.TimecodeSubframe);
    EXPECT_EQ(f.fTimestamp, v.atLeast(Gate::FrameTimestamp) ? 12.25 : 0.0);
    EXPECT_EQ(storage.legacyLatency(), v.atLeast(Gate::LegacyLatencyDropped) ? 0.0f : 12.25f);
    const bool stamps = v.atLeast(Gate::FrameHostTimestamps);
    EXPECT_EQ(f.CameraMidExposureTimestamp, stamps ? sent.CameraMidExposureTimestamp : 0u);
    EXPECT_EQ(f.TransmitTimestamp, stamps ? sent.TransmitTimestamp : 0u);
    const bool precision = v.atLeast(Gate::FramePrecisionTimestamps);
    EXPECT_EQ(f.PrecisionTimestampSecs, precision ? sent.PrecisionTimestampSecs : 0u);
    EXPECT_EQ(f.PrecisionTimestampFractionalSecs, precision ? sent.PrecisionTimestampFractionalSecs : 0u);
    EXPECT_EQ(f.params, v.atLeast(Gate::FrameParams) ? sent.params : 0);

    // Decoding the same datagram again with the same storage is stable.
    auto again = std::make_unique<sFrameOfMocapData>();
    ASSERT_EQ(decodeFrame(d.payload, d.payloadSize, v, storage, *again), Status::Ok);
    EXPECT_EQ(again->MocapData[1].Markers, f.MocapData[1].Markers);
    EXPECT_EQ(again->RigidBodies[2].x, f.RigidBodies[2].x);
}

INSTANTIATE_TEST_SUITE_P(Versions, FrameRoundTrip, ::testing::ValuesIn(kVersions), versionName);

void expectRigidBody(const sRigidBodyDescription& actual, const sRigidBodyDescription& sent, Version v)
{
    EXPECT_STREQ(actual.szName, sent.szName);
    EXPECT_EQ(actual.ID, sent.ID);
    EXPECT_EQ(actual.parentID, sent.parentID);
    EXPECT_EQ(actual.offsety, sent.offsety);
    if (!v.atLeast(Gate::RigidBodyDescriptionMarkers)) {
        EXPECT_EQ(actual.nMarkers, 0);
        return;
    }
    ASSERT_EQ(actual.nMarkers, sent.nMarkers);
    for (int i = 0; i < actual.nMarkers; ++i) {
        EXPECT_EQ(floatsOf(actual.MarkerPositions[i]), floatsOf(sent.MarkerPositions[i]));
        EXPECT_EQ(actual.MarkerRequiredLabels[i], sent.MarkerRequiredLabels[i]);
        if (v.atLeast(Gate::RigidBodyDescriptionMarkerNames)) {
            EXPECT_STREQ(actual.szMarkerNames[i], sent.szMarkerNames[i]);
        }
    }
    if (!v.atLeast(Gate::RigidBodyDescriptionMarkerNames)) {
        EXPECT_EQ(actual.szMarkerNames, nullptr);
    }
}

using DescriptionRoundTrip = ::testing::TestWithParam<Version>;

TEST_P(DescriptionRoundTrip, EveryTypeTheVersionKnows)
{
    const Version v = GetParam();
    sDataDescriptions* sent = NatNetTest::makeSampleDescriptions(v.major, v.minor);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(encodeInto(encoded, [&](ByteWriter& out) { return encodeModelDefinitions(out, *sent, v); }));
    const NatNetTest::HeapBytes bytes(encoded);
    Datagram d;
    ASSERT_EQ(decodeDatagram(bytes.data(), bytes.size(), d), Status::Ok);
    sDataDescriptions* list = nullptr;
    ASSERT_EQ(decodeModelDefinitions(d.payload, d.payloadSize, v, &list), Status::Ok);
    ASSERT_EQ(list->nDataDescriptions, sent->nDataDescriptions);

    for (int i = 0; i < list->nDataDescriptions; ++i) {
        const sDataDescription& a = list->arrDataDescriptions[i];
        const sDataDescription& s = sent->arrDataDescriptions[i];
        SCOPED_TRACE(s.type);
        ASSERT_EQ(a.type, s.type);
        switch (a.type) {
            case Descriptor_MarkerSet:
                EXPECT_STREQ(a.Data.MarkerSetDescription->szName, "Wand");
                ASSERT_EQ(a.Data.MarkerSetDescription->nMarkers, 3);
                EXPECT_STREQ(a.Data.MarkerSetDescription->szMarkerNames[2], "Wand_3");
                break;
            case Descriptor_RigidBody:
                expectRigidBody(*a.Data.RigidBodyDescription, *s.Data.RigidBodyDescription, v);
                break;
            case Descriptor_Skeleton:
                EXPECT_EQ(a.Data.SkeletonDescription->skeletonID, 8);
                ASSERT_EQ(a.Data.SkeletonDescription->nRigidBodies, 2);
                for (int b = 0; b < 2; ++b) {
                    expectRigidBody(a.Data.SkeletonDescription->RigidBodies[b],
                                    s.Data.SkeletonDescription->RigidBodies[b], v);
                }
                break;
            case Descriptor_ForcePlate: {
                const sForcePlateDescription& p = *a.Data.ForcePlateDescription;
                EXPECT_STREQ(p.strSerialNo, "FP-0001");
                EXPECT_EQ(floatsOf(p.fCalMat), floatsOf(s.Data.ForcePlateDescription->fCalMat));
                EXPECT_EQ(floatsOf(p.fCorners), floatsOf(s.Data.ForcePlateDescription->fCorners));
                EXPECT_EQ(p.iPlateType, 2);
                ASSERT_EQ(p.nChannels, 3);
                EXPECT_STREQ(p.szChannelNames[2], "Fz");
                break;
            }
            case Descriptor_Device:
                EXPECT_STREQ(a.Data.DeviceDescription->strName, "NI-DAQ");
                EXPECT_STREQ(a.Data.DeviceDescription->strSerialNo, "S123");
                ASSERT_EQ(a.Data.DeviceDescription->nChannels, 2);
                EXPECT_STREQ(a.Data.DeviceDescription->szChannelNames[1], "AI1");
                break;
            case Descriptor_Camera: {
                const sCameraDescription& c = *a.Data.CameraDescription;
                const sCameraDescription& e = *s.Data.CameraDescription;
                EXPECT_STREQ(c.strName, e.strName);
                EXPECT_EQ((std::vector<float>{c.x, c.y, c.z, c.qx, c.qy, c.qz, c.qw}),
                          (std::vector<float>{e.x, e.y, e.z, e.qx, e.qy, e.qz, e.qw}));
                break;
            }
            case Descriptor_Asset: {
                const sAssetDescription& x = *a.Data.AssetDescription;
                EXPECT_EQ(x.AssetType, AssetType_TrainedMarkerset);
                EXPECT_EQ(x.AssetID, 12);
                ASSERT_EQ(x.nRigidBodies, 1);
                expectRigidBody(x.RigidBodies[0], s.Data.AssetDescription->RigidBodies[0], v);
                ASSERT_EQ(x.nMarkers, 2);
                const sMarkerDescription& m = x.Markers[1];
                const sMarkerDescription& e = s.Data.AssetDescription->Markers[1];
                EXPECT_STREQ(m.szName, e.szName);
                EXPECT_EQ(m.ID, e.ID);
                EXPECT_EQ(m.y, e.y);
                EXPECT_EQ(m.size, e.size);
                EXPECT_EQ(m.params, e.params);
                break;
            }
            default:
                ADD_FAILURE() << "unexpected type";
        }
    }
    freeDescriptions(list);
    freeDescriptions(sent);
}

INSTANTIATE_TEST_SUITE_P(Versions, DescriptionRoundTrip, ::testing::ValuesIn(kVersions), versionName);

TEST(DescriptionRoundTrip, TypesTheVersionLacksAreRefused)
{
    sDataDescriptions* all = NatNetTest::makeSampleDescriptions(0, 0);
    std::vector<uint8_t> buffer(70000);
    ByteWriter out(buffer.data(), buffer.size());
    EXPECT_EQ(encodeModelDefinitions(out, *all, Version(4, 0)), Status::InvalidRecord)
        << "assets arrive in 4.1";
    EXPECT_EQ(out.size(), 0u) << "a failed encode leaves nothing behind";
    EXPECT_EQ(encodeModelDefinitions(out, *all, Version(4, 1)), Status::Ok);
    freeDescriptions(all);
}

TEST(MessageRoundTrip, SmallMessages)
{
    std::vector<uint8_t> buffer(1000);
    ByteWriter out(buffer.data(), buffer.size());
    Datagram d;

    ConnectRequest connect;
    connect.hasSender = connect.hasOptions = true;
    connect.sender.setName("NatNetLib");
    Version(4, 1).toBytes(connect.sender.version);
    connect.subscribedDataOnly = true;
    Version(3, 1).toBytes(connect.bitstreamVersion);
    ASSERT_EQ(encodeConnect(out, connect), Status::Ok);
    ASSERT_EQ(out.size(), 4u + 269u);
    ASSERT_EQ(decodeDatagram(buffer.data(), out.size(), d), Status::Ok);
    ConnectRequest back;
    ASSERT_EQ(decodeConnect(d.payload, d.payloadSize, back), Status::Ok);
    EXPECT_TRUE(back.hasOptions);
    EXPECT_TRUE(back.subscribedDataOnly);
    EXPECT_EQ(back.bitstreamVersion[1], 1);
    EXPECT_EQ(back.sender.nameText(), "NatNetLib");

    out.reset();
    ASSERT_EQ(encodeRequest(out, "FrameRate"), Status::Ok);
    ASSERT_EQ(out.size(), 4u + 10u);
    ASSERT_EQ(decodeDatagram(buffer.data(), out.size(), d), Status::Ok);
    std::string_view text;
    ASSERT_EQ(decodeText(d.payload, d.payloadSize, text), Status::Ok);
    EXPECT_EQ(text, "FrameRate");

    out.reset();
    ASSERT_EQ(encodeResponseFloat(out, 120.0f), Status::Ok);
    ASSERT_EQ(decodeDatagram(buffer.data(), out.size(), d), Status::Ok);
    EXPECT_TRUE(NatNetTest::bytesEqual({3, 0, 4, 0, 0x00, 0x00, 0xF0, 0x42}, buffer.data(), out.size()));
    Response response;
    ASSERT_EQ(decodeResponse(d.payload, d.payloadSize, response), Status::Ok);
    float rate = 0.0f;
    EXPECT_TRUE(response.asFloat(rate));
    EXPECT_EQ(rate, 120.0f);

    out.reset();
    ASSERT_EQ(encodeResponseText(out, "Bitstream,4.1"), Status::Ok);
    ASSERT_EQ(decodeDatagram(buffer.data(), out.size(), d), Status::Ok);
    ASSERT_EQ(decodeResponse(d.payload, d.payloadSize, response), Status::Ok);
    int32_t number = 0;
    EXPECT_FALSE(response.asInt32(number)) << "14 bytes are not a number";
    EXPECT_EQ(response.text(), "Bitstream,4.1");

    ServerInfo info;
    info.sender.setName("Motive");
    Version(3, 1, 0, 0).toBytes(info.sender.version);
    Version(4, 1).toBytes(info.sender.natNetVersion);
    out.reset();
    ASSERT_EQ(encodeServerInfo(out, info), Status::Ok);
    EXPECT_EQ(out.size(), 4u + 264u) << "no connection tail unless asked for";
    info.hasConnectionInfo = true;
    out.reset();
    ASSERT_EQ(encodeServerInfo(out, info), Status::Ok);
    EXPECT_EQ(out.size(), 4u + 279u);
}

}  // namespace
