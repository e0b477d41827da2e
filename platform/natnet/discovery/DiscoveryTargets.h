// Where discovery announcements go, and how often the asynchronous discovery
// repeats them (see natnet_ext/NatNetExt.h for the rules).
#pragma once

#include "natnet/transport/Ipv4Text.h"

#include "NatNetTypes.h"
#include "natnet_ext/NatNetExt.h"

#include <vector>

namespace NatNet::Net {

class DiscoveryTargets
{
public:
    static constexpr const char* kEnvironmentVariable = "NATNET_DISCOVERY_TARGETS";
    static constexpr int kDefaultIntervalMs = NatNetExt::kDefaultDiscoveryIntervalMs;

    // The list set by the program; null or "" clears it.
    static ErrorCode set(const char* list);
    // The program's list, else the environment's, else every interface's broadcast address.
    static std::vector<Ipv4Endpoint> resolve();
    // Port 1510 at the broadcast address of each IPv4 interface that is up
    // (loopback included, as its directed broadcast 127.255.255.255).
    static std::vector<Ipv4Endpoint> interfaceBroadcasts();

    static ErrorCode setIntervalMs(int intervalMs);
    static int intervalMs();
};

}  // namespace NatNet::Net
