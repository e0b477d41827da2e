// Datagram framing and the small messages: connect, discovery, server
// information, requests, responses, echo, and the empty control messages.
//
// Decoders take a payload span and fill their output only when they return
// Ok. Encoders append one complete datagram (header and payload) to the
// writer, exactly as a Motive server or an SDK client sends it.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/MessageId.h"
#include "natnet/codec/Status.h"
#include "natnet/codec/Version.h"

#include "NatNetTypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace NatNet::Wire {

// ---- Framing ---------------------------------------------------------------

struct Datagram
{
    uint16_t messageId = 0;
    const uint8_t* payload = nullptr;
    size_t payloadSize = 0;  // nDataBytes; bytes after it in the datagram are ignored
};

// Truncated when the datagram is shorter than 4 bytes or than 4 + nDataBytes.
Status decodeDatagram(const uint8_t* data, size_t size, Datagram& out);

// A datagram of any ID with the given payload bytes.
Status encodeMessage(ByteWriter& out, uint16_t messageId, const void* payload, size_t payloadSize);
// Header only: keep-alive, disconnect, model definition request, ...
Status encodeEmpty(ByteWriter& out, MessageId id);

// ---- Sender block: connect, discovery, server information ------------------

inline constexpr size_t kSenderSize = 264;
inline constexpr size_t kConnectOptionsSize = 5;
inline constexpr size_t kServerInfoSize = 279;

struct SenderBlock
{
    char name[MAX_NAMELENGTH] = {};  // raw field; may hold stale bytes after the zero
    uint8_t version[4] = {};
    uint8_t natNetVersion[4] = {};

    std::string_view nameText() const;    // up to the first zero, bounded by the field
    void setName(std::string_view text);  // zero-fills the field first
};

// NAT_CONNECT and NAT_DISCOVERY payloads. Servers accept any length: the
// sender block is present from 264 bytes, the options from 269.
struct ConnectRequest
{
    bool hasSender = false;
    SenderBlock sender;
    bool hasOptions = false;
    bool subscribedDataOnly = false;
    uint8_t bitstreamVersion[4] = {};  // all zero: the server's own version
};

Status decodeConnect(const uint8_t* payload, size_t size, ConnectRequest& out);
// Writes the sender block and, when hasOptions, the 5 option bytes (264 or
// 269 bytes; a request without sender is sent header-only). id is Connect or Discovery.
Status encodeConnect(ByteWriter& out, const ConnectRequest& request, MessageId id = MessageId::Connect);

// NAT_SERVERINFO payload: 264 bytes before NatNet 3.0, 279 from 3.0.
struct ServerInfo
{
    SenderBlock sender;  // application name and version, bitstream version
    bool hasConnectionInfo = false;
    uint64_t highResClockFrequency = 0;
    uint16_t dataPort = 0;
    bool isMulticast = false;
    uint8_t multicastAddress[4] = {};  // first octet first
};

Status decodeServerInfo(const uint8_t* payload, size_t size, ServerInfo& out);
Status encodeServerInfo(ByteWriter& out, const ServerInfo& info);

// Fills an SDK server description from a reply that came from hostAddress
// (4 bytes, first octet first). The host computer name is not on the wire
// and is left empty.
void fillServerDescription(const ServerInfo& info, const uint8_t hostAddress[4], sServerDescription& out);

// ---- Requests and text -----------------------------------------------------

// NAT_REQUEST and NAT_MESSAGESTRING: text up to its zero; bytes after the
// zero (some clients send binary arguments) are ignored.
Status decodeText(const uint8_t* payload, size_t size, std::string_view& out);
Status encodeRequest(ByteWriter& out, std::string_view command);
Status encodeMessageString(ByteWriter& out, std::string_view text);

// NAT_RESPONSE: a 4-byte number (i32 or f32, the command decides) or text.
struct Response
{
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool asInt32(int32_t& value) const;  // false unless exactly 4 bytes
    bool asFloat(float& value) const;    // false unless exactly 4 bytes
    std::string_view text() const;       // up to the first zero, bounded by size
};

Status decodeResponse(const uint8_t* payload, size_t size, Response& out);
Status encodeResponseInt32(ByteWriter& out, int32_t value);
Status encodeResponseFloat(ByteWriter& out, float value);
Status encodeResponseText(ByteWriter& out, std::string_view text);

// NAT_UNRECOGNIZED_REQUEST: Motive sends a 264-byte sender-shaped body;
// clients accept any body.
Status encodeUnrecognizedRequest(ByteWriter& out, const SenderBlock& body);

// ---- Echo (clock synchronisation) ------------------------------------------

struct EchoResponse
{
    uint64_t requestStamp = 0;  // the request's value, echoed
    uint64_t serverTicks = 0;   // server clock when the request arrived
};

Status decodeEchoRequest(const uint8_t* payload, size_t size, uint64_t& clientStamp);
Status encodeEchoRequest(ByteWriter& out, uint64_t clientStamp);
Status decodeEchoResponse(const uint8_t* payload, size_t size, EchoResponse& out);
Status encodeEchoResponse(ByteWriter& out, const EchoResponse& response);

}  // namespace NatNet::Wire
