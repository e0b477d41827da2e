// decodeServerInfo and decodeConnect (also discovery) on any payload: the
// fields they read encode back to the same leading bytes.
#include "FuzzSupport.h"

#include "NatNetTypes.h"
#include "natnet/codec/Messages.h"

#include <cstring>

using namespace NatNet::Wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t buffer[512];
    ServerInfo info;
    if (decodeServerInfo(data, size, info) == Status::Ok) {
        ByteWriter out(buffer, sizeof buffer);
        NatNetFuzz::require(encodeServerInfo(out, info) == Status::Ok, "server info encodes");
        const size_t used = info.hasConnectionInfo ? kServerInfoSize : kSenderSize;
        if (info.hasConnectionInfo) {  // the multicast flag is any non-zero byte on the wire, 1 after a round
                                       // trip
            buffer[4 + 274] = data[274];
        }
        NatNetFuzz::require(out.size() == 4 + used && std::memcmp(buffer + 4, data, used) == 0,
                            "server info encodes to its bytes");
        NatNetFuzz::require(info.sender.nameText().size() <= sizeof info.sender.name, "name bounded");
        sServerDescription description;
        const uint8_t host[4] = {127, 0, 0, 1};
        fillServerDescription(info, host, description);
        NatNetFuzz::require(std::memchr(description.szHostApp, 0, sizeof description.szHostApp) != nullptr,
                            "description name terminated");
    } else {
        NatNetFuzz::require(size < kSenderSize, "only short server info fails");
    }

    ConnectRequest request;
    NatNetFuzz::require(decodeConnect(data, size, request) == Status::Ok, "connect never fails");
    ByteWriter out(buffer, sizeof buffer);
    NatNetFuzz::require(encodeConnect(out, request) == Status::Ok, "connect encodes");
    const size_t used = request.hasOptions  ? kSenderSize + kConnectOptionsSize
                        : request.hasSender ? kSenderSize
                                            : 0;
    // The options' flag byte is any non-zero value on the wire, 1 after a round trip.
    if (used > kSenderSize) buffer[4 + kSenderSize] = data[kSenderSize];
    NatNetFuzz::require(out.size() == 4 + used && (used == 0 || std::memcmp(buffer + 4, data, used) == 0),
                        "connect encodes to its bytes");
    return 0;
}
