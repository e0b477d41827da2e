#include "NetworkChecks.h"

namespace NatNet::Doctor {

CheckResult checkLocalInterface(const std::string& local, const std::vector<LocalAddress>& addresses)
{
    CheckResult result;
    result.check = "local-interface";
    if (const auto found = findAddress(addresses, local)) {
        result.ok = true;
        result.detail = local + " is the address of " + found->interfaceName;
        return result;
    }
    return result.fail(
        local + " is not an address of this machine; its addresses: " + describeAddresses(addresses),
        Verdict::NoLocalInterface,
        "give --local (the module's localAddress) the address of this machine's interface on the "
        "tracking network, one of those listed");
}

CheckResult checkRoute(const std::string& server, uint16_t commandPort, const std::string& local,
                       const RouteLookup& route, const std::vector<LocalAddress>& addresses)
{
    CheckResult result;
    result.check = "route";
    if (!route.reachable) {
        return result.fail("no interface reaches " + server + " (" + route.error +
                               "); this machine's addresses: " + describeAddresses(addresses),
                           Verdict::NoRoute,
                           "connect this machine to the tracking network (cable, interface up) and give it "
                           "an address on the server's subnet, or correct the server address");
    }
    result.ok = true;
    const std::string via = route.source.interfaceName.empty()
                                ? route.source.address
                                : route.source.interfaceName + " (" + route.source.address + ")";
    result.detail = server + ":" + std::to_string(commandPort) + " is reached through " + via;
    if (!local.empty() && local != route.source.address && !findAddress(addresses, server)) {
        result.detail += ", not through --local " + local;
    }
    return result;
}

}  // namespace NatNet::Doctor
