// What this machine's network looks like from user space: its IPv4 addresses,
// the interface the routing table picks for a destination, and the kernel's
// count of UDP datagrams dropped for a full receive buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace NatNet::Doctor {

struct LocalAddress
{
    std::string interfaceName;
    std::string address;  // dotted IPv4
};

// Every IPv4 address of an interface that is up (in this network namespace).
std::vector<LocalAddress> localAddresses();
// "lo 127.0.0.1, eth0 192.168.1.5"
std::string describeAddresses(const std::vector<LocalAddress>& addresses);
std::optional<LocalAddress> findAddress(const std::vector<LocalAddress>& addresses,
                                        const std::string& address);

struct RouteLookup
{
    bool reachable = false;
    LocalAddress source;  // when reachable: the interface and source address the kernel picks
    std::string error;    // when not: the kernel's reason
};

// Asks the kernel (a connected UDP socket, nothing is sent) how it would reach this address.
RouteLookup routeTo(const std::string& address, uint16_t port);

// Udp RcvbufErrors from /proc/net/snmp; nullopt where it cannot be read.
std::optional<uint64_t> udpReceiveBufferErrors();

}  // namespace NatNet::Doctor
