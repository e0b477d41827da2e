// IPv4 fragment reassembly: order, duplicates, overlaps, inconsistent ends,
// and the caps on what an endless stream of unfinished datagrams may hold.
#include "natnet/capture/FragmentReassembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using NatNet::Pcap::Fragment;
using NatNet::Pcap::FragmentCounters;
using NatNet::Pcap::FragmentKey;
using NatNet::Pcap::FragmentLimits;
using NatNet::Pcap::FragmentReassembler;

namespace {

std::vector<uint8_t> pattern(size_t size, uint8_t seed = 1)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    }
    return bytes;
}

Fragment slice(const std::vector<uint8_t>& bytes, size_t begin, size_t end, bool more,
               FragmentKey key = {1, 2, 3, 17}, double time = 0.0)
{
    Fragment fragment;
    fragment.key = key;
    fragment.offset = begin;
    fragment.moreFragments = more;
    fragment.data = bytes.data() + begin;
    fragment.size = end - begin;
    fragment.time = time;
    return fragment;
}

struct Piece
{
    size_t begin;
    size_t end;
    bool more;
    bool altered = false;  // carries different bytes than the datagram
};

struct ReassemblyCase
{
    std::string name;
    size_t datagramSize;
    std::vector<Piece> pieces;
    int completesAt;  // index of the piece that completes the datagram, -1: never
    uint64_t duplicates;
    uint64_t conflicting;
    uint64_t malformed;
};

TEST(FragmentReassembler, OrdersDuplicatesOverlapsAndInconsistentEnds)
{
    const std::vector<ReassemblyCase> cases = {
        {"in order", 40, {{0, 16, true}, {16, 32, true}, {32, 40, false}}, 2, 0, 0, 0},
        {"last first, then backwards", 37, {{32, 37, false}, {16, 32, true}, {0, 16, true}}, 2, 0, 0, 0},
        {"duplicate fragment", 40, {{0, 16, true}, {0, 16, true}, {16, 40, false}}, 2, 1, 0, 0},
        {"duplicate final fragment", 40, {{16, 40, false}, {16, 40, false}, {0, 16, true}}, 2, 1, 0, 0},
        {"overlap with the same bytes", 40, {{0, 24, true}, {16, 40, false}}, 1, 0, 0, 0},
        {"overlap with other bytes", 40, {{0, 24, true}, {16, 40, false, true}, {0, 16, true}}, -1, 0, 1, 0},
        {"final fragments disagree on the length",
         40,
         {{0, 8, true}, {16, 40, false}, {16, 32, false}},
         -1,
         0,
         1,
         0},
        {"a fragment past the final one", 48, {{16, 40, false}, {32, 48, true}}, -1, 0, 1, 0},
        {"a final fragment before held bytes end", 40, {{0, 32, true}, {8, 16, false}}, -1, 0, 1, 0},
        {"a non-final fragment not in 8-byte units", 40, {{0, 10, true}, {0, 16, true}}, -1, 0, 0, 1},
        {"an empty non-final fragment", 40, {{8, 8, true}}, -1, 0, 0, 1},
        {"past the largest IPv4 datagram", 65536, {{65512, 65536, false}}, -1, 0, 0, 1},
    };
    for (const ReassemblyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = pattern(c.datagramSize);
        const std::vector<uint8_t> other = pattern(c.datagramSize, 99);
        FragmentReassembler reassembler;
        std::vector<uint8_t> whole;
        int completedAt = -1;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            const Piece& p = c.pieces[i];
            if (reassembler.add(slice(p.altered ? other : bytes, p.begin, p.end, p.more), whole)) {
                EXPECT_EQ(completedAt, -1) << "completed twice";
                completedAt = static_cast<int>(i);
            }
        }
        EXPECT_EQ(completedAt, c.completesAt);
        if (c.completesAt >= 0) {
            EXPECT_EQ(whole, bytes);
            EXPECT_EQ(reassembler.pendingDatagrams(), 0u);
            EXPECT_EQ(reassembler.pendingBytes(), 0u);
        }
        const FragmentCounters& counters = reassembler.counters();
        EXPECT_EQ(counters.fragments, c.pieces.size());
        EXPECT_EQ(counters.reassembled, c.completesAt >= 0 ? 1u : 0u);
        EXPECT_EQ(counters.duplicates, c.duplicates);
        EXPECT_EQ(counters.conflicting, c.conflicting);
        EXPECT_EQ(counters.malformed, c.malformed);
    }
}

TEST(FragmentReassembler, DatagramsAreKeptApartBySourceDestinationIdAndProtocol)
{
    const std::vector<uint8_t> a = pattern(24, 1);
    const std::vector<uint8_t> b = pattern(24, 2);
    const std::vector<FragmentKey> keys = {
        {1, 2, 3, 17}, {9, 2, 3, 17}, {1, 9, 3, 17}, {1, 2, 9, 17}, {1, 2, 3, 6}};
    FragmentReassembler reassembler;
    std::vector<uint8_t> whole;
    EXPECT_FALSE(reassembler.add(slice(a, 0, 16, true, keys[0]), whole));
    for (size_t i = 1; i < keys.size(); ++i) {
        EXPECT_FALSE(reassembler.add(slice(b, 16, 24, false, keys[i]), whole)) << i;
    }
    EXPECT_EQ(reassembler.pendingDatagrams(), keys.size());
    ASSERT_TRUE(reassembler.add(slice(a, 16, 24, false, keys[0]), whole));
    EXPECT_EQ(whole, a);
    EXPECT_EQ(reassembler.counters().conflicting, 0u);
}

// Many datagrams that never complete: the work is one pass over their bytes,
// and what is held stays within the caps however long the stream runs.
TEST(FragmentReassembler, EndlessUnfinishedDatagramsCostLinearWorkAndBoundedMemory)
{
    const std::vector<uint8_t> bytes = pattern(1480);
    FragmentLimits limits;
    limits.maxDatagrams = 16;
    limits.maxTotalBytes = 1u << 20;
    FragmentReassembler reassembler(limits);
    std::vector<uint8_t> whole;
    constexpr uint32_t kDatagrams = 20000;
    for (uint32_t i = 0; i < kDatagrams; ++i) {
        const FragmentKey key{0x7F000002u + (i >> 16), 0x7F000001u, static_cast<uint16_t>(i), 17};
        ASSERT_FALSE(reassembler.add(slice(bytes, 0, bytes.size(), true, key), whole));
        ASSERT_LE(reassembler.pendingDatagrams(), limits.maxDatagrams);
        ASSERT_LE(reassembler.pendingBytes(), limits.maxTotalBytes);
    }
    const FragmentCounters& counters = reassembler.counters();
    EXPECT_EQ(counters.bytesExamined, uint64_t{kDatagrams} * bytes.size());
    EXPECT_EQ(counters.evicted, kDatagrams - limits.maxDatagrams);
    EXPECT_EQ(counters.peakDatagrams, limits.maxDatagrams);
    EXPECT_LE(counters.peakBytes, limits.maxTotalBytes);
}

// One datagram whose first bytes never come, sent in thousands of small
// fragments and as many duplicates: each fragment is looked at once, and
// duplicates hold nothing more.
TEST(FragmentReassembler, ManySmallFragmentsOfOneDatagramCostLinearWork)
{
    const std::vector<uint8_t> bytes = pattern(64000);
    FragmentReassembler reassembler;
    std::vector<uint8_t> whole;
    ASSERT_FALSE(reassembler.add(slice(bytes, 63992, 64000, false), whole));
    for (size_t at = 8; at < 63992; at += 8) {
        ASSERT_FALSE(reassembler.add(slice(bytes, at, at + 8, true), whole));
    }
    const size_t held = reassembler.pendingBytes();
    for (int round = 0; round < 4; ++round) {
        for (size_t at = 8; at < 63992; at += 8) {
            ASSERT_FALSE(reassembler.add(slice(bytes, at, at + 8, true), whole));
        }
    }
    EXPECT_EQ(reassembler.pendingBytes(), held) << "duplicates hold nothing";
    EXPECT_EQ(reassembler.counters().duplicates, 4u * (63992 / 8 - 1));
    EXPECT_EQ(reassembler.counters().bytesExamined, 5u * (63992 - 8) + 8);
    ASSERT_TRUE(reassembler.add(slice(bytes, 0, 8, true), whole));
    EXPECT_EQ(whole, bytes);
}

TEST(FragmentReassembler, TotalBytesCapEvictsTheOldestDatagram)
{
    const std::vector<uint8_t> bytes = pattern(60000);
    FragmentLimits limits;
    limits.maxTotalBytes = 200000;  // room for three such datagrams, not four
    FragmentReassembler reassembler(limits);
    std::vector<uint8_t> whole;
    for (uint16_t id = 0; id < 4; ++id) {
        ASSERT_FALSE(reassembler.add(slice(bytes, 0, 59992, true, {1, 2, id, 17}), whole));
        EXPECT_LE(reassembler.pendingBytes(), limits.maxTotalBytes);
    }
    EXPECT_EQ(reassembler.counters().evicted, 1u);
    EXPECT_EQ(reassembler.pendingDatagrams(), 3u);
    // The oldest (id 0) went; the newest still completes.
    EXPECT_FALSE(reassembler.add(slice(bytes, 59992, 60000, false, {1, 2, 0, 17}), whole));
    EXPECT_TRUE(reassembler.add(slice(bytes, 59992, 60000, false, {1, 2, 3, 17}), whole));
    EXPECT_EQ(whole, bytes);
}

TEST(FragmentReassembler, UnfinishedDatagramsExpireByCaptureTime)
{
    const std::vector<uint8_t> bytes = pattern(24);
    FragmentLimits limits;
    limits.maxAgeSeconds = 30.0;
    FragmentReassembler reassembler(limits);
    std::vector<uint8_t> whole;
    ASSERT_FALSE(reassembler.add(slice(bytes, 0, 16, true, {1, 2, 1, 17}, 100.0), whole));
    ASSERT_FALSE(
        reassembler.add(slice(bytes, 0, 16, true, {1, 2, 2, 17}, 95.0), whole));  // clock stepped back
    EXPECT_EQ(reassembler.counters().expired, 0u);
    ASSERT_FALSE(reassembler.add(slice(bytes, 0, 16, true, {1, 2, 3, 17}, 129.0), whole));
    EXPECT_EQ(reassembler.counters().expired, 0u);
    // Datagram 1 is now too old: its last fragment starts it again instead of completing it.
    EXPECT_FALSE(reassembler.add(slice(bytes, 16, 24, false, {1, 2, 1, 17}, 130.5), whole));
    EXPECT_EQ(reassembler.counters().expired, 2u);  // 1 and 2 (first seen at 95 s)
    EXPECT_TRUE(reassembler.add(slice(bytes, 16, 24, false, {1, 2, 3, 17}, 131.0), whole));
    EXPECT_EQ(whole, bytes);
}

}  // namespace
