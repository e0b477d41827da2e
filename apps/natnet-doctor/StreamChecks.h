// The checks on the data path: frames arrive, they carry rigid bodies, and
// few of their frame numbers are missing.
#pragma once

#include "CheckResult.h"
#include "Connection.h"
#include "FrameSampler.h"
#include "LocalNetwork.h"
#include "ServerChecks.h"

#include "natnet_ext/NatNetExt.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NatNet::Doctor {

// Above this share of missing frame numbers the verdict is frames-lost.
inline constexpr double kMaxLossRatio = 0.01;

struct FramesSeen
{
    FrameSample sample;
    NatNetExt::ClientCounters counters;
    double seconds = 0.0;       // how long frames were awaited or measured
    std::string decodeVersion;  // the bitstream the frames were decoded with
};

// `route` is how the kernel reaches the server (for the multicast hint).
CheckResult checkFrames(const Connection& used, const ServerStream& stream, const FramesSeen& seen,
                        const RouteLookup& route);
CheckResult checkRigidBodies(const FramesSeen& seen,
                             const std::vector<std::pair<int32_t, std::string>>& names);
CheckResult checkLoss(const FramesSeen& seen, std::optional<uint64_t> receiveBufferDrops);

}  // namespace NatNet::Doctor
