#include "DiscoveryTargets.h"

#include "Log.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

namespace NatNet::Net {

namespace {

#if defined(__unix__) || defined(__APPLE__)
uint32_t ipv4Of(const sockaddr* address)
{
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof(in));
    return ntohl(in.sin_addr.s_addr);
}
#endif

std::mutex g_mutex;
std::optional<std::vector<Ipv4Endpoint>> g_programTargets;
std::atomic<int> g_intervalMs{DiscoveryTargets::kDefaultIntervalMs};

}  // namespace

ErrorCode DiscoveryTargets::set(const char* list)
{
    if (list == nullptr || list[0] == '\0') {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_programTargets.reset();
        return ErrorCode_OK;
    }
    auto parsed = parseEndpointList(list, NATNET_DEFAULT_PORT_COMMAND);
    if (!parsed || parsed->empty()) {
        return ErrorCode_InvalidArgument;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_programTargets = std::move(*parsed);
    return ErrorCode_OK;
}

std::vector<Ipv4Endpoint> DiscoveryTargets::resolve()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_programTargets) {
            return *g_programTargets;
        }
    }
    if (const char* environment = std::getenv(kEnvironmentVariable); environment != nullptr && *environment) {
        auto parsed = parseEndpointList(environment, NATNET_DEFAULT_PORT_COMMAND);
        if (parsed && !parsed->empty()) {
            return *parsed;
        }
        // A mistyped list must not turn into announcements on every network.
        const std::string text = std::string("NatNet: ignoring malformed ") + kEnvironmentVariable + "=\"" +
                                 environment + "\"; no discovery announcements are sent";
        Internal::logMessage(Verbosity_Error, text.c_str());
        return {};
    }
    return interfaceBroadcasts();
}

std::vector<Ipv4Endpoint> DiscoveryTargets::interfaceBroadcasts()
{
    std::vector<Ipv4Endpoint> targets;
#if defined(__unix__) || defined(__APPLE__)
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return targets;
    }
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        uint32_t broadcast = 0;
        if ((entry->ifa_flags & IFF_BROADCAST) != 0 && entry->ifa_broadaddr != nullptr) {
            broadcast = ipv4Of(entry->ifa_broadaddr);
        } else if ((entry->ifa_flags & IFF_LOOPBACK) != 0 && entry->ifa_netmask != nullptr) {
            broadcast = ipv4Of(entry->ifa_addr) | ~ipv4Of(entry->ifa_netmask);
        }
        const Ipv4Endpoint target{broadcast, NATNET_DEFAULT_PORT_COMMAND};
        if (broadcast != 0 && std::find(targets.begin(), targets.end(), target) == targets.end()) {
            targets.push_back(target);
        }
    }
    freeifaddrs(interfaces);
#else
    targets.push_back({0xFFFFFFFFu, NATNET_DEFAULT_PORT_COMMAND});
#endif
    return targets;
}

ErrorCode DiscoveryTargets::setIntervalMs(int intervalMs)
{
    if (intervalMs < 1) {
        return ErrorCode_InvalidArgument;
    }
    g_intervalMs.store(intervalMs);
    return ErrorCode_OK;
}

int DiscoveryTargets::intervalMs()
{
    return g_intervalMs.load();
}

}  // namespace NatNet::Net
