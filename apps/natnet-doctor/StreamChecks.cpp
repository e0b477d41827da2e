#include "StreamChecks.h"

#include <cstdio>

namespace NatNet::Doctor {

namespace {

// `value` with `decimals` digits after the point, then `unit`.
std::string fixed(double value, int decimals, const char* unit)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

double frameRate(const FramesSeen& seen)
{
    const FrameSample& s = seen.sample;
    if (s.frames < 2) return 0.0;
    const double span = std::chrono::duration<double>(s.lastFrameAt - s.firstFrameAt).count();
    return span > 0.0 ? static_cast<double>(s.frames - 1) / span : 0.0;
}

// A data port or group that differs from the server's own is the likeliest reason of all.
std::string mismatchHint(const Connection& used, const ServerStream& stream)
{
    if (!stream.known) return {};
    std::string hint;
    if (stream.dataPort != 0 && stream.dataPort != used.dataPort) {
        hint += "the server says its data port is " + std::to_string(stream.dataPort) + ", not " +
                std::to_string(used.dataPort) + "; ";
    }
    if (stream.multicast && used.multicast && stream.multicastAddress != used.multicastAddress) {
        hint += "the server streams to group " + stream.multicastAddress + ", not " + used.multicastAddress +
                "; ";
    }
    return hint;
}

}  // namespace

CheckResult checkFrames(const Connection& used, const ServerStream& stream, const FramesSeen& seen,
                        const RouteLookup& route)
{
    CheckResult result;
    result.check = "frames";
    const uint64_t frames = seen.sample.frames;
    if (frames > 0) {
        result.ok = true;
        result.detail = std::to_string(frames) + " frames in " + fixed(seen.seconds, 1, "s") + " (" +
                        fixed(frameRate(seen), 1, "Hz") + "), NatNet bitstream " + seen.decodeVersion;
        return result;
    }
    const std::string waited = fixed(seen.seconds, 1, "s");
    const std::string foreign = seen.counters.droppedForeignSender > 0
                                    ? " (" + std::to_string(seen.counters.droppedForeignSender) +
                                          " datagrams from another sender or port dropped)"
                                    : "";
    const std::string undecoded = seen.counters.droppedBadFrame > 0
                                      ? " (" + std::to_string(seen.counters.droppedBadFrame) +
                                            " frames could not be decoded as NatNet " + seen.decodeVersion +
                                            ")"
                                      : "";
    const std::string hint = mismatchHint(used, stream);
    if (used.multicast) {
        const std::string chosen = used.local.empty() ? "the default interface" : "interface " + used.local;
        result.detail = "the server answers and streams multicast to " + used.multicastAddress + ":" +
                        std::to_string(used.dataPort) + ", but no frame reached " + chosen + " in " + waited +
                        foreign + undecoded;
        result.cause = Verdict::MulticastNotReceived;
        std::string routeHint;
        if (route.reachable && !used.local.empty() && route.source.address != used.local) {
            routeHint = "the server is reached through " +
                        (route.source.interfaceName.empty()
                             ? route.source.address
                             : route.source.interfaceName + " (" + route.source.address + ")") +
                        ": give --local " + route.source.address + "; ";
        }
        result.fix =
            hint + routeHint +
            "choose as local address the interface on the tracking network (on a PC with two networks the "
            "other one does not see the group); make sure the switches forward group " +
            used.multicastAddress + " to it (IGMP) and that no firewall drops UDP to port " +
            std::to_string(used.dataPort) + "; or stream unicast";
        return result;
    }
    return result.fail("the server answers commands, but no frame arrived from its data port " +
                           std::to_string(used.dataPort) + " in " + waited + foreign + undecoded,
                       Verdict::NoFrames,
                       hint + "allow UDP from the server's data port " + std::to_string(used.dataPort) +
                           " through the firewalls of both machines; check the data port (Motive's default "
                           "is 1511); turn on \"Broadcast Frame Data\" in Motive's streaming settings");
}

CheckResult checkRigidBodies(const FramesSeen& seen,
                             const std::vector<std::pair<int32_t, std::string>>& names)
{
    CheckResult result;
    result.check = "rigid-bodies";
    if (seen.sample.framesWithRigidBodies == 0) {
        return result.fail(std::to_string(seen.sample.frames) +
                               " frames arrived, none carries a rigid body (up to " +
                               std::to_string(seen.sample.maxMarkers) + " labeled markers per frame)",
                           Verdict::NoRigidBodies,
                           "in Motive, define the rigid bodies (select their markers, Create Rigid Body) and "
                           "turn on \"Rigid Bodies\" in the streaming settings");
    }
    result.ok = true;
    std::string bodies;
    for (const int32_t id : seen.sample.rigidBodyIds) {
        if (!bodies.empty()) bodies += ", ";
        bodies += std::to_string(id);
        for (const auto& [describedId, name] : names) {
            if (describedId == id) {
                bodies += " \"" + name + "\"";
                break;
            }
        }
    }
    result.detail = std::to_string(seen.sample.rigidBodyIds.size()) + " rigid bodies: " + bodies;
    return result;
}

CheckResult checkLoss(const FramesSeen& seen, std::optional<uint64_t> receiveBufferDrops)
{
    CheckResult result;
    result.check = "loss";
    const uint64_t delivered = seen.counters.framesDecoded;
    const uint64_t missing = seen.counters.framesMissing;
    const uint64_t expected = delivered + missing;
    const double ratio = expected > 0 ? static_cast<double>(missing) / static_cast<double>(expected) : 0.0;
    result.detail = std::to_string(missing) + " of " + std::to_string(expected) + " frame numbers missing (" +
                    fixed(ratio * 100.0, 2, "%") + ") at " + fixed(frameRate(seen), 1, "Hz");
    if (seen.counters.droppedOldFrame > 0) {
        result.detail +=
            ", " + std::to_string(seen.counters.droppedOldFrame) + " repeated or late frames dropped";
    }
    if (receiveBufferDrops) {
        result.detail +=
            ", kernel receive-buffer drops (all UDP sockets): " + std::to_string(*receiveBufferDrops);
    }
    if (ratio <= kMaxLossRatio) {
        result.ok = true;
        return result;
    }
    result.cause = Verdict::FramesLost;
    result.fix =
        (receiveBufferDrops && *receiveBufferDrops > 0)
            ? "this machine drops datagrams: raise the receive buffer (sysctl net.core.rmem_max) and "
              "the process's priority, or lower the frame rate"
            : "the network loses datagrams: use a wired link instead of Wi-Fi, check cables and "
              "switches, keep other heavy traffic off the tracking network, or lower the frame rate";
    return result;
}

}  // namespace NatNet::Doctor
