#include "LocalNetwork.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace NatNet::Doctor {

namespace {

std::string dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace

std::vector<LocalAddress> localAddresses()
{
    std::vector<LocalAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return result;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0) continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        result.push_back({entry->ifa_name, dotted(address.sin_addr)});
    }
    freeifaddrs(list);
    return result;
}

std::string describeAddresses(const std::vector<LocalAddress>& addresses)
{
    if (addresses.empty()) return "none";
    std::string text;
    for (const auto& address : addresses) {
        if (!text.empty()) text += ", ";
        text += address.interfaceName + " " + address.address;
    }
    return text;
}

std::optional<LocalAddress> findAddress(const std::vector<LocalAddress>& addresses,
                                        const std::string& address)
{
    for (const auto& candidate : addresses) {
        if (candidate.address == address) return candidate;
    }
    return std::nullopt;
}

RouteLookup routeTo(const std::string& address, uint16_t port)
{
    RouteLookup lookup;
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &destination.sin_addr) != 1) {
        lookup.error = "not an IPv4 address";
        return lookup;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lookup.error = std::strerror(errno);
        return lookup;
    }
    // connect() on a datagram socket only resolves the route; nothing leaves the machine.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != 0) {
        lookup.error = std::strerror(errno);
        ::close(fd);
        return lookup;
    }
    sockaddr_in source{};
    socklen_t length = sizeof source;
    const bool named = ::getsockname(fd, reinterpret_cast<sockaddr*>(&source), &length) == 0;
    ::close(fd);
    if (!named) {
        lookup.error = std::strerror(errno);
        return lookup;
    }
    lookup.reachable = true;
    lookup.source.address = dotted(source.sin_addr);
    if (const auto found = findAddress(localAddresses(), lookup.source.address)) {
        lookup.source.interfaceName = found->interfaceName;
    }
    return lookup;
}

std::optional<uint64_t> udpReceiveBufferErrors()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string header;
    std::string values;
    while (std::getline(snmp, header)) {
        if (header.rfind("Udp: ", 0) != 0 || !std::getline(snmp, values)) continue;
        std::istringstream names(header);
        std::istringstream numbers(values);
        std::string name;
        std::string number;
        while (names >> name && numbers >> number) {
            if (name == "RcvbufErrors") {
                try {
                    return std::stoull(number);
                } catch (const std::exception&) {
                    return std::nullopt;
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace NatNet::Doctor
