// NatNet message IDs (first u16 of every datagram).
#pragma once

#include <cstddef>
#include <cstdint>

namespace NatNet::Wire {

enum class MessageId : uint16_t {
    Connect = 0,
    ServerInfo = 1,
    Request = 2,
    Response = 3,
    RequestModelDef = 4,
    ModelDef = 5,
    RequestFrameOfData = 6,
    FrameOfData = 7,
    MessageString = 8,
    Disconnect = 9,
    KeepAlive = 10,
    DisconnectByTimeout = 11,
    EchoRequest = 12,
    EchoResponse = 13,
    Discovery = 14,
    UnrecognizedRequest = 100,
};

// Header bytes in front of every payload: message ID, payload byte count.
inline constexpr size_t kHeaderSize = 4;

// Stable lower-case name ("frameOfData", ...) or nullptr for an unknown ID.
const char* messageIdName(uint16_t id);

}  // namespace NatNet::Wire
