// Hand-built NatNet 4.0, 4.1 and 4.2 datagrams, commented field by field.
// No real capture of a 4.x server exists; these bytes are written from the
// wire layout, independently of the encoder, and every 4.1 section size was
// counted by hand.
#include "Encoding.h"
#include "FrameStamps.h"
#include "TestData.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

using namespace NatNet::Wire;
using NatNetTest::bytesEqual;
using NatNetTest::encodeInto;
using NatNetTest::frameDatagram;
using NatNetTest::FrameStamps;
using NatNetTest::HeapBytes;
using NatNetTest::stampsOf;

namespace {

// clang-format off
const std::vector<uint8_t> kFrame41 = {
    LE16(7), LE16(398),                   // NAT_FRAMEOFDATA, 398 payload bytes
    LE32(1234),                           // frame number
    LE32(1), LE32(20),                    // marker sets: 1, 20 bytes follow
      'S', 'e', 't', 0,                   //   name "Set"
      LE32(1), F32_1, F32_2, F32_M1,      //   1 marker (1, 2, -1)
    LE32(1), LE32(12),                    // other markers: 1, 12 bytes
      F32_0_5, F32_0_25, F32_0,           //   (0.5, 0.25, 0)
    LE32(2), LE32(76),                    // rigid bodies: 2, 2 x 38 bytes
      LE32(7), F32_1, F32_2, F32_0_5,     //   ID 7 at (1, 2, 0.5)
      F32_0, F32_0, F32_0, F32_1,         //   identity orientation
      F32_0_25, LE16(1),                  //   mean error 0.25, tracked
      LE32(0xFFFFFFFCu), F32_0, F32_0, F32_0, // ID -4 at the origin
      F32_0, F32_0, F32_1, F32_0,         //   qz = 1
      F32_0_5, LE16(0),                   //   mean error 0.5, not tracked
    LE32(1), LE32(46),                    // skeletons: 1, 8 + 38 bytes
      LE32(3), LE32(1),                   //   skeleton 3, 1 bone
      LE32(0x00030001), F32_1, F32_0, F32_0, //  bone 3/1 at (1, 0, 0)
      F32_0, F32_0, F32_0, F32_1, F32_0_25, LE16(1),
    LE32(1), LE32(76),                    // assets: 1, 4 + 4 + 38 + 4 + 26 bytes
      LE32(9), LE32(1),                   //   asset 9, 1 rigid body
      LE32(0x00090001), F32_0, F32_1, F32_0, // body 9/1 at (0, 1, 0)
      F32_0, F32_0, F32_0, F32_1, F32_0_5, LE16(1),
      LE32(1),                            //   1 marker
      LE32(0x00090002), F32_0_5, F32_0_5, F32_0_5, // marker 9/2
      F32_0_25, LE16(0x20), F32_0_25,     //   size, active, residual
    LE32(1), LE32(26),                    // labeled markers: 1, 26 bytes
      LE32(0x00070001), F32_1, F32_2, F32_M1, // marker 7/1
      F32_0_25, LE16(10), F32_0_5,        //   size, params, residual
    LE32(1), LE32(20),                    // force plates: 1, 20 bytes
      LE32(5), LE32(1),                   //   plate 5, 1 channel
      LE32(2), F32_1, F32_2,              //   2 samples
    LE32(0), LE32(0),                     // devices: none
    LE32(0x01020304u), LE32(5),           // timecode 01:02:03:04, subframe 5
    F64_1_5,                              // timestamp 1.5 s
    LE64(1000), LE64(2000), LE64(3000),   // mid-exposure, received, transmit ticks
    LE32(77), LE32(88),                   // precision timestamp
    LE16(3),                              // params: recording, models changed
    LE32(0),                              // end of data
};

const std::vector<uint8_t> kFrame40 = {
    LE16(7), LE16(142),                   // NAT_FRAMEOFDATA, 142 payload bytes
    LE32(99),                             // frame number
    LE32(0),                              // marker sets: none (no size fields before 4.1)
    LE32(0),                              // other markers: none
    LE32(1),                              // rigid bodies: 1
      LE32(7), F32_1, F32_2, F32_0_5,
      F32_0, F32_0, F32_0, F32_1, F32_0_25, LE16(1),
    LE32(0),                              // skeletons (no assets before 4.1)
    LE32(1),                              // labeled markers: 1
      LE32(0x00070001), F32_1, F32_2, F32_M1, F32_0_25, LE16(10), F32_0_5,
    LE32(0),                              // force plates
    LE32(0),                              // devices
    LE32(0), LE32(0),                     // timecode
    F64_1_5,                              // timestamp
    LE64(0), LE64(2000), LE64(3000),      // no mid-exposure stamp
    LE16(0),                              // params (no precision stamps before 4.1)
    LE32(0),                              // end of data
};

const std::vector<uint8_t> kModelDefs41 = {
    LE16(5), LE16(130),                   // NAT_MODELDEF, 130 payload bytes
    LE32(4),                              // 4 descriptions
    LE32(0), LE32(13),                    // marker set, 13 bytes
      'W', 'a', 'n', 'd', 0,              //   "Wand"
      LE32(2), 'a', 0, 'b', 0,            //   markers "a", "b"
    LE32(1), LE32(46),                    // rigid body, 46 bytes
      'R', 'B', 0,                        //   "RB"
      LE32(5), LE32(0xFFFFFFFFu),         //   ID 5, no parent
      F32_0_5, F32_0, F32_M1,             //   offset
      LE32(1),                            //   1 marker
      F32_1, F32_2, F32_0_25,             //   position
      LE32(3),                            //   required active label 3
      'm', '1', 0,                        //   name "m1"
    LE32(9), LE32(3), 0xAA, 0xBB, 0xCC,   // type 9, unknown: skipped by its size
    LE32(5), LE32(32),                    // camera, 32 bytes
      'C', 'a', 'm', 0,                   //   "Cam"
      F32_1, F32_2, F32_0_5,              //   position
      F32_0, F32_1, F32_0, F32_0,         //   orientation
};

const std::vector<uint8_t> kModelDefs42 = {
    LE16(5), LE16(56),                    // NAT_MODELDEF, 56 payload bytes
    LE32(1),                              // 1 description
    LE32(1), LE32(43),                    // rigid body, 43 bytes
      'R', 'B', 0,                        //   "RB"
      LE32(5), LE32(2),                   //   ID 5, parent 2
      F32_0_5, F32_0, F32_M1,             //   position offset
      F32_0, F32_0, F32_0, F32_1,         //   rotation offset (4.2)
      LE32(0),                            //   no markers
      0,                                  //   (a stray zero byte the size does not cover)
};
// clang-format on

Datagram payloadOf(const std::vector<uint8_t>& bytes)
{
    Datagram d;
    EXPECT_EQ(decodeDatagram(bytes.data(), bytes.size(), d), Status::Ok);
    return d;
}

// A rigid body's fields in the order they travel: ID, x, y, z, qx, qy, qz, qw, mean error, params.
using Body = std::tuple<int32_t, float, float, float, float, float, float, float, float, int16_t>;

Body bodyOf(const sRigidBodyData& b)
{
    return {b.ID, b.x, b.y, b.z, b.qx, b.qy, b.qz, b.qw, b.MeanError, b.params};
}

TEST(GoldenDatagram, Frame41EverySection)
{
    ASSERT_EQ(kFrame41.size(), 4u + 398u);
    const HeapBytes bytes(kFrame41);
    const Datagram d = payloadOf(kFrame41);
    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    ASSERT_EQ(decodeFrame(bytes.data() + 4, d.payloadSize, Version(4, 1), storage, *frame), Status::Ok);
    const sFrameOfMocapData& f = *frame;
    EXPECT_EQ(f.iFrame, 1234);
    ASSERT_EQ(f.nMarkerSets, 1);
    EXPECT_STREQ(f.MocapData[0].szName, "Set");
    ASSERT_EQ(f.MocapData[0].nMarkers, 1);
    EXPECT_EQ(f.MocapData[0].Markers[0][2], -1.0f);
    ASSERT_EQ(f.nOtherMarkers, 1);
    EXPECT_EQ(f.OtherMarkers[0][1], 0.25f);
    ASSERT_EQ(f.nRigidBodies, 2);
    EXPECT_EQ(bodyOf(f.RigidBodies[0]), Body(7, 1, 2, 0.5f, 0, 0, 0, 1, 0.25f, 1));
    EXPECT_EQ(bodyOf(f.RigidBodies[1]), Body(-4, 0, 0, 0, 0, 0, 1, 0, 0.5f, 0));
    ASSERT_EQ(f.nSkeletons, 1);
    EXPECT_EQ(f.Skeletons[0].skeletonID, 3);
    ASSERT_EQ(f.Skeletons[0].nRigidBodies, 1);
    EXPECT_EQ(bodyOf(f.Skeletons[0].RigidBodyData[0]), Body(0x00030001, 1, 0, 0, 0, 0, 0, 1, 0.25f, 1));
    ASSERT_EQ(f.nAssets, 1);
    EXPECT_EQ(f.Assets[0].assetID, 9);
    ASSERT_EQ(f.Assets[0].nRigidBodies, 1);
    EXPECT_EQ(bodyOf(f.Assets[0].RigidBodyData[0]), Body(0x00090001, 0, 1, 0, 0, 0, 0, 1, 0.5f, 1));
    ASSERT_EQ(f.Assets[0].nMarkers, 1);
    EXPECT_EQ(f.Assets[0].MarkerData[0].ID, 0x00090002);
    EXPECT_EQ(f.Assets[0].MarkerData[0].params, 0x20);
    EXPECT_EQ(f.Assets[0].MarkerData[0].residual, 0.25f);
    ASSERT_EQ(f.nLabeledMarkers, 1);
    EXPECT_EQ(f.LabeledMarkers[0].ID, 0x00070001);
    EXPECT_EQ(f.LabeledMarkers[0].params, 10);
    EXPECT_EQ(f.LabeledMarkers[0].residual, 0.5f);
    ASSERT_EQ(f.nForcePlates, 1);
    EXPECT_EQ(f.ForcePlates[0].ID, 5);
    ASSERT_EQ(f.ForcePlates[0].nChannels, 1);
    ASSERT_EQ(f.ForcePlates[0].ChannelData[0].nFrames, 2);
    EXPECT_EQ(f.ForcePlates[0].ChannelData[0].Values[1], 2.0f);
    EXPECT_EQ(f.nDevices, 0);
    EXPECT_EQ(stampsOf(f), (FrameStamps{{0x01020304u, 5}, 1.5, {1000, 2000, 3000}, {77, 88}, 3}));

    const std::vector<uint8_t> encoded = frameDatagram(f, Version(4, 1));
    EXPECT_TRUE(bytesEqual(kFrame41, encoded.data(), encoded.size()));
    // 4.2 changed descriptions only: the frame layout is the same.
    const std::vector<uint8_t> encoded42 = frameDatagram(f, Version(4, 2));
    EXPECT_TRUE(bytesEqual(kFrame41, encoded42.data(), encoded42.size()));
}

TEST(GoldenDatagram, Frame40HasNoSizesAssetsOrPrecisionStamps)
{
    ASSERT_EQ(kFrame40.size(), 4u + 142u);
    const Datagram d = payloadOf(kFrame40);
    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    frame->nAssets = 5;  // stale values from an earlier frame
    frame->PrecisionTimestampSecs = 9;
    ASSERT_EQ(decodeFrame(d.payload, d.payloadSize, Version(4, 0), storage, *frame), Status::Ok);
    EXPECT_EQ(frame->iFrame, 99);
    ASSERT_EQ(frame->nRigidBodies, 1);
    EXPECT_EQ(frame->RigidBodies[0].params, 1);
    EXPECT_EQ(frame->nAssets, 0);
    // No mid-exposure stamp on the wire, and the stale precision stamp is cleared.
    EXPECT_EQ(stampsOf(*frame), (FrameStamps{{0, 0}, 1.5, {0, 2000, 3000}, {0, 0}, 0}));
    const std::vector<uint8_t> encoded = frameDatagram(*frame, Version(4, 0));
    EXPECT_TRUE(bytesEqual(kFrame40, encoded.data(), encoded.size()));
    // The same bytes are not a 4.1 frame: the first count would be followed by a size.
    EXPECT_NE(decodeFrame(d.payload, d.payloadSize, Version(4, 1), storage, *frame), Status::Ok);
}

TEST(GoldenDatagram, ModelDefinitions41SkipsUnknownType)
{
    ASSERT_EQ(kModelDefs41.size(), 4u + 130u);
    const HeapBytes bytes(kModelDefs41);
    sDataDescriptions* list = nullptr;
    ASSERT_EQ(decodeModelDefinitions(bytes.data() + 4, bytes.size() - 4, Version(4, 1), &list), Status::Ok);
    ASSERT_EQ(list->nDataDescriptions, 3) << "the type-9 description is skipped";

    ASSERT_EQ(list->arrDataDescriptions[0].type, Descriptor_MarkerSet);
    const sMarkerSetDescription& set = *list->arrDataDescriptions[0].Data.MarkerSetDescription;
    EXPECT_STREQ(set.szName, "Wand");
    ASSERT_EQ(set.nMarkers, 2);
    EXPECT_STREQ(set.szMarkerNames[1], "b");

    ASSERT_EQ(list->arrDataDescriptions[1].type, Descriptor_RigidBody);
    const sRigidBodyDescription& body = *list->arrDataDescriptions[1].Data.RigidBodyDescription;
    EXPECT_STREQ(body.szName, "RB");
    EXPECT_EQ(body.ID, 5);
    EXPECT_EQ(body.parentID, -1);
    EXPECT_EQ(body.offsetz, -1.0f);
    ASSERT_EQ(body.nMarkers, 1);
    EXPECT_EQ(body.MarkerPositions[0][2], 0.25f);
    EXPECT_EQ(body.MarkerRequiredLabels[0], 3);
    EXPECT_STREQ(body.szMarkerNames[0], "m1");

    ASSERT_EQ(list->arrDataDescriptions[2].type, Descriptor_Camera);
    const sCameraDescription& camera = *list->arrDataDescriptions[2].Data.CameraDescription;
    EXPECT_STREQ(camera.strName, "Cam");
    EXPECT_EQ(camera.z, 0.5f);
    EXPECT_EQ(camera.qy, 1.0f);

    // Re-encoded without the unknown description.
    std::vector<uint8_t> expected = kModelDefs41;
    expected.erase(expected.begin() + 4 + 4 + 21 + 54, expected.begin() + 4 + 4 + 21 + 54 + 11);
    expected[0 + 4] = 3;                         // count
    expected[2] = uint8_t(expected.size() - 4);  // payload size
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(encodeInto(
        encoded, [&](ByteWriter& out) { return encodeModelDefinitions(out, *list, Version(4, 1)); }));
    EXPECT_TRUE(bytesEqual(expected, encoded.data(), encoded.size()));
    freeDescriptions(list);

    // The same datagram read with 3.0 rules cannot pass the size fields.
    EXPECT_NE(decodeModelDefinitions(bytes.data() + 4, bytes.size() - 4, Version(3, 0), &list), Status::Ok);
}

TEST(GoldenDatagram, ModelDefinitions42RotationOffset)
{
    const Datagram d = payloadOf(kModelDefs42);
    sDataDescriptions* list = nullptr;
    // The stray byte after the last description is not part of any record.
    EXPECT_EQ(decodeModelDefinitions(d.payload, d.payloadSize, Version(4, 2), &list), Status::SizeMismatch);
    ASSERT_EQ(decodeModelDefinitions(d.payload, d.payloadSize - 1, Version(4, 2), &list), Status::Ok);
    ASSERT_EQ(list->nDataDescriptions, 1);
    const sRigidBodyDescription& body = *list->arrDataDescriptions[0].Data.RigidBodyDescription;
    EXPECT_EQ(body.ID, 5);
    EXPECT_EQ(body.parentID, 2);
    EXPECT_EQ(body.offsetx, 0.5f);
    EXPECT_EQ(body.nMarkers, 0);
    EXPECT_EQ(body.MarkerPositions, nullptr);

    std::vector<uint8_t> expected(kModelDefs42.begin(), kModelDefs42.end() - 1);
    expected[2] = uint8_t(expected.size() - 4);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(encodeInto(
        encoded, [&](ByteWriter& out) { return encodeModelDefinitions(out, *list, Version(4, 2)); }));
    EXPECT_TRUE(bytesEqual(expected, encoded.data(), encoded.size()));
    freeDescriptions(list);

    // Read with 4.1 rules, the rotation offset would be taken for the marker count.
    EXPECT_NE(decodeModelDefinitions(d.payload, d.payloadSize - 1, Version(4, 1), &list), Status::Ok);
}

}  // namespace
