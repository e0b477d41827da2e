// The check every decoder makes of a count read off the wire before it
// allocates or loops.
#pragma once

#include "natnet/codec/ByteReader.h"
#include "natnet/codec/Status.h"

#include <cstddef>
#include <cstdint>

namespace NatNet::Wire::Internal {

// Past the record's capacity is a bad count; past the bytes left, the datagram
// ends before the elements its count announces.
inline Status checkCount(const ByteReader& in, int32_t count, size_t capacity, size_t minElementSize)
{
    if (count < 0) return Status::NegativeCount;
    const size_t n = static_cast<size_t>(count);
    if (n > capacity) return Status::CountTooLarge;
    if (n > in.remaining() / minElementSize) return Status::Truncated;
    return Status::Ok;
}

}  // namespace NatNet::Wire::Internal
