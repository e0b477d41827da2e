#include "natnet/capture/FragmentReassembler.h"

#include <algorithm>
#include <cstring>

namespace NatNet::Pcap {

FragmentReassembler::FragmentReassembler(const FragmentLimits& limits) : m_limits(limits)
{
    // Keep the limits able to hold one datagram of the largest size, so a fragment never waits on itself.
    m_limits.maxDatagrams = std::max<size_t>(m_limits.maxDatagrams, 1);
    m_limits.maxDatagramBytes = std::min(m_limits.maxDatagramBytes, kMaxBlocks * kBlock);
    m_limits.maxTotalBytes = std::max(m_limits.maxTotalBytes, m_limits.maxDatagramBytes + sizeof(Pending));
}

bool FragmentReassembler::add(const Fragment& fragment, std::vector<uint8_t>& whole)
{
    ++m_counters.fragments;
    const size_t end = fragment.offset + fragment.size;
    // Every fragment but the last carries whole 8-byte blocks (offsets count in those units).
    if (end > m_limits.maxDatagramBytes || fragment.offset % kBlock != 0 ||
        (fragment.moreFragments && (fragment.size == 0 || fragment.size % kBlock != 0))) {
        ++m_counters.malformed;
        return false;
    }
    expire(fragment.time);

    auto it = m_pending.find(fragment.key);
    if (it == m_pending.end()) {
        while (m_pending.size() >= m_limits.maxDatagrams && evictOldest(nullptr)) {
        }
        makeRoom(sizeof(Pending), nullptr);
        it = m_pending.emplace(fragment.key, Pending{}).first;
        it->second.firstTime = fragment.time;
        it->second.age = m_oldestFirst.insert(m_oldestFirst.end(), fragment.key);
        m_heldBytes += sizeof(Pending);
    }
    Pending& pending = it->second;

    // The final fragment fixes the length; nothing may reach past it, and it may not move.
    const bool endsDisagree = fragment.moreFragments ? pending.totalKnown && end > pending.totalSize
                                                     : (pending.totalKnown && end != pending.totalSize) ||
                                                           pending.bytes.size() > end;
    if (endsDisagree) {
        ++m_counters.conflicting;
        drop(it);
        return false;
    }
    reserve(fragment.key, pending, end);
    const Merge merged = merge(pending, fragment);
    if (merged == Merge::Conflict) {
        ++m_counters.conflicting;
        drop(it);
        return false;
    }
    if (merged == Merge::Duplicate && (fragment.moreFragments || pending.totalKnown)) {
        ++m_counters.duplicates;
    }
    if (!fragment.moreFragments) {
        pending.totalKnown = true;
        pending.totalSize = end;
    }
    m_counters.peakDatagrams = std::max(m_counters.peakDatagrams, m_pending.size());
    m_counters.peakBytes = std::max(m_counters.peakBytes, m_heldBytes);

    const size_t blocks = (pending.totalSize + kBlock - 1) / kBlock;
    if (!pending.totalKnown || pending.filledBlocks != blocks) {
        return false;
    }
    m_heldBytes -= pending.bytes.capacity();
    whole = std::move(pending.bytes);
    whole.resize(pending.totalSize);
    drop(it);
    ++m_counters.reassembled;
    return true;
}

void FragmentReassembler::expire(double now)
{
    while (!m_oldestFirst.empty()) {
        const auto it = m_pending.find(m_oldestFirst.front());
        // A capture's clock may step back (merged files); such a datagram is not aged by it.
        if (now - it->second.firstTime <= m_limits.maxAgeSeconds) {
            return;
        }
        drop(it);
        ++m_counters.expired;
    }
}

void FragmentReassembler::makeRoom(size_t bytes, const FragmentKey* keep)
{
    while (m_heldBytes + bytes > m_limits.maxTotalBytes && evictOldest(keep)) {
    }
}

bool FragmentReassembler::evictOldest(const FragmentKey* keep)
{
    const auto victim =
        std::find_if(m_oldestFirst.begin(), m_oldestFirst.end(),
                     [keep](const FragmentKey& key) { return keep == nullptr || !(key == *keep); });
    if (victim == m_oldestFirst.end()) return false;
    const FragmentKey key = *victim;  // drop() erases it from the list
    drop(m_pending.find(key));
    ++m_counters.evicted;
    return true;
}

void FragmentReassembler::reserve(const FragmentKey& key, Pending& pending, size_t end)
{
    const size_t capacity = pending.bytes.capacity();
    if (end <= capacity) {
        return;
    }
    // Grow geometrically (linear copying overall), never past the largest datagram.
    const size_t wanted = std::min(m_limits.maxDatagramBytes, std::max(end, 2 * capacity));
    makeRoom(wanted - capacity, &key);
    pending.bytes.reserve(wanted);
    m_heldBytes += pending.bytes.capacity() - capacity;
}

FragmentReassembler::Merge FragmentReassembler::merge(Pending& pending, const Fragment& fragment)
{
    const size_t end = fragment.offset + fragment.size;
    if (pending.bytes.size() < end) {
        pending.bytes.resize(end);
    }
    bool added = false;
    for (size_t block = fragment.offset / kBlock; block * kBlock < end; ++block) {
        const size_t from = std::max(block * kBlock, fragment.offset);
        const size_t to = std::min(block * kBlock + kBlock, end);
        const uint8_t* source = fragment.data + (from - fragment.offset);
        m_counters.bytesExamined += to - from;
        if (pending.filled.test(block)) {
            // Held bytes are what a receiver may already have used: a different retransmission is a conflict.
            if (std::memcmp(pending.bytes.data() + from, source, to - from) != 0) {
                return Merge::Conflict;
            }
            continue;
        }
        std::memcpy(pending.bytes.data() + from, source, to - from);
        pending.filled.set(block);
        ++pending.filledBlocks;
        added = true;
    }
    return added ? Merge::Added : Merge::Duplicate;
}

void FragmentReassembler::drop(std::map<FragmentKey, Pending>::iterator it)
{
    m_heldBytes -= sizeof(Pending) + it->second.bytes.capacity();
    m_oldestFirst.erase(it->second.age);
    m_pending.erase(it);
}

}  // namespace NatNet::Pcap
