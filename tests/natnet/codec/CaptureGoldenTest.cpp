// Real Motive captures decode to the values recorded with them, and the 3.0
// datagrams encode back to the same bytes.
#include "CaptureReader.h"
#include "Encoding.h"
#include "FrameStamps.h"
#include "TestData.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace NatNet::Wire;
using NatNetTest::bytesEqual;
using NatNetTest::encodeInto;
using NatNetTest::FrameStamps;
using NatNetTest::readCapture;
using NatNetTest::stampsOf;

namespace {

struct Decoded
{
    Datagram datagram;
    std::vector<uint8_t> bytes;
};

Decoded datagramOf(const std::string& file)
{
    Decoded d;
    d.bytes = readCapture(file);
    EXPECT_EQ(decodeDatagram(d.bytes.data(), d.bytes.size(), d.datagram), Status::Ok) << file;
    return d;
}

// A capture's frame datagram decoded with one version's rules, into a frame backed by its own
// storage.
struct CapturedFrame
{
    Decoded capture;
    Status status = Status::Ok;
    FrameStorage storage;
    sFrameOfMocapData frame;
};

std::unique_ptr<CapturedFrame> frameOf(const std::string& file, Version version)
{
    auto captured = std::make_unique<CapturedFrame>();
    captured->capture = datagramOf(file);
    const Datagram& datagram = captured->capture.datagram;
    captured->status =
        decodeFrame(datagram.payload, datagram.payloadSize, version, captured->storage, captured->frame);
    return captured;
}

// Encodes with `encode` into a scratch buffer and compares with the capture.
template <typename Encode>
::testing::AssertionResult encodesTo(const std::vector<uint8_t>& expected, Encode encode)
{
    std::vector<uint8_t> bytes;
    ::testing::AssertionResult encoded = encodeInto(bytes, encode);
    if (!encoded) return encoded;
    return bytesEqual(expected, bytes.data(), bytes.size());
}

TEST(CaptureGolden, ServerInfoFromMotive21)
{
    const Decoded d = datagramOf("python_natnet/serverinfo_packet_v3.bin");
    ASSERT_EQ(d.datagram.messageId, uint16_t(MessageId::ServerInfo));
    ASSERT_EQ(d.datagram.payloadSize, 279u);
    ServerInfo info;
    ASSERT_EQ(decodeServerInfo(d.datagram.payload, d.datagram.payloadSize, info), Status::Ok);
    EXPECT_EQ(info.sender.nameText(), "Motive");
    EXPECT_NE(info.sender.name[7], 0) << "the capture's stale bytes after the name are kept";
    EXPECT_EQ(Version::fromBytes(info.sender.version).major, 2);
    EXPECT_EQ(Version::fromBytes(info.sender.version).minor, 1);
    EXPECT_EQ(std::vector<uint8_t>(info.sender.natNetVersion, info.sender.natNetVersion + 4),
              (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_TRUE(info.hasConnectionInfo);
    EXPECT_EQ(info.highResClockFrequency, 3312787u);
    EXPECT_EQ(info.dataPort, 1511);
    EXPECT_TRUE(info.isMulticast);
    EXPECT_EQ(std::vector<uint8_t>(info.multicastAddress, info.multicastAddress + 4),
              (std::vector<uint8_t>{239, 255, 42, 99}));
    EXPECT_TRUE(encodesTo(d.bytes, [&](ByteWriter& w) { return encodeServerInfo(w, info); }));

    const uint8_t host[4] = {192, 168, 0, 106};
    sServerDescription description;
    fillServerDescription(info, host, description);
    EXPECT_TRUE(description.HostPresent);
    EXPECT_STREQ(description.szHostApp, "Motive");
    EXPECT_EQ(description.szHostComputerName[0], '\0');
    EXPECT_EQ(description.HostComputerAddress[3], 106);
    EXPECT_EQ(description.NatNetVersion[0], 3);
    EXPECT_EQ(description.HighResClockFrequency, 3312787u);
    EXPECT_TRUE(description.bConnectionInfoValid);
    EXPECT_EQ(description.ConnectionDataPort, 1511);
    EXPECT_TRUE(description.ConnectionMulticast);
    EXPECT_EQ(description.ConnectionMulticastAddress[0], 239);
}

TEST(CaptureGolden, ConnectAndDiscoveryFromNatNetLib30)
{
    for (const auto& [file, id] :
         {std::pair<const char*, MessageId>{"python_natnet/connect_packet_v3.bin", MessageId::Connect},
          {"python_natnet/discovery_packet_v3.bin", MessageId::Discovery}}) {
        SCOPED_TRACE(file);
        const Decoded d = datagramOf(file);
        EXPECT_EQ(d.datagram.messageId, uint16_t(id));
        ConnectRequest request;
        ASSERT_EQ(decodeConnect(d.datagram.payload, d.datagram.payloadSize, request), Status::Ok);
        EXPECT_TRUE(request.hasSender);
        EXPECT_FALSE(request.hasOptions);
        EXPECT_EQ(request.sender.nameText(), "NatNetLib");
        EXPECT_EQ(request.sender.version[0], 3);
        EXPECT_EQ(request.sender.natNetVersion[0], 3);
        const MessageId kind = id;  // a lambda may capture a structured binding only from C++20
        EXPECT_TRUE(encodesTo(d.bytes, [&](ByteWriter& w) { return encodeConnect(w, request, kind); }));
    }
}

TEST(CaptureGolden, EchoPair)
{
    const Decoded request = datagramOf("python_natnet/echorequest_packet_v3.bin");
    uint64_t stamp = 0;
    ASSERT_EQ(decodeEchoRequest(request.datagram.payload, request.datagram.payloadSize, stamp), Status::Ok);
    EXPECT_EQ(stamp, 278554190u);
    EXPECT_TRUE(encodesTo(request.bytes, [&](ByteWriter& w) { return encodeEchoRequest(w, stamp); }));

    const Decoded response = datagramOf("python_natnet/echoresponse_packet_v3.bin");
    EchoResponse echo;
    ASSERT_EQ(decodeEchoResponse(response.datagram.payload, response.datagram.payloadSize, echo), Status::Ok);
    EXPECT_EQ(echo.requestStamp, 278554190u);
    EXPECT_EQ(echo.serverTicks, 1416498545924u);
    EXPECT_TRUE(encodesTo(response.bytes, [&](ByteWriter& w) { return encodeEchoResponse(w, echo); }));

    const Decoded modelRequest = datagramOf("python_natnet/requestmodeldef_packet_v3.bin");
    EXPECT_EQ(modelRequest.datagram.messageId, uint16_t(MessageId::RequestModelDef));
    EXPECT_EQ(modelRequest.datagram.payloadSize, 0u);
    EXPECT_TRUE(encodesTo(modelRequest.bytes,
                          [&](ByteWriter& w) { return encodeEmpty(w, MessageId::RequestModelDef); }));
}

TEST(CaptureGolden, ModelDefinitionsRaceQuad)
{
    const Decoded d = datagramOf("python_natnet/modeldef_packet_v3.bin");
    ASSERT_EQ(d.datagram.messageId, uint16_t(MessageId::ModelDef));
    sDataDescriptions* list = nullptr;
    ASSERT_EQ(decodeModelDefinitions(d.datagram.payload, d.datagram.payloadSize, Version(3, 0), &list),
              Status::Ok);
    ASSERT_EQ(list->nDataDescriptions, 3);

    ASSERT_EQ(list->arrDataDescriptions[0].type, Descriptor_RigidBody);
    const sRigidBodyDescription& body = *list->arrDataDescriptions[0].Data.RigidBodyDescription;
    EXPECT_STREQ(body.szName, "RaceQuad");
    EXPECT_EQ(body.ID, 2);
    EXPECT_EQ(body.parentID, -1);
    EXPECT_EQ(body.offsetx, 0.0f);
    ASSERT_EQ(body.nMarkers, 5);
    const float expected[5][3] = {{0.16115899f, 0.0350516f, -0.0321813f},
                                  {-0.030819f, 0.0397819f, -0.0219901f},
                                  {0.18753099f, -0.0333833f, 0.148081f},
                                  {-0.0748715f, 6.68607e-05f, 0.0329233f},
                                  {-0.0580382f, -0.0319419f, -0.136807f}};
    for (int i = 0; i < 5; ++i) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(body.MarkerPositions[i][c], expected[i][c], 1e-6) << "marker " << i;
        }
        EXPECT_EQ(body.MarkerRequiredLabels[i], 0);
    }
    EXPECT_EQ(body.szMarkerNames, nullptr) << "marker names arrive from 4.0";

    const char* setNames[2] = {"RaceQuad", "all"};
    const char* markerPrefix[2] = {"Marker", "RaceQuad_"};
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(list->arrDataDescriptions[1 + s].type, Descriptor_MarkerSet);
        const sMarkerSetDescription& set = *list->arrDataDescriptions[1 + s].Data.MarkerSetDescription;
        EXPECT_STREQ(set.szName, setNames[s]);
        ASSERT_EQ(set.nMarkers, 5);
        for (int m = 0; m < 5; ++m) {
            EXPECT_EQ(std::string(set.szMarkerNames[m]), markerPrefix[s] + std::to_string(m + 1));
        }
    }
    EXPECT_TRUE(
        encodesTo(d.bytes, [&](ByteWriter& w) { return encodeModelDefinitions(w, *list, Version(3, 0)); }));
    freeDescriptions(list);
}

TEST(CaptureGolden, FrameFromMotive21)
{
    const auto captured = frameOf("python_natnet/mocapframe_packet_v3.bin", Version(3, 0));
    ASSERT_EQ(captured->capture.datagram.payloadSize, 332u);
    ASSERT_EQ(captured->status, Status::Ok);
    const sFrameOfMocapData& f = captured->frame;
    EXPECT_EQ(f.iFrame, 162734);
    EXPECT_EQ(f.nMarkerSets, 0);
    EXPECT_EQ(f.nOtherMarkers, 5);
    ASSERT_EQ(f.nRigidBodies, 1);
    const sRigidBodyData& rb = f.RigidBodies[0];
    EXPECT_EQ(rb.ID, 2);
    EXPECT_FLOAT_EQ(rb.x, 0.1744466f);
    EXPECT_FLOAT_EQ(rb.y, 1.4471314f);
    EXPECT_FLOAT_EQ(rb.z, -0.7343040f);
    EXPECT_FLOAT_EQ(rb.qx, -0.05459423f);
    EXPECT_FLOAT_EQ(rb.qy, 0.5099482f);
    EXPECT_FLOAT_EQ(rb.qz, 0.04370357f);
    EXPECT_FLOAT_EQ(rb.qw, -0.8573577f);
    EXPECT_FLOAT_EQ(rb.MeanError, 0.0005152203f);
    EXPECT_EQ(rb.params, 1);
    EXPECT_EQ(f.nSkeletons, 0);
    EXPECT_EQ(f.nAssets, 0);
    ASSERT_EQ(f.nLabeledMarkers, 6);
    EXPECT_EQ(f.LabeledMarkers[0].ID, 131073);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[0].x, 0.1272162f);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[0].y, 1.5050275f);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[0].z, -0.8858284f);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[0].size, 0.02143982f);
    EXPECT_EQ(f.LabeledMarkers[0].params, 10);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[0].residual, 0.0002074828f);
    EXPECT_EQ(f.LabeledMarkers[5].ID, 50007);
    EXPECT_EQ(f.LabeledMarkers[5].params, 18);
    EXPECT_FLOAT_EQ(f.LabeledMarkers[5].residual, 0.0005593782f);
    EXPECT_EQ(f.nForcePlates, 0);
    EXPECT_EQ(f.nDevices, 0);
    EXPECT_EQ(
        stampsOf(f),
        (FrameStamps{{0, 0}, 1356.1166666666666, {1416497730518, 1416497745808, 1416497748722}, {0, 0}, 0}));
    EXPECT_TRUE(
        encodesTo(captured->capture.bytes, [&](ByteWriter& w) { return encodeFrame(w, f, Version(3, 0)); }));
}

TEST(CaptureGolden, OccludedFrame)
{
    const auto captured = frameOf("python_natnet/mocapframe_packet_occluded_v3.bin", Version(3, 0));
    ASSERT_EQ(captured->status, Status::Ok);
    const sFrameOfMocapData& f = captured->frame;
    EXPECT_EQ(f.iFrame, 269007);
    ASSERT_EQ(f.nMarkerSets, 2);
    EXPECT_STREQ(f.MocapData[0].szName, "FakeTree");
    EXPECT_EQ(f.MocapData[0].nMarkers, 5);
    EXPECT_STREQ(f.MocapData[1].szName, "all");
    EXPECT_EQ(f.MocapData[1].nMarkers, 5);
    EXPECT_NE(f.MocapData[0].Markers, f.MocapData[1].Markers);
    ASSERT_EQ(f.nRigidBodies, 1);
    EXPECT_EQ(f.RigidBodies[0].ID, 7);
    EXPECT_EQ(f.RigidBodies[0].params, 1);
    ASSERT_EQ(f.nLabeledMarkers, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f.LabeledMarkers[i].ID, 458754 + i);
    EXPECT_EQ(f.LabeledMarkers[0].params, 11);
    EXPECT_NEAR(f.fTimestamp, 8966.9, 1e-6);
    EXPECT_TRUE(
        encodesTo(captured->capture.bytes, [&](ByteWriter& w) { return encodeFrame(w, f, Version(3, 0)); }));
}

// Motive 1.5 to 1.9: the version comes from each set's server-info reply.
struct OptirxCase
{
    const char* motive;
    uint8_t minor;
    int32_t firstFrame;
    const char* firstSet;
    int32_t otherMarkers;
    int32_t rigidBodyId;
    int16_t rigidBodyParams;
    int16_t labeledParams;
    double timestamp;
    size_t frameSize;
};

class OptirxCaptures : public ::testing::TestWithParam<OptirxCase>
{
};

TEST_P(OptirxCaptures, DecodeWithTheAnnouncedVersion)
{
    const OptirxCase& c = GetParam();
    const std::string base = std::string("python-optirx/frame-motive-") + c.motive + "-00";
    const Decoded info = datagramOf(base + "0.bin");
    ASSERT_EQ(info.datagram.messageId, uint16_t(MessageId::ServerInfo));
    ServerInfo server;
    ASSERT_EQ(decodeServerInfo(info.datagram.payload, info.datagram.payloadSize, server), Status::Ok);
    EXPECT_FALSE(server.hasConnectionInfo) << "NatNet 2.x replies are 264 bytes";
    EXPECT_EQ(server.sender.nameText(), "NatNetLib");
    const Version version = Version::fromBytes(server.sender.natNetVersion);
    ASSERT_EQ(version.major, 2);
    ASSERT_EQ(version.minor, c.minor);

    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        const Decoded d = datagramOf(base + std::to_string(n) + ".bin");
        ASSERT_EQ(d.bytes.size(), c.frameSize);
        ASSERT_EQ(decodeFrame(d.datagram.payload, d.datagram.payloadSize, version, storage, *frame),
                  Status::Ok);
        EXPECT_EQ(frame->iFrame, c.firstFrame + n - 1);
        ASSERT_EQ(frame->nMarkerSets, 2);
        EXPECT_STREQ(frame->MocapData[0].szName, c.firstSet);
        EXPECT_STREQ(frame->MocapData[1].szName, "all");
        EXPECT_EQ(frame->nOtherMarkers, c.otherMarkers);
        ASSERT_EQ(frame->nRigidBodies, 1);
        EXPECT_EQ(frame->RigidBodies[0].ID, c.rigidBodyId);
        EXPECT_EQ(frame->RigidBodies[0].params, c.rigidBodyParams);
        ASSERT_EQ(frame->nLabeledMarkers, 3);
        EXPECT_EQ(frame->LabeledMarkers[0].params, c.labeledParams);
        EXPECT_EQ(frame->nForcePlates, 0);
        if (c.timestamp > 0.0) {  // the second frame is one frame period later
            EXPECT_NEAR(frame->fTimestamp, c.timestamp + (n - 1) / 120.0, 1e-3);
        } else {
            EXPECT_EQ(frame->fTimestamp, 0.0) << "2.5 frames carry no timestamp";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Motive, OptirxCaptures,
    ::testing::Values(OptirxCase{"1.5.0", 5, 92881, "Rigid Body 1", 2, 1, 1, 0, 0.0, 325},
                      OptirxCase{"1.6b2", 6, 23796, "Rigid Body 1", 2, 1, 1, 2, 199.66487, 339},
                      OptirxCase{"1.7.2", 7, 411213, "Rigid Body 1", 2, 1, 1, 2, 3426.775, 343},
                      OptirxCase{"1.9.0", 9, 11823217, "Triangle", 0, 2, 1, 10, 98526.80833, 319}),
    [](const auto& row) {
        std::string name = row.param.motive;
        for (char& ch : name) {
            if (ch == '.') ch = '_';
        }
        return name;
    });

TEST(CaptureGolden, Motive15LatencyAndLabeledIds)
{
    const auto captured = frameOf("python-optirx/frame-motive-1.5.0-001.bin", Version(2, 5));
    ASSERT_EQ(captured->status, Status::Ok);
    const sFrameOfMocapData& f = captured->frame;
    EXPECT_NEAR(captured->storage.legacyLatency(), 775.3009f, 1e-3);
    EXPECT_EQ(f.MocapData[0].nMarkers, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.LabeledMarkers[i].ID, i + 1);
        EXPECT_NEAR(f.LabeledMarkers[i].size, 0.024f, 1e-6);
    }
}

TEST(CaptureGolden, TrafficCaptureFrameByFrame)
{
    NatNet::Dump::CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(NatNetTest::capturePath("python_natnet/traffic.pcapng"), error)) << error;
    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    std::vector<uint8_t> buffer(70000);
    NatNet::Dump::UdpDatagram udp;
    int frames = 0;
    int32_t expectedNumber = 162734;
    while (reader.next(udp)) {
        Datagram d;
        ASSERT_EQ(decodeDatagram(udp.payload.data(), udp.payload.size(), d), Status::Ok);
        if (d.messageId != uint16_t(MessageId::FrameOfData)) continue;
        SCOPED_TRACE(expectedNumber);
        ASSERT_EQ(d.payloadSize, 332u);
        ASSERT_EQ(decodeFrame(d.payload, d.payloadSize, Version(3, 0), storage, *frame), Status::Ok);
        EXPECT_EQ(frame->iFrame, expectedNumber++);
        EXPECT_EQ(frame->params, 0);
        ByteWriter out(buffer.data(), buffer.size());
        ASSERT_EQ(encodeFrame(out, *frame, Version(3, 0)), Status::Ok);
        ASSERT_TRUE(bytesEqual(std::vector<uint8_t>(udp.payload.begin(), udp.payload.begin() + 4 + 332),
                               buffer.data(), out.size()));
        ++frames;
    }
    EXPECT_EQ(frames, 518);
    EXPECT_EQ(expectedNumber, 163252);
}

}  // namespace
