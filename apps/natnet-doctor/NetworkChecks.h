// The checks that need no server: is --local ours, and does a route reach the server.
#pragma once

#include "CheckResult.h"
#include "LocalNetwork.h"

#include <cstdint>
#include <string>

namespace NatNet::Doctor {

CheckResult checkLocalInterface(const std::string& local, const std::vector<LocalAddress>& addresses);
// `local` may be empty; when given and the route leaves through another
// interface, the detail says so (it matters for multicast later).
CheckResult checkRoute(const std::string& server, uint16_t commandPort, const std::string& local,
                       const RouteLookup& route, const std::vector<LocalAddress>& addresses);

}  // namespace NatNet::Doctor
