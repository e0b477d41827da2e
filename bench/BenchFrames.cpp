#include "BenchFrames.h"

#include <natnet/codec/ByteWriter.h>
#include <natnet/codec/FrameCodec.h>

#include <algorithm>
#include <cmath>

namespace Quorvane::Bench {

std::unique_ptr<sFrameOfMocapData> rigidBodyFrame(int rigidBodies, std::int32_t frameNumber)
{
    auto frame = std::make_unique<sFrameOfMocapData>();
    frame->iFrame = frameNumber;
    frame->fTimestamp = 12.5;
    frame->CameraMidExposureTimestamp = 1'000'000;
    frame->CameraDataReceivedTimestamp = 1'020'000;
    frame->TransmitTimestamp = 1'030'000;
    frame->nRigidBodies = std::clamp(rigidBodies, 0, MAX_RIGIDBODIES);
    for (int i = 0; i < frame->nRigidBodies; ++i) {
        sRigidBodyData& body = frame->RigidBodies[i];
        const double angle = 0.01 * i;
        body.ID = i + 1;
        body.x = 0.1f * static_cast<float>(i);
        body.y = 1.2f;
        body.z = -0.05f * static_cast<float>(i);
        body.qx = 0.0f;
        body.qy = static_cast<float>(std::sin(angle / 2));
        body.qz = 0.0f;
        body.qw = static_cast<float>(std::cos(angle / 2));
        body.MeanError = 0.0003f;
        body.params = 1;
    }
    return frame;
}

std::vector<std::uint8_t> encodeDatagram(const sFrameOfMocapData& frame, NatNet::Wire::Version version)
{
    std::vector<std::uint8_t> bytes(65536);
    NatNet::Wire::ByteWriter writer(bytes.data(), bytes.size());
    if (NatNet::Wire::encodeFrame(writer, frame, version) != NatNet::Wire::Status::Ok) return {};
    bytes.resize(writer.size());
    return bytes;
}

}  // namespace Quorvane::Bench
