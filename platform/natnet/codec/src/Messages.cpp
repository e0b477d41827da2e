#include "natnet/codec/Messages.h"

#include "MessageFraming.h"
#include "natnet/codec/ByteReader.h"

#include <cstring>

namespace NatNet::Wire {

using Internal::MessageFrame;

namespace {

void readSender(ByteReader& in, SenderBlock& out)
{
    in.readBytes(out.name, sizeof out.name);
    in.readBytes(out.version, 4);
    in.readBytes(out.natNetVersion, 4);
}

void writeSender(ByteWriter& out, const SenderBlock& sender)
{
    out.writeBytes(sender.name, sizeof sender.name);
    out.writeBytes(sender.version, 4);
    out.writeBytes(sender.natNetVersion, 4);
}

Status encodeTextMessage(ByteWriter& out, MessageId id, std::string_view text)
{
    MessageFrame frame(out, static_cast<uint16_t>(id));
    out.writeCString(text);
    return frame.finish();
}

}  // namespace

// ---- Framing ---------------------------------------------------------------

Status decodeDatagram(const uint8_t* data, size_t size, Datagram& out)
{
    ByteReader in(data, size);
    uint16_t id = 0;
    uint16_t payloadSize = 0;
    if (!in.readU16(id) || !in.readU16(payloadSize) || in.remaining() < payloadSize) return Status::Truncated;
    out.messageId = id;
    out.payload = in.current();
    out.payloadSize = payloadSize;
    return Status::Ok;
}

Status encodeMessage(ByteWriter& out, uint16_t messageId, const void* payload, size_t payloadSize)
{
    MessageFrame frame(out, messageId);
    out.writeBytes(payload, payloadSize);
    return frame.finish();
}

Status encodeEmpty(ByteWriter& out, MessageId id)
{
    return MessageFrame(out, static_cast<uint16_t>(id)).finish();
}

// ---- Sender block ----------------------------------------------------------

std::string_view SenderBlock::nameText() const
{
    return boundedText(name, sizeof name);
}

void SenderBlock::setName(std::string_view text)
{
    std::memset(name, 0, sizeof name);
    ByteReader::copyBounded(text, name, sizeof name);
}

Status decodeConnect(const uint8_t* payload, size_t size, ConnectRequest& out)
{
    // Clients send 0, 5, 264, 269, 271 or 273 bytes; none of them is refused.
    ConnectRequest result;
    ByteReader in(payload, size);
    if (in.remaining() >= kSenderSize) {
        result.hasSender = true;
        readSender(in, result.sender);
        if (in.remaining() >= kConnectOptionsSize) {
            result.hasOptions = true;
            in.readBool(result.subscribedDataOnly);
            in.readBytes(result.bitstreamVersion, 4);
        }
    }
    out = result;
    return Status::Ok;
}

Status encodeConnect(ByteWriter& out, const ConnectRequest& request, MessageId id)
{
    MessageFrame frame(out, static_cast<uint16_t>(id));
    if (request.hasSender) {
        writeSender(out, request.sender);
        if (request.hasOptions) {
            out.writeBool(request.subscribedDataOnly);
            out.writeBytes(request.bitstreamVersion, 4);
        }
    }
    return frame.finish();
}

Status decodeServerInfo(const uint8_t* payload, size_t size, ServerInfo& out)
{
    ByteReader in(payload, size);
    if (in.remaining() < kSenderSize) return Status::Truncated;
    ServerInfo result;
    readSender(in, result.sender);
    // The connection tail exists from NatNet 3.0; older servers stop here.
    if (in.remaining() >= kServerInfoSize - kSenderSize) {
        result.hasConnectionInfo = true;
        in.readU64(result.highResClockFrequency);
        in.readU16(result.dataPort);
        in.readBool(result.isMulticast);
        in.readBytes(result.multicastAddress, 4);
    }
    out = result;
    return Status::Ok;
}

Status encodeServerInfo(ByteWriter& out, const ServerInfo& info)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::ServerInfo));
    writeSender(out, info.sender);
    if (info.hasConnectionInfo) {
        out.writeU64(info.highResClockFrequency);
        out.writeU16(info.dataPort);
        out.writeBool(info.isMulticast);
        out.writeBytes(info.multicastAddress, 4);
    }
    return frame.finish();
}

void fillServerDescription(const ServerInfo& info, const uint8_t hostAddress[4], sServerDescription& out)
{
    std::memset(&out, 0, sizeof out);
    out.HostPresent = true;
    if (hostAddress) std::memcpy(out.HostComputerAddress, hostAddress, 4);
    ByteReader::copyBounded(info.sender.nameText(), out.szHostApp, sizeof out.szHostApp);
    std::memcpy(out.HostAppVersion, info.sender.version, 4);
    std::memcpy(out.NatNetVersion, info.sender.natNetVersion, 4);
    if (info.hasConnectionInfo) {
        out.HighResClockFrequency = info.highResClockFrequency;
        out.bConnectionInfoValid = true;
        out.ConnectionDataPort = info.dataPort;
        out.ConnectionMulticast = info.isMulticast;
        std::memcpy(out.ConnectionMulticastAddress, info.multicastAddress, 4);
    }
}

// ---- Requests and text -----------------------------------------------------

Status decodeText(const uint8_t* payload, size_t size, std::string_view& out)
{
    ByteReader in(payload, size);
    std::string_view text;
    const Status status = in.readCString(text);
    if (status == Status::Ok) out = text;
    return status;
}

Status encodeRequest(ByteWriter& out, std::string_view command)
{
    return encodeTextMessage(out, MessageId::Request, command);
}

Status encodeMessageString(ByteWriter& out, std::string_view text)
{
    return encodeTextMessage(out, MessageId::MessageString, text);
}

bool Response::asInt32(int32_t& value) const
{
    ByteReader in(data, size);
    return size == 4 && in.readI32(value);
}

bool Response::asFloat(float& value) const
{
    ByteReader in(data, size);
    return size == 4 && in.readF32(value);
}

std::string_view Response::text() const
{
    return data ? boundedText(reinterpret_cast<const char*>(data), size) : std::string_view();
}

Status decodeResponse(const uint8_t* payload, size_t size, Response& out)
{
    out.data = payload;
    out.size = payload ? size : 0;
    return Status::Ok;
}

Status encodeResponseInt32(ByteWriter& out, int32_t value)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::Response));
    out.writeI32(value);
    return frame.finish();
}

Status encodeResponseFloat(ByteWriter& out, float value)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::Response));
    out.writeF32(value);
    return frame.finish();
}

Status encodeResponseText(ByteWriter& out, std::string_view text)
{
    return encodeTextMessage(out, MessageId::Response, text);
}

Status encodeUnrecognizedRequest(ByteWriter& out, const SenderBlock& body)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::UnrecognizedRequest));
    writeSender(out, body);
    return frame.finish();
}

// ---- Echo ------------------------------------------------------------------

Status decodeEchoRequest(const uint8_t* payload, size_t size, uint64_t& clientStamp)
{
    ByteReader in(payload, size);
    uint64_t stamp = 0;
    if (!in.readU64(stamp)) return Status::Truncated;
    clientStamp = stamp;
    return Status::Ok;
}

Status encodeEchoRequest(ByteWriter& out, uint64_t clientStamp)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::EchoRequest));
    out.writeU64(clientStamp);
    return frame.finish();
}

Status decodeEchoResponse(const uint8_t* payload, size_t size, EchoResponse& out)
{
    ByteReader in(payload, size);
    EchoResponse result;
    if (!in.readU64(result.requestStamp) || !in.readU64(result.serverTicks)) return Status::Truncated;
    out = result;
    return Status::Ok;
}

Status encodeEchoResponse(ByteWriter& out, const EchoResponse& response)
{
    MessageFrame frame(out, static_cast<uint16_t>(MessageId::EchoResponse));
    out.writeU64(response.requestStamp);
    out.writeU64(response.serverTicks);
    return frame.finish();
}

}  // namespace NatNet::Wire
