#pragma once

// The instrument store's index from identifier to position. Not exported.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace Quorvane::Internal {

/// Identifier -> position, open addressing with linear probing in one flat array that is at most
/// half full. A lookup hashes the key once (eight bytes at a time), then compares stored hashes
/// and, on a match, the bytes; it allocates nothing and touches one or two cache lines. Copying
/// the index (as the store does when it publishes) is one vector copy.
///
/// The keys are views: the texts must outlive the index (the store keeps them in its slots).
/// There is no erase; the store rebuilds the index after a removal, which is rare.
class InstrumentIndex
{
public:
    static constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();

    /// Adds a key that is not in the index yet.
    void insert(std::string_view key, std::size_t position);
    /// The key's position, or kNotFound.
    std::size_t find(std::string_view key) const;
    void clear();
    std::size_t size() const { return m_count; }

    static std::uint64_t hashOf(std::string_view key);

private:
    struct Bucket
    {
        std::uint64_t hash = 0;
        const char* data = nullptr;  // null: empty bucket
        std::size_t size = 0;
        std::size_t position = 0;
    };

    void grow();
    void place(const Bucket& bucket);

    std::vector<Bucket> m_buckets;  // a power of two in size, or empty
    std::size_t m_count = 0;
};

}  // namespace Quorvane::Internal
