#pragma once

// The in-process NatNet simulator on loopback, and a stream pointed at it.

#include "Eventually.h"
#include "SimulatorConnection.h"
#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackStream.h"

#include <natnet/sim/Simulator.h>

#include <Quorvane/Core/RecordingLogSink.h>

#include <NatNetTypes.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane::Testing {

using namespace std::chrono_literals;

using TestSupport::eventually;

inline NatNet::Sim::SimulatorConfig simulatorConfig(bool multicast)
{
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = "127.0.0.1";
    config.multicast = multicast;
    config.multicastAddress = "239.255.42.99";
    config.multicastTtl = 0;
    return config;
}

using TestSupport::paramsFor;

/// The texts of `records` in `category`, in order.
inline std::vector<std::string> textsIn(const std::vector<RecordingLogSink::Record>& records,
                                        const std::string& category)
{
    std::vector<std::string> result;
    for (const auto& record : records) {
        if (record.category == category) result.push_back(record.text);
    }
    return result;
}

/// A frame with one tracked rigid body at `position` (server units).
inline std::unique_ptr<sFrameOfMocapData> oneBodyFrame(int id, float x, float y, float z,
                                                       float meanError = 0.0f)
{
    auto frame = std::make_unique<sFrameOfMocapData>();
    frame->iFrame = 1;
    frame->nRigidBodies = 1;
    sRigidBodyData& body = frame->RigidBodies[0];
    body.ID = id;
    body.x = x;
    body.y = y;
    body.z = z;
    body.MeanError = meanError;
    body.params = 1;
    return frame;
}

/// A frame number above every one handed out before in this process: the client delivers a
/// frame only when its number is newer than the last one it delivered.
inline std::int32_t nextFrameNumber()
{
    static std::atomic<std::int32_t> last{0};
    return ++last;
}

/// Sends `frame`, each time under a new frame number, until the stream's instrument `identifier`
/// shows an update count above `after` (a datagram on loopback is not lost in practice, but the
/// first may race the registration).
inline bool deliverUntilUpdated(NatNet::Sim::Simulator& sim, sFrameOfMocapData& frame,
                                const OptiTrackStream& stream, const std::string& identifier,
                                std::uint64_t after = 0)
{
    return eventually(
        [&] {
            frame.iFrame = nextFrameNumber();
            sim.sendFrame(frame);
            return eventually(
                [&] {
                    const auto instrument = stream.findInstrument(identifier);
                    return instrument && instrument->updateCount > after;
                },
                100ms);
        },
        3000ms);
}

}  // namespace Quorvane::Testing
