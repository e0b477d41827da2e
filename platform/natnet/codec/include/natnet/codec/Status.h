// Result of every decoder and encoder entry point of the wire codec.
#pragma once

#include <cstdint>

namespace NatNet::Wire {

enum class Status : uint8_t {
    Ok = 0,
    Truncated,               // the datagram ends before the layout (or a count) says it does
    CountTooLarge,           // a count exceeds the record's capacity
    NegativeCount,           // a count field is below zero
    UnterminatedString,      // a text field runs to the end without its zero
    UnknownMessage,          // not a message of the kind asked for
    UnsupportedVersion,      // no layout is known for this bitstream version
    SizeMismatch,            // a size field disagrees with the bytes it covers, or bytes are left over
    MissingEndTag,           // a frame does not end with its zero end tag
    UnknownDescriptionType,  // a description type that cannot be skipped (before 4.1)
    BufferTooSmall,          // encoder: the output buffer cannot hold the message
    MessageTooLarge,         // encoder: the payload exceeds MAX_PACKETSIZE
    InvalidRecord,           // encoder: a count out of range or a missing array in the record
    OutOfMemory,             // a description list could not be allocated
};

// Stable name of a status ("Ok", "Truncated", ...), for logs and tools.
const char* statusName(Status status);

}  // namespace NatNet::Wire
