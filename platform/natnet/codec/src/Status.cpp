#include "natnet/codec/Status.h"
#include "natnet/codec/MessageId.h"

namespace NatNet::Wire {

const char* statusName(Status status)
{
    switch (status) {
        case Status::Ok:
            return "Ok";
        case Status::Truncated:
            return "Truncated";
        case Status::CountTooLarge:
            return "CountTooLarge";
        case Status::NegativeCount:
            return "NegativeCount";
        case Status::UnterminatedString:
            return "UnterminatedString";
        case Status::UnknownMessage:
            return "UnknownMessage";
        case Status::UnsupportedVersion:
            return "UnsupportedVersion";
        case Status::SizeMismatch:
            return "SizeMismatch";
        case Status::MissingEndTag:
            return "MissingEndTag";
        case Status::UnknownDescriptionType:
            return "UnknownDescriptionType";
        case Status::BufferTooSmall:
            return "BufferTooSmall";
        case Status::MessageTooLarge:
            return "MessageTooLarge";
        case Status::InvalidRecord:
            return "InvalidRecord";
        case Status::OutOfMemory:
            return "OutOfMemory";
    }
    return "Unknown";
}

const char* messageIdName(uint16_t id)
{
    switch (static_cast<MessageId>(id)) {
        case MessageId::Connect:
            return "connect";
        case MessageId::ServerInfo:
            return "serverInfo";
        case MessageId::Request:
            return "request";
        case MessageId::Response:
            return "response";
        case MessageId::RequestModelDef:
            return "requestModelDef";
        case MessageId::ModelDef:
            return "modelDef";
        case MessageId::RequestFrameOfData:
            return "requestFrameOfData";
        case MessageId::FrameOfData:
            return "frameOfData";
        case MessageId::MessageString:
            return "messageString";
        case MessageId::Disconnect:
            return "disconnect";
        case MessageId::KeepAlive:
            return "keepAlive";
        case MessageId::DisconnectByTimeout:
            return "disconnectByTimeout";
        case MessageId::EchoRequest:
            return "echoRequest";
        case MessageId::EchoResponse:
            return "echoResponse";
        case MessageId::Discovery:
            return "discovery";
        case MessageId::UnrecognizedRequest:
            return "unrecognizedRequest";
    }
    return nullptr;
}

}  // namespace NatNet::Wire
