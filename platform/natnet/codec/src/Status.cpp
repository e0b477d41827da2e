#include "natnet/codec/Status.h"
#include "natnet/codec/MessageId.h"

#include <platform/NameTable.h>

namespace NatNet::Wire {

namespace {

using Platform::NameRow;

constexpr NameRow<Status> kStatusNames[] = {
    {Status::Ok, "Ok"},
    {Status::Truncated, "Truncated"},
    {Status::CountTooLarge, "CountTooLarge"},
    {Status::NegativeCount, "NegativeCount"},
    {Status::UnterminatedString, "UnterminatedString"},
    {Status::UnknownMessage, "UnknownMessage"},
    {Status::UnsupportedVersion, "UnsupportedVersion"},
    {Status::SizeMismatch, "SizeMismatch"},
    {Status::MissingEndTag, "MissingEndTag"},
    {Status::UnknownDescriptionType, "UnknownDescriptionType"},
    {Status::BufferTooSmall, "BufferTooSmall"},
    {Status::MessageTooLarge, "MessageTooLarge"},
    {Status::InvalidRecord, "InvalidRecord"},
    {Status::OutOfMemory, "OutOfMemory"},
};

constexpr NameRow<MessageId> kMessageIdNames[] = {
    {MessageId::Connect, "connect"},
    {MessageId::ServerInfo, "serverInfo"},
    {MessageId::Request, "request"},
    {MessageId::Response, "response"},
    {MessageId::RequestModelDef, "requestModelDef"},
    {MessageId::ModelDef, "modelDef"},
    {MessageId::RequestFrameOfData, "requestFrameOfData"},
    {MessageId::FrameOfData, "frameOfData"},
    {MessageId::MessageString, "messageString"},
    {MessageId::Disconnect, "disconnect"},
    {MessageId::KeepAlive, "keepAlive"},
    {MessageId::DisconnectByTimeout, "disconnectByTimeout"},
    {MessageId::EchoRequest, "echoRequest"},
    {MessageId::EchoResponse, "echoResponse"},
    {MessageId::Discovery, "discovery"},
    {MessageId::UnrecognizedRequest, "unrecognizedRequest"},
};

}  // namespace

const char* statusName(Status status)
{
    return Platform::nameOf(status, kStatusNames, "Unknown");
}

const char* messageIdName(uint16_t id)
{
    return Platform::nameOf(static_cast<MessageId>(id), kMessageIdNames, nullptr);
}

}  // namespace NatNet::Wire
