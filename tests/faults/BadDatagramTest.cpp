// Bad datagrams from the server's own address: truncated, oversized, empty, frames with counts
// at and past the record's capacities, broken section sizes. Each bad one is dropped and counted
// and changes nothing in the stream (no emission, no instrument, no pose); the frames at the
// capacities are delivered whole; the stream goes on afterwards.

#include "FaultTestSupport.h"

#include <natnet/codec/ByteWriter.h>
#include <natnet/codec/FrameCodec.h>
#include <natnet/codec/FrameStorage.h>
#include <natnet/codec/Messages.h>
#include <natnet/codec/Status.h>

#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Quorvane::FaultTesting {
namespace {

using NatNet::Wire::Status;

// A 4.1 frame datagram written field by field, independently of the codec's encoder, so that
// counts and sizes can be set to what no encoder would write.
struct FrameShape
{
    std::int32_t number = 1;
    std::vector<std::string> markerSets;
    int rigidBodies = 1;  // IDs firstBodyId, firstBodyId + 1, ...; body 1's x = number
    std::int32_t firstBodyId = 1;
    int labeledMarkers = 0;
    std::optional<std::int32_t> rigidBodyCountField;  // written instead of the real count
    std::int32_t rigidBodySizeDelta = 0;              // added to the section's size field
    bool endTag = true;
    std::size_t extraPayloadBytes = 0;   // zeros after the end tag, inside the payload size
    std::size_t cutPayloadBytes = 0;     // removed from the end of the payload (size adjusted)
    std::size_t extraDatagramBytes = 0;  // after the payload, outside the payload size
};

std::vector<std::uint8_t> frameBytes(const FrameShape& shape)
{
    std::vector<std::uint8_t> bytes(65536 + 4096);
    NatNet::Wire::ByteWriter w(bytes.data(), bytes.size());
    w.writeU16(7);
    w.writeU16(0);  // payload size, set below
    w.writeI32(shape.number);

    auto section = [&](std::int32_t count, const std::function<void()>& elements,
                       std::int32_t sizeDelta = 0) {
        w.writeI32(count);
        const std::size_t sizeAt = w.size();
        w.writeI32(0);
        elements();
        const auto size = static_cast<std::int32_t>(w.size() - sizeAt - 4) + sizeDelta;
        std::memcpy(bytes.data() + sizeAt, &size, 4);
    };
    section(static_cast<std::int32_t>(shape.markerSets.size()), [&] {
        for (const std::string& name : shape.markerSets) {
            w.writeBytes(name.c_str(), name.size() + 1);
            w.writeI32(0);
        }
    });
    section(0, [] {});  // other markers
    section(
        shape.rigidBodyCountField.value_or(shape.rigidBodies),
        [&] {
            for (int i = 0; i < shape.rigidBodies; ++i) {
                w.writeI32(shape.firstBodyId + i);
                w.writeF32(shape.firstBodyId + i == 1 ? static_cast<float>(shape.number) : 0.5f);
                w.writeF32(1.0f);
                w.writeF32(0.0f);
                for (float q : {0.0f, 0.0f, 0.0f, 1.0f}) w.writeF32(q);
                w.writeF32(0.0005f);
                w.writeI16(1);
            }
        },
        shape.rigidBodySizeDelta);
    section(0, [] {});  // skeletons
    section(0, [] {});  // assets
    section(shape.labeledMarkers, [&] {
        for (int i = 0; i < shape.labeledMarkers; ++i) {
            w.writeI32(i + 1);
            w.writeF32(0.1f);
            w.writeF32(0.2f);
            w.writeF32(0.3f);
            w.writeF32(0.014f);
            w.writeI16(0);
            w.writeF32(0.0002f);
        }
    });
    section(0, [] {});  // force plates
    section(0, [] {});  // devices
    w.writeU32(0);      // timecode, subframe
    w.writeU32(0);
    w.writeF64(shape.number / 1000.0);
    w.writeU64(1000);  // mid-exposure, data received, transmit
    w.writeU64(2000);
    w.writeU64(3000);
    w.writeU32(0);  // precision timestamp
    w.writeU32(0);
    w.writeI16(0);  // params
    if (shape.endTag) w.writeI32(0);
    for (std::size_t i = 0; i < shape.extraPayloadBytes; ++i) w.writeU8(0);
    EXPECT_FALSE(w.failed());
    std::size_t size = w.size() - shape.cutPayloadBytes;
    const auto payload = static_cast<std::uint16_t>(size - 4);
    std::memcpy(bytes.data() + 2, &payload, 2);
    size += shape.extraDatagramBytes;  // stale bytes beyond the payload
    bytes.resize(size);
    return bytes;
}

std::vector<std::string> names(int count)
{
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) result.push_back("set" + std::to_string(i));
    return result;
}

TEST(FrameBytes, TheHandWrittenLayoutIsTheCodecs)
{
    FrameShape shape;
    shape.number = 42;
    shape.markerSets = {"Wand", "all"};
    shape.rigidBodies = 3;
    shape.labeledMarkers = 2;
    const std::vector<std::uint8_t> bytes = frameBytes(shape);
    NatNet::Wire::Datagram datagram;
    ASSERT_EQ(NatNet::Wire::decodeDatagram(bytes.data(), bytes.size(), datagram), Status::Ok);
    NatNet::Wire::FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    ASSERT_EQ(NatNet::Wire::decodeFrame(datagram.payload, datagram.payloadSize, NatNet::Wire::Version(4, 1),
                                        storage, *frame),
              Status::Ok);
    EXPECT_EQ(frame->iFrame, 42);
    EXPECT_EQ(frame->nMarkerSets, 2);
    EXPECT_STREQ(frame->MocapData[0].szName, "Wand");
    ASSERT_EQ(frame->nRigidBodies, 3);
    EXPECT_EQ(frame->RigidBodies[0].x, 42.0f);
    EXPECT_EQ(frame->RigidBodies[2].ID, 3);
    EXPECT_EQ(frame->nLabeledMarkers, 2);
    EXPECT_EQ(frame->TransmitTimestamp, 3000u);
}

enum class Outcome { Malformed, BadFrame, Delivered };

struct Row
{
    const char* name;
    std::function<std::vector<std::uint8_t>()> bytes;
    Outcome outcome;
    Status status = Status::Ok;        // for BadFrame
    std::size_t instrumentsAfter = 0;  // for Delivered: the store's size afterwards
};

FrameShape withBodies(int count, std::int32_t number = 777)
{
    FrameShape shape;
    shape.number = number;
    shape.rigidBodies = count;
    return shape;
}

using BadDatagramsFromTheServer = DrivenStreamTest;

TEST_F(BadDatagramsFromTheServer, AreCountedAndDroppedWholeAndTheStreamGoesOn)
{
    ASSERT_TRUE(m_sim->waitFor([](const auto& c) { return c.clientsConnected == 1; }, 2s));

    // Baseline: body 1 known at x = 1.
    {
        const std::vector<std::uint8_t> first = frameBytes(withBodies(1, 1));
        m_sim->sendRawDatagram(first.data(), first.size());
        ASSERT_TRUE(eventually([&] { return m_delivered.has(1); }));
    }

    const auto bytesOf = [](const FrameShape& shape) { return [shape] { return frameBytes(shape); }; };
    const auto edit = [](const std::function<void(FrameShape&)>& change) {
        FrameShape shape = withBodies(3);
        shape.firstBodyId = 1;
        change(shape);
        return shape;
    };
    const std::vector<Row> rows = {
        {"empty datagram", [] { return std::vector<std::uint8_t>(); }, Outcome::Malformed},
        {"three bytes",
         [] {
             return std::vector<std::uint8_t>{7, 0, 0};
         },
         Outcome::Malformed},
        {"payload size past the datagram",
         [&] {
             std::vector<std::uint8_t> b = frameBytes(withBodies(3));
             b.resize(b.size() - 10);
             return b;
         },
         Outcome::Malformed},
        {"header only",
         [] {
             return std::vector<std::uint8_t>{7, 0, 0, 0};
         },
         Outcome::BadFrame, Status::Truncated},
        {"frame cut short", bytesOf(edit([](FrameShape& s) { s.cutPayloadBytes = 7; })), Outcome::BadFrame,
         Status::Truncated},
        {"bytes after the end tag", bytesOf(edit([](FrameShape& s) { s.extraPayloadBytes = 8; })),
         Outcome::BadFrame, Status::SizeMismatch},
        {"no end tag", bytesOf(edit([](FrameShape& s) { s.endTag = false; })), Outcome::BadFrame,
         Status::Truncated},
        {"section size too small", bytesOf(edit([](FrameShape& s) { s.rigidBodySizeDelta = -4; })),
         Outcome::BadFrame, Status::SizeMismatch},
        {"negative rigid-body count", bytesOf(edit([](FrameShape& s) { s.rigidBodyCountField = -1; })),
         Outcome::BadFrame, Status::NegativeCount},
        {"huge rigid-body count", bytesOf(edit([](FrameShape& s) { s.rigidBodyCountField = 0x7FFFFFFF; })),
         Outcome::BadFrame, Status::CountTooLarge},
        {"rigid bodies past capacity", bytesOf(edit([](FrameShape& s) {
             s.rigidBodies = MAX_RIGIDBODIES + 1;
             s.firstBodyId = 2000;
         })),
         Outcome::BadFrame, Status::CountTooLarge},
        {"marker sets past capacity",
         bytesOf(edit([](FrameShape& s) { s.markerSets = names(MAX_MARKERSETS + 1); })), Outcome::BadFrame,
         Status::CountTooLarge},
        {"labeled markers past capacity",
         bytesOf(edit([](FrameShape& s) { s.labeledMarkers = MAX_LABELED_MARKERS + 1; })), Outcome::BadFrame,
         Status::CountTooLarge},
        {"largest datagram of garbage",
         [] {
             std::vector<std::uint8_t> b(65507, 0x25);  // every count reads 0x25252525
             b[0] = 7;
             b[1] = 0;
             const std::uint16_t payload = 65503;
             std::memcpy(b.data() + 2, &payload, 2);
             return b;
         },
         Outcome::BadFrame, Status::Truncated},  // the first section's size runs past the end
        // Whole and good, with stale bytes after the payload that the header leaves out.
        {"bytes after the payload", bytesOf(edit([](FrameShape& s) {
             s.number = 900;
             s.extraDatagramBytes = 64;
         })),
         Outcome::Delivered, Status::Ok, 3},
        {"marker sets at capacity", bytesOf(edit([](FrameShape& s) {
             s.number = 901;
             s.markerSets = names(MAX_MARKERSETS);
         })),
         Outcome::Delivered, Status::Ok, 3},
        {"labeled markers at capacity", bytesOf(edit([](FrameShape& s) {
             s.number = 902;
             s.labeledMarkers = MAX_LABELED_MARKERS;
         })),
         Outcome::Delivered, Status::Ok, 3},
        {"rigid bodies at capacity", bytesOf(edit([](FrameShape& s) {
             s.number = 903;
             s.rigidBodies = MAX_RIGIDBODIES;
         })),
         Outcome::Delivered, Status::Ok, static_cast<std::size_t>(MAX_RIGIDBODIES)},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const NatNetExt::ClientCounters before = m_driven.counters();
        const std::uint64_t emissions = m_delivered.emissions();
        const std::size_t instruments = m_driven.stream.numInstruments();
        const auto body1 = m_driven.stream.findInstrument("optitrack-1");
        ASSERT_TRUE(body1);

        const std::vector<std::uint8_t> bytes = row.bytes();
        ASSERT_EQ(m_sim->sendRawDatagram(bytes.data(), bytes.size()), 1);

        if (row.outcome == Outcome::Delivered) {
            ASSERT_TRUE(eventually([&] { return m_delivered.emissions() == emissions + 1; }));
            EXPECT_EQ(m_driven.stream.numInstruments(), row.instrumentsAfter);
            EXPECT_EQ(m_driven.counters().framesDecoded, before.framesDecoded + 1);
            continue;
        }
        const bool malformed = row.outcome == Outcome::Malformed;
        ASSERT_TRUE(eventually([&] {
            const NatNetExt::ClientCounters now = m_driven.counters();
            return malformed ? now.droppedMalformed == before.droppedMalformed + 1
                             : now.droppedBadFrame == before.droppedBadFrame + 1;
        }));
        const NatNetExt::ClientCounters after = m_driven.counters();
        if (!malformed) {
            EXPECT_STREQ(NatNet::Wire::statusName(static_cast<Status>(after.lastBadFrameStatus)),
                         NatNet::Wire::statusName(row.status));
        }
        EXPECT_EQ(after.framesDecoded, before.framesDecoded);
        // Nothing of it was applied.
        EXPECT_EQ(m_delivered.emissions(), emissions);
        EXPECT_EQ(m_driven.stream.numInstruments(), instruments);
        const auto body1After = m_driven.stream.findInstrument("optitrack-1");
        ASSERT_TRUE(body1After);
        EXPECT_EQ(body1After->updateCount, body1->updateCount);
        EXPECT_EQ(body1After->pose, body1->pose);
    }

    // Still streaming.
    const std::vector<std::uint8_t> last = frameBytes(withBodies(2, 5000));
    m_sim->sendRawDatagram(last.data(), last.size());
    EXPECT_TRUE(eventually([&] { return m_delivered.has(5000); }));
    EXPECT_EQ(m_driven.counters().droppedForeignSender, 0u);
}

}  // namespace
}  // namespace Quorvane::FaultTesting
