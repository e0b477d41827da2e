#include "UdpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace NatNet::Dump {

UdpListener::~UdpListener()
{
    if (m_socket >= 0) ::close(m_socket);
}

bool UdpListener::open(uint16_t port, const std::string& multicastGroup, const std::string& interfaceAddress,
                       std::string& error)
{
    in_addr group{};
    in_addr local{};
    local.s_addr = htonl(INADDR_ANY);
    if (!multicastGroup.empty() && inet_pton(AF_INET, multicastGroup.c_str(), &group) != 1) {
        error = "not an IPv4 address: " + multicastGroup;
        return false;
    }
    if (!interfaceAddress.empty() && inet_pton(AF_INET, interfaceAddress.c_str(), &local) != 1) {
        error = "not an IPv4 address: " + interfaceAddress;
        return false;
    }
    m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (m_socket < 0) {
        error = std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const int buffer = 1 << 20;
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);

    // Linux delivers multicast only to sockets bound to any or to the group.
    sockaddr_in bindAddress{};
    bindAddress.sin_family = AF_INET;
    bindAddress.sin_port = htons(port);
    bindAddress.sin_addr = multicastGroup.empty() ? local : group;
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&bindAddress), sizeof bindAddress) != 0) {
        error = std::string("bind: ") + std::strerror(errno);
        return false;
    }
    if (!multicastGroup.empty()) {
        ip_mreq request{};
        request.imr_multiaddr = group;
        request.imr_interface = local;
        if (::setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            error = std::string("join ") + multicastGroup + ": " + std::strerror(errno);
            return false;
        }
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = ntohs(bound.sin_port);
    return true;
}

bool UdpListener::receive(std::vector<uint8_t>& payload, uint32_t& sourceAddress, uint16_t& sourcePort,
                          int timeoutMs)
{
    if (m_socket < 0) return false;
    pollfd descriptor{m_socket, POLLIN, 0};
    if (::poll(&descriptor, 1, timeoutMs) <= 0) return false;
    payload.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t received =
        ::recvfrom(m_socket, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (received < 0) return false;
    payload.resize(static_cast<size_t>(received));
    sourceAddress = ntohl(from.sin_addr.s_addr);
    sourcePort = ntohs(from.sin_port);
    return true;
}

}  // namespace NatNet::Dump
