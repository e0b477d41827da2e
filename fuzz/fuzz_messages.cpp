// decodeDatagram and the small-message decoders behind it: a whole datagram
// as it arrives from the network, dispatched by its message ID.
#include "FuzzSupport.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <memory>
#include <string_view>

using namespace NatNet::Wire;

namespace {

// Decodes the payload into a fresh record: the decoders must survive any bytes.
template <typename Record>
void decodeInto(const Datagram& d, Status (*decode)(const uint8_t*, size_t, Record&))
{
    Record record{};
    decode(d.payload, d.payloadSize, record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FrameStorage storage;
    static auto frame = std::make_unique<sFrameOfMocapData>();
    Datagram d;
    if (decodeDatagram(data, size, d) != Status::Ok) return 0;
    NatNetFuzz::require(d.payload + d.payloadSize <= data + size, "payload inside the datagram");
    (void)messageIdName(d.messageId);

    switch (static_cast<MessageId>(d.messageId)) {
        case MessageId::Connect:
        case MessageId::Discovery:
            decodeInto(d, decodeConnect);
            break;
        case MessageId::ServerInfo:
            decodeInto(d, decodeServerInfo);
            break;
        case MessageId::Request:
        case MessageId::MessageString: {
            std::string_view text;
            if (decodeText(d.payload, d.payloadSize, text) == Status::Ok) {
                NatNetFuzz::require(text.size() < d.payloadSize, "text inside the payload");
            }
            break;
        }
        case MessageId::Response: {
            Response response;
            decodeResponse(d.payload, d.payloadSize, response);
            int32_t i = 0;
            float f = 0.0f;
            response.asInt32(i);
            response.asFloat(f);
            NatNetFuzz::require(response.text().size() <= d.payloadSize, "response text bounded");
            break;
        }
        case MessageId::EchoRequest:
            decodeInto(d, decodeEchoRequest);
            break;
        case MessageId::EchoResponse:
            decodeInto(d, decodeEchoResponse);
            break;
        case MessageId::FrameOfData:
            decodeFrame(d.payload, d.payloadSize, Version(3, 0), storage, *frame);
            break;
        case MessageId::ModelDef: {
            sDataDescriptions* list = nullptr;
            decodeModelDefinitions(d.payload, d.payloadSize, Version(3, 0), &list);
            freeDescriptions(list);
            break;
        }
        default:
            break;
    }
    return 0;
}
