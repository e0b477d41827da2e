// The SDK's C functions, through NatNetLib's exported API only, with the
// results the vendor's own library gives where those are known.
#include "NatNetCAPI.h"
#include "NatNetTypes.h"

#include "SampleRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

TEST(CApi, VersionIsTheSdkRelease)
{
    unsigned char version[4] = {9, 9, 9, 9};
    NatNet_GetVersion(version);
    EXPECT_EQ(version[0], 4);
    EXPECT_EQ(version[1], 1);
    EXPECT_EQ(version[2], 0);
    EXPECT_EQ(version[3], 0);
}

TEST(CApi, DecodeId)
{
    struct Row
    {
        int composite;
        int entity;
        int member;
    };
    const Row rows[] = {
        {131073, 2, 1},      // labeled marker of model 2 (captured)
        {50007, 0, 50007},   // unlabeled point-cloud marker (captured)
        {0x00090002, 9, 2},  // asset 9, member 2
        {0x7FFFFFFF, 0x7FFF, 0xFFFF},
        {-1, 0xFFFF, 0xFFFF},  // both halves are 16-bit fields
    };
    for (const Row& row : rows) {
        int entity = -7;
        int member = -7;
        NatNet_DecodeID(row.composite, &entity, &member);
        EXPECT_EQ(entity, row.entity) << row.composite;
        EXPECT_EQ(member, row.member) << row.composite;
    }
    int entity = 0;
    NatNet_DecodeID(131073, &entity, nullptr);  // one output is enough
    EXPECT_EQ(entity, 2);
}

TEST(CApi, DecodeTimecode)
{
    int h = 0;
    int m = 0;
    int s = 0;
    int f = 0;
    int sub = 0;
    ASSERT_EQ(NatNet_DecodeTimecode(0x01020304u, 5, &h, &m, &s, &f, &sub), ErrorCode_OK);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(s, 3);
    EXPECT_EQ(f, 4);
    EXPECT_EQ(sub, 5);
    ASSERT_EQ(NatNet_DecodeTimecode(0x17FB3B1Du, 0, &h, &m, &s, &f, &sub), ErrorCode_OK);
    EXPECT_EQ(h, 0x17);
    EXPECT_EQ(m, 0xFB);
    EXPECT_EQ(s, 0x3B);
    EXPECT_EQ(f, 0x1D);
    EXPECT_EQ(NatNet_DecodeTimecode(1, 1, &h, &m, nullptr, &f, &sub), ErrorCode_InvalidArgument);
}

TEST(CApi, TimecodeStringify)
{
    struct Row
    {
        unsigned timecode;
        unsigned subframe;
        int size;
        ErrorCode result;
        const char* text;
    };
    const Row rows[] = {
        {0x01020304u, 5, 128, ErrorCode_OK, "01:02:03:04.5"},   // vendor library
        {0x01020304u, 5, 4, ErrorCode_InvalidArgument, "01:"},  // vendor library
        {0, 0, 128, ErrorCode_OK, "00:00:00:00.0"},             // NatNetLib 3.0 output
        {0x01020304u, 5, 14, ErrorCode_OK, "01:02:03:04.5"},    // exactly fits
        {0x01020304u, 5, 13, ErrorCode_InvalidArgument, "01:02:03:04."},
        {0x0A0B0C0Du, 12, 128, ErrorCode_OK, "10:11:12:13.12"},
        {0xFF000000u, 0, 128, ErrorCode_OK, "255:00:00:00.0"},
        {0x01020304u, 5, 1, ErrorCode_InvalidArgument, ""},
    };
    for (const Row& row : rows) {
        char buffer[128];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(NatNet_TimecodeStringify(row.timecode, row.subframe, buffer, row.size), row.result)
            << row.text;
        EXPECT_STREQ(buffer, row.text);
        if (row.size < 128) {
            EXPECT_EQ(buffer[row.size], 'x') << "nothing written past the buffer";
        }
    }
    char one = 'x';
    EXPECT_EQ(NatNet_TimecodeStringify(0, 0, &one, 0), ErrorCode_InvalidArgument);
    EXPECT_EQ(one, 'x');
    EXPECT_EQ(NatNet_TimecodeStringify(0, 0, nullptr, 128), ErrorCode_InvalidArgument);
}

TEST(CApi, CopyFrameIsDeep)
{
    NatNetTest::SampleFrame sample;
    sFrameOfMocapData& src = sample.frame();
    auto copy = std::make_unique<sFrameOfMocapData>();
    ASSERT_EQ(NatNet_CopyFrame(&src, copy.get()), ErrorCode_OK);

    EXPECT_EQ(copy->iFrame, src.iFrame);
    EXPECT_EQ(copy->RigidBodies[2].x, src.RigidBodies[2].x);
    EXPECT_EQ(copy->TransmitTimestamp, src.TransmitTimestamp);
    EXPECT_STREQ(copy->MocapData[0].szName, "Alpha");
    ASSERT_NE(copy->MocapData[0].Markers, src.MocapData[0].Markers);
    ASSERT_NE(copy->OtherMarkers, src.OtherMarkers);
    ASSERT_NE(copy->Skeletons[1].RigidBodyData, src.Skeletons[1].RigidBodyData);
    ASSERT_NE(copy->Assets[1].MarkerData, src.Assets[1].MarkerData);
    EXPECT_EQ(copy->Assets[1].RigidBodyData, nullptr) << "an empty array stays null";
    EXPECT_EQ(copy->MocapData[0].Markers[2][2], src.MocapData[0].Markers[2][2]);
    EXPECT_EQ(copy->Skeletons[0].RigidBodyData[1].ID, src.Skeletons[0].RigidBodyData[1].ID);
    EXPECT_EQ(copy->Assets[0].MarkerData[1].ID, src.Assets[0].MarkerData[1].ID);

    // The copy no longer depends on the source's arrays.
    src.MocapData[0].Markers[0][0] = 99.0f;
    src.OtherMarkers[0][0] = 99.0f;
    EXPECT_NE(copy->MocapData[0].Markers[0][0], 99.0f);
    EXPECT_NE(copy->OtherMarkers[0][0], 99.0f);

    ASSERT_EQ(NatNet_FreeFrame(copy.get()), ErrorCode_OK);
    EXPECT_EQ(copy->MocapData[0].Markers, nullptr);
    EXPECT_EQ(copy->OtherMarkers, nullptr);
    EXPECT_EQ(copy->Skeletons[0].RigidBodyData, nullptr);
    EXPECT_EQ(copy->nRigidBodies, 3) << "the record itself stays";
    EXPECT_EQ(NatNet_FreeFrame(copy.get()), ErrorCode_OK) << "freeing twice is harmless";
}

TEST(CApi, CopyFrameRefusesBadRecords)
{
    NatNetTest::SampleFrame sample;
    auto dst = std::make_unique<sFrameOfMocapData>();
    dst->iFrame = 77;
    EXPECT_EQ(NatNet_CopyFrame(nullptr, dst.get()), ErrorCode_InvalidArgument);
    EXPECT_EQ(NatNet_CopyFrame(&sample.frame(), nullptr), ErrorCode_InvalidArgument);
    EXPECT_EQ(NatNet_CopyFrame(&sample.frame(), &sample.frame()), ErrorCode_InvalidArgument);
    sample.frame().nSkeletons = MAX_SKELETONS + 1;
    EXPECT_EQ(NatNet_CopyFrame(&sample.frame(), dst.get()), ErrorCode_InvalidArgument);
    sample.frame().nSkeletons = 2;
    sample.frame().nOtherMarkers = -1;
    EXPECT_EQ(NatNet_CopyFrame(&sample.frame(), dst.get()), ErrorCode_InvalidArgument);
    EXPECT_EQ(dst->iFrame, 77) << "a refused copy leaves the destination alone";
    EXPECT_EQ(NatNet_FreeFrame(nullptr), ErrorCode_InvalidArgument);
}

TEST(CApi, FreeDescriptionsReleasesEverything)
{
    // ASan reports a leak or a mismatched delete if the list is not released
    // exactly the way it was allocated.
    sDataDescriptions* list = NatNetTest::makeSampleDescriptions(0, 0);
    ASSERT_EQ(list->nDataDescriptions, 7);
    EXPECT_EQ(NatNet_FreeDescriptions(list), ErrorCode_OK);

    auto* empty = new sDataDescriptions();
    EXPECT_EQ(NatNet_FreeDescriptions(empty), ErrorCode_OK);
    EXPECT_EQ(NatNet_FreeDescriptions(nullptr), ErrorCode_InvalidArgument);
}

TEST(CApi, LogCallbackIsInstalledAndCleared)
{
    // The library logs through the callback; installing and clearing it must not crash.
    NatNet_SetLogCallback([](Verbosity, const char*) {});
    NatNet_SetLogCallback(nullptr);
}

}  // namespace
