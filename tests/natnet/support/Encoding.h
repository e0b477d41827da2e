// What the codec's encoders write, as bytes of exactly that size, for the NatNet tests.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Status.h"
#include "natnet/codec/Version.h"

#include "NatNetTypes.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace NatNetTest {

// More than any datagram holds, so that the encoder's own limits, not the buffer, refuse.
constexpr size_t kEncodeCapacity = 70000;

// Runs `encode(ByteWriter&) -> Status` on a scratch buffer and leaves in `bytes` what it wrote
// (nothing when it refuses, and the failure names the status).
template <typename Encode>
::testing::AssertionResult encodeInto(std::vector<uint8_t>& bytes, Encode&& encode)
{
    bytes.assign(kEncodeCapacity, 0);
    NatNet::Wire::ByteWriter out(bytes.data(), bytes.size());
    const NatNet::Wire::Status status = encode(out);
    if (status != NatNet::Wire::Status::Ok) {
        bytes.clear();
        return ::testing::AssertionFailure() << "encode: " << NatNet::Wire::statusName(status);
    }
    bytes.resize(out.size());
    return ::testing::AssertionSuccess();
}

// The whole frame datagram of `frame` in `version`; a test failure and no bytes when refused.
std::vector<uint8_t> frameDatagram(const sFrameOfMocapData& frame,
                                   NatNet::Wire::Version version = NatNet::Wire::Version(4, 1));

}  // namespace NatNetTest
