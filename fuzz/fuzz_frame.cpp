// decodeFrame. Input: a version selector byte, then a frame payload.
// Whatever decodes must encode, and encoding is stable from then on.
#include "FuzzSupport.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"

#include <memory>
#include <vector>

using namespace NatNet::Wire;

namespace {

struct State
{
    FrameStorage storage;
    std::unique_ptr<sFrameOfMocapData> frame = std::make_unique<sFrameOfMocapData>();
    std::vector<uint8_t> first = std::vector<uint8_t>(1 << 17);
    std::vector<uint8_t> second = std::vector<uint8_t>(1 << 17);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static State state;
    if (size < 1) return 0;
    const Version version = NatNetFuzz::versionFor(data[0]);
    if (decodeFrame(data + 1, size - 1, version, state.storage, *state.frame) != Status::Ok) return 0;

    ByteWriter first(state.first.data(), state.first.size());
    const Status encoded = encodeFrame(first, *state.frame, version);
    if (encoded == Status::MessageTooLarge) return 0;
    NatNetFuzz::require(encoded == Status::Ok, "a decoded frame encodes");
    Datagram d;
    NatNetFuzz::require(decodeDatagram(first.data(), first.size(), d) == Status::Ok,
                        "framing of an encoded frame");
    NatNetFuzz::require(
        decodeFrame(d.payload, d.payloadSize, version, state.storage, *state.frame) == Status::Ok,
        "an encoded frame decodes");
    ByteWriter second(state.second.data(), state.second.size());
    NatNetFuzz::require(encodeFrame(second, *state.frame, version) == Status::Ok, "re-encode");
    NatNetFuzz::require(NatNetFuzz::sameBytes(first.data(), first.size(), second.data(), second.size()),
                        "encoding is stable after one decode");
    return 0;
}
