// Hostile and damaged datagrams: truncation at every offset, bad counts,
// missing terminators, wrong sizes. Decoders must fail cleanly, never read
// past the buffer (inputs live in exact-size heap blocks for ASan) and never
// change their output on failure.
#include "Encoding.h"
#include "SampleRecords.h"
#include "TestData.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace NatNet::Wire;
using NatNetTest::HeapBytes;

namespace {

std::vector<uint8_t> encodedFrame(Version v, const std::function<void(sFrameOfMocapData&)>& change = {})
{
    NatNetTest::SampleFrame sample;
    if (change) change(sample.frame());
    return NatNetTest::frameDatagram(sample.frame(), v);
}

std::vector<uint8_t> encodedDescriptions(Version v)
{
    sDataDescriptions* list = NatNetTest::makeSampleDescriptions(v.major, v.minor);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(NatNetTest::encodeInto(
        bytes, [&](ByteWriter& out) { return encodeModelDefinitions(out, *list, v); }));
    freeDescriptions(list);
    return bytes;
}

// A frame record filled with a pattern, to see whether a failed decode wrote
// to it. Checking compares every count and the first entries of every array
// (no input here has more), which keeps thousands of checks cheap.
class Sentinel
{
public:
    Sentinel() : m_frame(std::make_unique<sFrameOfMocapData>())
    {
        std::memset(static_cast<void*>(m_frame.get()), 0xA5, sizeof(sFrameOfMocapData));
    }
    sFrameOfMocapData& frame() { return *m_frame; }
    bool untouched() const
    {
        constexpr size_t entries = 8;
        const struct
        {
            size_t offset;
            size_t size;
        } regions[] = {
            {0, offsetof(sFrameOfMocapData, MocapData) + entries * sizeof(sMarkerSetData)},
            {offsetof(sFrameOfMocapData, nOtherMarkers), offsetof(sFrameOfMocapData, RigidBodies) -
                                                             offsetof(sFrameOfMocapData, nOtherMarkers) +
                                                             entries * sizeof(sRigidBodyData)},
            {offsetof(sFrameOfMocapData, nSkeletons), 8 + entries * sizeof(sSkeletonData)},
            {offsetof(sFrameOfMocapData, nAssets), 8 + entries * sizeof(sAssetData)},
            {offsetof(sFrameOfMocapData, nLabeledMarkers), 4 + entries * sizeof(sMarker)},
            {offsetof(sFrameOfMocapData, nForcePlates), 4 + 2 * sizeof(sForcePlateData)},
            {offsetof(sFrameOfMocapData, nDevices), 4 + 2 * sizeof(sDeviceData)},
            {offsetof(sFrameOfMocapData, Timecode),
             sizeof(sFrameOfMocapData) - offsetof(sFrameOfMocapData, Timecode)},
        };
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(m_frame.get());
        for (const auto& r : regions) {
            for (size_t i = 0; i < r.size; ++i) {
                if (bytes[r.offset + i] != 0xA5) return false;
            }
        }
        return true;
    }

private:
    std::unique_ptr<sFrameOfMocapData> m_frame;
};

struct SweepCase
{
    std::string name;
    std::vector<uint8_t> datagram;
    Version version;
    bool hasTexts;  // a cut inside a text reports UnterminatedString instead of Truncated
};

SweepCase fromCapture(std::string name, const char* file, Version version, bool hasTexts)
{
    return {std::move(name), NatNetTest::readCapture(file), version, hasTexts};
}

std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> cases = {
        fromCapture("capture_frame_v3", "python_natnet/mocapframe_packet_v3.bin", {3, 0}, false),
        fromCapture("capture_occluded_v3", "python_natnet/mocapframe_packet_occluded_v3.bin", {3, 0}, true),
        fromCapture("capture_modeldef_v3", "python_natnet/modeldef_packet_v3.bin", {3, 0}, true),
        fromCapture("capture_frame_v2_5", "python-optirx/frame-motive-1.5.0-001.bin", {2, 5}, true),
        fromCapture("capture_frame_v2_9", "python-optirx/frame-motive-1.9.0-001.bin", {2, 9}, true),
    };
    for (const Version v : {Version(3, 1), Version(4, 0), Version(4, 1), Version(4, 2)}) {
        const std::string suffix = std::to_string(v.major) + "_" + std::to_string(v.minor);
        cases.push_back({"sample_frame_v" + suffix, encodedFrame(v), v, true});
        cases.push_back({"sample_modeldef_v" + suffix, encodedDescriptions(v), v, true});
        cases.push_back({"rigid_bodies_only_v" + suffix,
                         encodedFrame(v,
                                      [](sFrameOfMocapData& f) {
                                          f.nMarkerSets = 0;
                                          f.nAssets = 0;
                                      }),
                         v, false});
    }
    return cases;
}

TEST(Robustness, TruncationSweep)
{
    FrameStorage storage;
    Sentinel sentinel;
    for (const SweepCase& c : sweepCases()) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(c.datagram.size(), 4u);
        // Whole datagrams decode; every proper prefix fails in the framing.
        for (size_t cut = 0; cut < c.datagram.size(); ++cut) {
            const HeapBytes prefix(c.datagram.data(), cut);
            Datagram d;
            ASSERT_EQ(decodeDatagram(prefix.data(), prefix.size(), d), Status::Truncated) << "cut " << cut;
        }
        Datagram whole;
        ASSERT_EQ(decodeDatagram(c.datagram.data(), c.datagram.size(), whole), Status::Ok);
        const bool isFrame = whole.messageId == uint16_t(MessageId::FrameOfData);
        const size_t payloadSize = whole.payloadSize;
        // Every proper prefix of the payload, as if nDataBytes had said so.
        for (size_t cut = 0; cut < payloadSize; ++cut) {
            const HeapBytes payload(c.datagram.data() + 4, cut);
            Status s = Status::Ok;
            if (isFrame) {
                storage.setLegacyLatency(-7.0f);
                s = decodeFrame(payload.data(), payload.size(), c.version, storage, sentinel.frame());
                EXPECT_TRUE(sentinel.untouched()) << "cut " << cut;
                EXPECT_EQ(storage.legacyLatency(), -7.0f) << "cut " << cut;
            } else {
                sDataDescriptions* list =
                    reinterpret_cast<sDataDescriptions*>(&storage);  // must stay as it is
                s = decodeModelDefinitions(payload.data(), payload.size(), c.version, &list);
                EXPECT_EQ(list, reinterpret_cast<sDataDescriptions*>(&storage)) << "cut " << cut;
            }
            if (c.hasTexts) {
                EXPECT_TRUE(s == Status::Truncated || s == Status::UnterminatedString)
                    << "cut " << cut << ": " << statusName(s);
            } else {
                EXPECT_EQ(s, Status::Truncated) << "cut " << cut << ": " << statusName(s);
            }
        }
    }
}

// One damaged frame per row: the offset of an i32 to overwrite in a 3.0 or
// 4.1 damage-frame payload (found by walking the layout), its new value and
// the status it must cause.
struct Damage
{
    const char* name;
    Version version;
    std::function<void(std::vector<uint8_t>& payload)> damage;
    Status expected;
};

void putI32(std::vector<uint8_t>& bytes, size_t offset, int32_t value)
{
    const uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = uint8_t(u >> (8 * i));
}

// The row's damage: `value` written over the i32 at `offset`.
std::function<void(std::vector<uint8_t>&)> poke(size_t offset, int32_t value)
{
    return [offset, value](std::vector<uint8_t>& payload) { putI32(payload, offset, value); };
}

std::vector<uint8_t> emptyPayload(Version v, const std::function<void(sFrameOfMocapData&)>& fill = {})
{
    std::vector<uint8_t> datagram = encodedFrame(v, [&](sFrameOfMocapData& f) {
        f.nMarkerSets = f.nOtherMarkers = f.nRigidBodies = f.nSkeletons = f.nAssets = 0;
        f.nLabeledMarkers = f.nForcePlates = f.nDevices = 0;
        if (fill) fill(f);
    });
    return std::vector<uint8_t>(datagram.begin() + 4, datagram.end());
}

// The payload the damage table pokes: one rigid body and one force plate with one channel of one
// sample; every other section is empty.
std::vector<uint8_t> damageFramePayload(Version v)
{
    return emptyPayload(v, [](sFrameOfMocapData& f) {
        f.nRigidBodies = 1;
        f.nForcePlates = 1;
        f.ForcePlates[0].nChannels = 1;
        f.ForcePlates[0].ChannelData[0].nFrames = 1;
    });
}

// Payload offsets of the counts (and of a 4.1 section size) in the damage frame.
constexpr size_t kMarkerSetCount = 4;
constexpr size_t kOtherMarkerCount30 = 8;
constexpr size_t kRigidBodyCount30 = 12;
constexpr size_t kSkeletonCount30 = kRigidBodyCount30 + 4 + 38;  // after the one 38-byte body
constexpr size_t kLabeledCount30 = kSkeletonCount30 + 4;
constexpr size_t kForcePlateCount30 = kLabeledCount30 + 4;
constexpr size_t kChannelCount30 = kForcePlateCount30 + 4 + 4;  // after the plate's ID
constexpr size_t kSampleCount30 = kChannelCount30 + 4;
constexpr size_t kRigidBodyCount41 = 4 + 8 + 8;
constexpr size_t kRigidBodySize41 = kRigidBodyCount41 + 4;

class DamagedFrames : public ::testing::TestWithParam<Damage>
{
};

TEST_P(DamagedFrames, FailWithTheirStatus)
{
    const Damage& row = GetParam();
    std::vector<uint8_t> payload = damageFramePayload(row.version);
    row.damage(payload);
    const HeapBytes bytes(payload);
    FrameStorage storage;
    Sentinel sentinel;
    EXPECT_EQ(decodeFrame(bytes.data(), bytes.size(), row.version, storage, sentinel.frame()), row.expected)
        << row.name;
    EXPECT_TRUE(sentinel.untouched());
}

// A vector: an array of these rows would have the analyzer ask for the fields in padding order.
const std::vector<Damage> kDamages = {
    {"NegativeMarkerSets", {3, 0}, poke(kMarkerSetCount, -1), Status::NegativeCount},
    {"MarkerSetsPastCapacity", {3, 0}, poke(kMarkerSetCount, MAX_MARKERSETS + 1), Status::CountTooLarge},
    {"HugeOtherMarkers", {3, 0}, poke(kOtherMarkerCount30, 0x7FFFFFFF), Status::CountTooLarge},
    {"OtherMarkersPastBytes", {3, 0}, poke(kOtherMarkerCount30, 20), Status::Truncated},
    {"NegativeRigidBodies", {3, 0}, poke(kRigidBodyCount30, INT32_MIN), Status::NegativeCount},
    {"RigidBodiesPastCapacity", {3, 0}, poke(kRigidBodyCount30, MAX_RIGIDBODIES + 1), Status::CountTooLarge},
    {"SkeletonsPastCapacity", {3, 0}, poke(kSkeletonCount30, MAX_SKELETONS + 1), Status::CountTooLarge},
    {"LabeledPastCapacity", {3, 0}, poke(kLabeledCount30, MAX_LABELED_MARKERS + 1), Status::CountTooLarge},
    {"ForcePlatesPastCapacity", {3, 0}, poke(kForcePlateCount30, MAX_FORCEPLATES + 1), Status::CountTooLarge},
    {"ChannelsPastCapacity", {3, 0}, poke(kChannelCount30, MAX_ANALOG_CHANNELS + 1), Status::CountTooLarge},
    {"SubframesPastCapacity", {3, 0}, poke(kSampleCount30, MAX_ANALOG_SUBFRAMES + 1), Status::CountTooLarge},
    {"NegativeSubframes", {3, 0}, poke(kSampleCount30, -3), Status::NegativeCount},
    {"EndTagNotZero", {3, 0}, [](auto& p) { putI32(p, p.size() - 4, 1); }, Status::MissingEndTag},
    {"TrailingByte", {3, 0}, [](auto& p) { p.push_back(0); }, Status::SizeMismatch},
    {"SectionSizeTooSmall", {4, 1}, poke(kRigidBodySize41, 37), Status::SizeMismatch},
    {"SectionSizeTooLarge", {4, 1}, poke(kRigidBodySize41, 39), Status::SizeMismatch},
    {"SectionSizePastEnd", {4, 1}, poke(kRigidBodySize41, 100000), Status::Truncated},
    {"NegativeSectionSize", {4, 1}, poke(kRigidBodySize41, -38), Status::SizeMismatch},
};

INSTANTIATE_TEST_SUITE_P(Rows, DamagedFrames, ::testing::ValuesIn(kDamages),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Robustness, LayoutOffsetsOfTheDamageTable)
{
    // The table above pokes fields by offset; check that they are where it thinks.
    const std::vector<uint8_t> p = damageFramePayload(Version(3, 0));
    auto i32At = [&](size_t o) {
        return int32_t(p[o] | p[o + 1] << 8 | p[o + 2] << 16 | uint32_t(p[o + 3]) << 24);
    };
    EXPECT_EQ(i32At(kMarkerSetCount), 0);
    EXPECT_EQ(i32At(kOtherMarkerCount30), 0);
    EXPECT_EQ(i32At(kRigidBodyCount30), 1);
    EXPECT_EQ(i32At(kSkeletonCount30), 0);
    EXPECT_EQ(i32At(kLabeledCount30), 0);
    EXPECT_EQ(i32At(kForcePlateCount30), 1);
    EXPECT_EQ(i32At(kChannelCount30), 1);
    EXPECT_EQ(i32At(kSampleCount30), 1);
    const std::vector<uint8_t> q = damageFramePayload(Version(4, 1));
    EXPECT_EQ(q[kRigidBodyCount41], 1);
    EXPECT_EQ(q[kRigidBodySize41], 38);
}

TEST(Robustness, UnsupportedVersions)
{
    const std::vector<uint8_t> p = emptyPayload(Version(3, 0));
    FrameStorage storage;
    Sentinel sentinel;
    sDataDescriptions* list = nullptr;
    for (const Version v : {Version(0, 0), Version(1, 9), Version(4, 5), Version(5, 0)}) {
        EXPECT_EQ(decodeFrame(p.data(), p.size(), v, storage, sentinel.frame()), Status::UnsupportedVersion);
        EXPECT_EQ(decodeModelDefinitions(p.data(), p.size(), v, &list), Status::UnsupportedVersion);
        std::vector<uint8_t> buffer(1000);
        ByteWriter out(buffer.data(), buffer.size());
        EXPECT_EQ(encodeFrame(out, sentinel.frame(), v), Status::UnsupportedVersion);
    }
    EXPECT_TRUE(sentinel.untouched());
    EXPECT_EQ(list, nullptr);
}

TEST(Robustness, MarkerSetNameWithoutTerminator)
{
    // Frame 1, one marker set whose name runs to the end of the datagram.
    const std::vector<uint8_t> payload = {LE32(1), LE32(1), 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    const HeapBytes bytes(payload);
    FrameStorage storage;
    Sentinel sentinel;
    EXPECT_EQ(decodeFrame(bytes.data(), bytes.size(), Version(3, 0), storage, sentinel.frame()),
              Status::UnterminatedString);
    EXPECT_TRUE(sentinel.untouched());
}

TEST(Robustness, LongTextsAreCutToTheirFields)
{
    // A 300-character marker-set name fills the 256-byte field, terminated.
    const std::string longName(300, 'n');
    std::vector<uint8_t> payload = {LE32(1), LE32(1)};
    payload.insert(payload.end(), longName.begin(), longName.end());
    payload.push_back(0);
    const std::vector<uint8_t> rest = emptyPayload(Version(3, 0));
    payload.insert(payload.end(), {LE32(0)});                     // no markers in the set
    payload.insert(payload.end(), rest.begin() + 8, rest.end());  // everything after the marker sets
    const HeapBytes bytes(payload);
    FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    ASSERT_EQ(decodeFrame(bytes.data(), bytes.size(), Version(3, 0), storage, *frame), Status::Ok);
    EXPECT_EQ(std::strlen(frame->MocapData[0].szName), size_t(MAX_NAMELENGTH - 1));
    EXPECT_EQ(frame->MocapData[0].Markers, nullptr);
}

TEST(Robustness, ModelDefinitionCounts)
{
    struct Row
    {
        const char* name;
        Version version;
        std::vector<uint8_t> payload;
        Status expected;
    };
    const std::vector<Row> rows = {
        {"empty", {3, 0}, {}, Status::Truncated},
        {"no descriptions", {3, 0}, {LE32(0)}, Status::Ok},
        {"negative count", {3, 0}, {LE32(0xFFFFFFFFu)}, Status::NegativeCount},
        {"count past capacity", {3, 0}, {LE32(MAX_MODELS + 1)}, Status::CountTooLarge},
        {"count past bytes", {3, 0}, {LE32(3), LE32(0), 'a', 0, LE32(0)}, Status::Truncated},
        {"unknown type before 4.1", {3, 0}, {LE32(1), LE32(7), LE32(0)}, Status::UnknownDescriptionType},
        {"camera before 4.0", {3, 1}, {LE32(1), LE32(5), 'c', 0}, Status::UnknownDescriptionType},
        {"unknown type 4.1, skipped", {4, 1}, {LE32(1), LE32(77), LE32(2), 0xEE, 0xEE}, Status::Ok},
        {"unknown type 4.1, size past end",
         {4, 1},
         {LE32(1), LE32(77), LE32(3), 0xEE, 0xEE},
         Status::Truncated},
        {"negative description size", {4, 1}, {LE32(1), LE32(0), LE32(0xFFFFFFFFu)}, Status::SizeMismatch},
        {"size larger than the body",
         {4, 1},
         {LE32(1), LE32(0), LE32(7), 'a', 0, LE32(0), 0},
         Status::SizeMismatch},
        {"negative marker names",
         {3, 0},
         {LE32(1), LE32(0), 'a', 0, LE32(0xFFFFFFFEu)},
         Status::NegativeCount},
        {"marker name unterminated",
         {3, 0},
         {LE32(1), LE32(0), 'a', 0, LE32(1), 'x'},
         Status::UnterminatedString},
        {"rigid-body markers past bytes",
         {3, 0},
         {LE32(1), LE32(1), 'r', 0, LE32(1), LE32(0), F32_0, F32_0, F32_0, LE32(2), F32_0},
         Status::Truncated},
        {"bones past capacity",
         {3, 0},
         {LE32(1), LE32(2), 's', 0, LE32(1), LE32(MAX_SKELRIGIDBODIES + 1)},
         Status::CountTooLarge},
        {"force-plate channels past capacity",
         {3, 0},
         [] {
             std::vector<uint8_t> p = {LE32(1), LE32(3), LE32(1), 's', 0};
             p.resize(p.size() + size_t{4} * (2 + 3 + 144 + 12), 0);
             p.insert(p.end(), {LE32(0), LE32(0), LE32(MAX_ANALOG_CHANNELS + 1)});
             return p;
         }(),
         Status::CountTooLarge},
        {"trailing bytes", {3, 0}, {LE32(0), 0}, Status::SizeMismatch},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const HeapBytes bytes(row.payload);
        sDataDescriptions* list = nullptr;
        const Status s = decodeModelDefinitions(bytes.data(), bytes.size(), row.version, &list);
        EXPECT_EQ(s, row.expected) << statusName(s);
        EXPECT_EQ(list != nullptr, row.expected == Status::Ok);
        freeDescriptions(list);
    }
}

TEST(Robustness, TypeMaskDropsDescriptions)
{
    const std::vector<uint8_t> datagram = encodedDescriptions(Version(4, 1));
    sDataDescriptions* list = nullptr;
    const uint32_t rigidBodiesAndSkeletons = (1u << Descriptor_RigidBody) | (1u << Descriptor_Skeleton);
    ASSERT_EQ(decodeModelDefinitions(datagram.data() + 4, datagram.size() - 4, Version(4, 1), &list,
                                     rigidBodiesAndSkeletons),
              Status::Ok);
    ASSERT_EQ(list->nDataDescriptions, 2);
    EXPECT_EQ(list->arrDataDescriptions[0].type, Descriptor_RigidBody);
    EXPECT_EQ(list->arrDataDescriptions[1].type, Descriptor_Skeleton);
    freeDescriptions(list);
}

TEST(Robustness, SmallMessagesWithShortPayloads)
{
    ServerInfo info;
    info.dataPort = 77;
    EXPECT_EQ(decodeServerInfo(nullptr, 0, info), Status::Truncated);
    std::vector<uint8_t> body(263, 'x');
    EXPECT_EQ(decodeServerInfo(HeapBytes(body).data(), body.size(), info), Status::Truncated);
    EXPECT_EQ(info.dataPort, 77);
    body.resize(270, 0);  // a partial 3.0 tail counts as none
    ASSERT_EQ(decodeServerInfo(HeapBytes(body).data(), body.size(), info), Status::Ok);
    EXPECT_FALSE(info.hasConnectionInfo);
    EXPECT_EQ(info.sender.nameText().size(), 256u) << "a name without zero is bounded by its field";

    // Servers accept connect requests of every length seen in the wild.
    for (const size_t size : {size_t(0), size_t(5), size_t(264), size_t(269), size_t(271), size_t(273)}) {
        std::vector<uint8_t> payload(size, 0);
        ConnectRequest request;
        EXPECT_EQ(decodeConnect(HeapBytes(payload).data(), size, request), Status::Ok) << size;
        EXPECT_EQ(request.hasSender, size >= 264) << size;
        EXPECT_EQ(request.hasOptions, size >= 269) << size;
    }

    uint64_t stamp = 5;
    EXPECT_EQ(decodeEchoRequest(HeapBytes(std::vector<uint8_t>(7)).data(), 7, stamp), Status::Truncated);
    EXPECT_EQ(stamp, 5u);
    EchoResponse echo;
    EXPECT_EQ(decodeEchoResponse(HeapBytes(std::vector<uint8_t>(15)).data(), 15, echo), Status::Truncated);

    std::string_view text = "unchanged";
    const std::vector<uint8_t> unterminated = {'F', 'r', 'a', 'm', 'e'};
    EXPECT_EQ(decodeText(HeapBytes(unterminated).data(), unterminated.size(), text),
              Status::UnterminatedString);
    EXPECT_EQ(text, "unchanged");
    const HeapBytes withBinaryTail(std::vector<uint8_t>{'s', 'v', 'c', 0, 0xFF, 0x01});
    ASSERT_EQ(decodeText(withBinaryTail.data(), withBinaryTail.size(), text), Status::Ok);
    EXPECT_EQ(text, "svc");  // a view into the payload
}

TEST(Robustness, EncoderRefusesWhatItCannotWrite)
{
    NatNetTest::SampleFrame sample;
    std::vector<uint8_t> buffer(70000);
    ByteWriter out(buffer.data(), buffer.size());
    const std::vector<std::function<void(sFrameOfMocapData&)>> broken = {
        [](sFrameOfMocapData& f) { f.nRigidBodies = -1; },
        [](sFrameOfMocapData& f) { f.nLabeledMarkers = MAX_LABELED_MARKERS + 1; },
        [](sFrameOfMocapData& f) { f.MocapData[1].Markers = nullptr; },
        [](sFrameOfMocapData& f) { f.Skeletons[0].nRigidBodies = -2; },
        [](sFrameOfMocapData& f) { f.ForcePlates[0].ChannelData[0].nFrames = MAX_ANALOG_SUBFRAMES + 1; },
    };
    for (size_t i = 0; i < broken.size(); ++i) {
        NatNetTest::SampleFrame copy;
        broken[i](copy.frame());
        EXPECT_EQ(encodeFrame(out, copy.frame(), Version(4, 1)), Status::InvalidRecord) << i;
        EXPECT_EQ(out.size(), 0u);
    }

    // Too small a buffer: the writer is rewound to where the message began.
    ASSERT_EQ(encodeEchoRequest(out, 1), Status::Ok);
    const size_t before = out.size();
    ByteWriter small(buffer.data(), before + 100);
    ASSERT_EQ(encodeEchoRequest(small, 1), Status::Ok);
    EXPECT_EQ(encodeFrame(small, sample.frame(), Version(4, 1)), Status::BufferTooSmall);
    EXPECT_EQ(small.size(), before);
    EXPECT_FALSE(small.failed());

    // More than fits in one datagram.
    auto big = NatNetTest::SampleFrame::rigidBodiesOnly(MAX_RIGIDBODIES);
    big->frame().nLabeledMarkers = MAX_LABELED_MARKERS;  // 38000 + 26000 bytes so far
    std::vector<MarkerData> others(200);                 // and 2400 more
    big->frame().nOtherMarkers = 200;
    big->frame().OtherMarkers = others.data();
    std::vector<uint8_t> large(200000);
    ByteWriter wide(large.data(), large.size());
    EXPECT_EQ(encodeFrame(wide, big->frame(), Version(3, 0)), Status::MessageTooLarge);
    EXPECT_EQ(wide.size(), 0u);
}

}  // namespace
