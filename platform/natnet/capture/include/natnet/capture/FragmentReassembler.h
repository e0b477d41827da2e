// Reassembly of IPv4 fragments read from a capture, in linear time and bounded memory.
//
// Each datagram in reassembly keeps its bytes and a map of which 8-byte blocks
// (the unit of fragment offsets) it holds, so a fragment costs work in
// proportion to its own size and completion is a counter test. What is kept is
// capped: datagrams at once (the oldest goes first), bytes per datagram (the IP
// maximum), bytes in total, and age in capture time. Everything dropped is counted.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <tuple>
#include <vector>

namespace NatNet::Pcap {

struct FragmentKey
{
    uint32_t source = 0;
    uint32_t destination = 0;
    uint16_t id = 0;
    uint8_t protocol = 0;

    bool operator==(const FragmentKey& other) const
    {
        return source == other.source && destination == other.destination && id == other.id &&
               protocol == other.protocol;
    }
    bool operator<(const FragmentKey& other) const
    {
        return std::tie(source, destination, id, protocol) <
               std::tie(other.source, other.destination, other.id, other.protocol);
    }
};

struct Fragment
{
    FragmentKey key;
    size_t offset = 0;  // in bytes, in the IP payload
    bool moreFragments = false;
    const uint8_t* data = nullptr;
    size_t size = 0;
    double time = 0.0;  // capture time in seconds
};

struct FragmentLimits
{
    size_t maxDatagrams = 64;         // in reassembly at once
    size_t maxDatagramBytes = 65515;  // IP payload of the largest IPv4 datagram (65535 - 20)
    size_t maxTotalBytes = 2u << 20;  // held by all datagrams in reassembly together
    double maxAgeSeconds = 30.0;      // from the first fragment, as receivers time out reassembly
};

struct FragmentCounters
{
    uint64_t fragments = 0;    // fragments offered
    uint64_t reassembled = 0;  // datagrams completed
    uint64_t duplicates = 0;   // fragments that brought no new byte (and agreed with what was held)
    uint64_t evicted = 0;      // unfinished datagrams dropped to stay within the caps
    uint64_t expired = 0;      // unfinished datagrams dropped for age
    uint64_t conflicting = 0;  // datagrams dropped: overlapping bytes or end positions disagree
    uint64_t malformed = 0;  // fragments dropped: past the IP maximum, or a non-final one not in 8-byte units
    uint64_t bytesExamined = 0;  // fragment bytes copied or compared: the work done
    size_t peakDatagrams = 0;
    size_t peakBytes = 0;
};

class FragmentReassembler
{
public:
    explicit FragmentReassembler(const FragmentLimits& limits = {});

    // Takes one fragment. True when it completes its datagram, with the whole
    // IP payload in `whole`.
    bool add(const Fragment& fragment, std::vector<uint8_t>& whole);

    const FragmentCounters& counters() const { return m_counters; }
    size_t pendingDatagrams() const { return m_pending.size(); }
    size_t pendingBytes() const { return m_heldBytes; }

private:
    static constexpr size_t kBlock = 8;
    static constexpr size_t kMaxBlocks = 8192;  // the 13-bit fragment offset

    struct Pending
    {
        std::vector<uint8_t> bytes;  // size: the furthest end seen; capacity is what is held
        std::bitset<kMaxBlocks> filled;
        size_t filledBlocks = 0;
        size_t totalSize = 0;  // known once the final fragment arrived
        bool totalKnown = false;
        double firstTime = 0.0;
        std::list<FragmentKey>::iterator age;
    };
    enum class Merge { Added, Duplicate, Conflict };

    void expire(double now);
    void makeRoom(size_t bytes, const FragmentKey* keep);
    bool evictOldest(const FragmentKey* keep);
    void reserve(const FragmentKey& key, Pending& pending, size_t end);
    Merge merge(Pending& pending, const Fragment& fragment);
    void drop(std::map<FragmentKey, Pending>::iterator it);

    FragmentLimits m_limits;
    std::map<FragmentKey, Pending> m_pending;
    std::list<FragmentKey> m_oldestFirst;
    size_t m_heldBytes = 0;
    FragmentCounters m_counters;
};

}  // namespace NatNet::Pcap
