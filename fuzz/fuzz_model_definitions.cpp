// decodeModelDefinitions. Input: a version selector byte, then a payload.
// Whatever decodes must encode, and encoding is stable from then on; every
// list is released (ASan reports leaks and mismatched frees).
#include "FuzzSupport.h"

#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <vector>

using namespace NatNet::Wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> first(1 << 17);
    static std::vector<uint8_t> second(1 << 17);
    if (size < 1) return 0;
    const Version version = NatNetFuzz::versionFor(data[0]);
    const uint32_t mask = size > 1 && data[1] == 0xA5 ? 0x3u : 0xFFFFFFFFu;  // sometimes filter by type
    sDataDescriptions* list = nullptr;
    if (decodeModelDefinitions(data + 1, size - 1, version, &list, mask) != Status::Ok) {
        NatNetFuzz::require(list == nullptr, "no list on failure");
        return 0;
    }
    ByteWriter out(first.data(), first.size());
    const Status encoded = encodeModelDefinitions(out, *list, version);
    freeDescriptions(list);
    if (encoded == Status::MessageTooLarge) return 0;
    NatNetFuzz::require(encoded == Status::Ok, "decoded descriptions encode");

    Datagram d;
    NatNetFuzz::require(decodeDatagram(out.data(), out.size(), d) == Status::Ok, "framing");
    sDataDescriptions* again = nullptr;
    NatNetFuzz::require(decodeModelDefinitions(d.payload, d.payloadSize, version, &again) == Status::Ok,
                        "encoded descriptions decode");
    ByteWriter out2(second.data(), second.size());
    NatNetFuzz::require(encodeModelDefinitions(out2, *again, version) == Status::Ok, "re-encode");
    freeDescriptions(again);
    NatNetFuzz::require(NatNetFuzz::sameBytes(out.data(), out.size(), out2.data(), out2.size()),
                        "encoding is stable after one decode");
    return 0;
}
