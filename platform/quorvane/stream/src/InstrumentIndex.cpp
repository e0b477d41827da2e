#include "InstrumentIndex.h"

#include <cstring>

namespace Quorvane::Internal {

namespace {

constexpr std::size_t kFirstCapacity = 16;

std::uint64_t word(const char* bytes)
{
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

/// Equal bytes; eight at a time, as identifiers are short and a call to memcmp would cost more
/// than the comparison.
bool sameBytes(const char* a, const char* b, std::size_t size)
{
    for (; size >= 8; a += 8, b += 8, size -= 8) {
        if (word(a) != word(b)) return false;
    }
    for (; size > 0; ++a, ++b, --size) {
        if (*a != *b) return false;
    }
    return true;
}

}  // namespace

std::uint64_t InstrumentIndex::hashOf(std::string_view key)
{
    // Eight bytes per multiply, then splitmix64's finaliser so that the low bits, which pick the
    // bucket, depend on every byte.
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t hash = key.size() * kMultiplier;
    const char* bytes = key.data();
    std::size_t left = key.size();
    for (; left >= 8; bytes += 8, left -= 8) hash = (hash ^ word(bytes)) * kMultiplier;
    std::uint64_t tail = 0;
    for (std::size_t i = 0; i < left; ++i) {
        tail |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    }
    hash ^= tail;
    hash ^= hash >> 30;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 27;
    hash *= 0x94D049BB133111EBull;
    hash ^= hash >> 31;
    return hash;
}

void InstrumentIndex::insert(std::string_view key, std::size_t position)
{
    if ((m_count + 1) * 2 > m_buckets.size()) grow();
    place(Bucket{hashOf(key), key.data(), key.size(), position});
    ++m_count;
}

std::size_t InstrumentIndex::find(std::string_view key) const
{
    if (m_buckets.empty()) return kNotFound;
    const std::uint64_t hash = hashOf(key);
    const std::size_t mask = m_buckets.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Bucket& bucket = m_buckets[i];
        if (bucket.data == nullptr) return kNotFound;
        if (bucket.hash == hash && bucket.size == key.size() &&
            sameBytes(bucket.data, key.data(), key.size())) {
            return bucket.position;
        }
    }
}

void InstrumentIndex::clear()
{
    m_buckets.clear();
    m_count = 0;
}

void InstrumentIndex::grow()
{
    std::vector<Bucket> old(m_buckets.empty() ? kFirstCapacity : 2 * m_buckets.size());
    old.swap(m_buckets);
    for (const Bucket& bucket : old) {
        if (bucket.data != nullptr) place(bucket);
    }
}

void InstrumentIndex::place(const Bucket& bucket)
{
    // At most half full, so a free bucket is always found.
    const std::size_t mask = m_buckets.size() - 1;
    std::size_t i = bucket.hash & mask;
    while (m_buckets[i].data != nullptr) i = (i + 1) & mask;
    m_buckets[i] = bucket;
}

}  // namespace Quorvane::Internal
