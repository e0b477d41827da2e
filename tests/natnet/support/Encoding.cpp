#include "Encoding.h"

#include "natnet/codec/FrameCodec.h"

namespace NatNetTest {

std::vector<uint8_t> frameDatagram(const sFrameOfMocapData& frame, NatNet::Wire::Version version)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(encodeInto(bytes, [&](NatNet::Wire::ByteWriter& out) {
        return NatNet::Wire::encodeFrame(out, frame, version);
    }));
    return bytes;
}

}  // namespace NatNetTest
