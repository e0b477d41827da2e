// Finds NatNet servers the way the panel does: broadcast discovery, sent where
// NATNET_DISCOVERY_TARGETS says when it is set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace NatNet::Doctor {

struct FoundServer
{
    std::string server;
    std::string local;  // the interface the answer came in on
    uint16_t commandPort = 0;
};

// Waits `seconds` for answers; at most a few dozen servers.
std::vector<FoundServer> discoverServers(double seconds);

}  // namespace NatNet::Doctor
