// A UDP socket for natnet-dump --listen: bound to a port, optionally joined
// to a multicast group on one interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NatNet::Dump {

class UdpListener
{
public:
    UdpListener() = default;
    ~UdpListener();
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    // interfaceAddress: where to join the group (and, without a group, the
    // address to bind); empty means any.
    bool open(uint16_t port, const std::string& multicastGroup, const std::string& interfaceAddress,
              std::string& error);
    uint16_t boundPort() const { return m_port; }

    // Waits up to timeoutMs for one datagram; false on timeout or error.
    bool receive(std::vector<uint8_t>& payload, uint32_t& sourceAddress, uint16_t& sourcePort, int timeoutMs);

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};

}  // namespace NatNet::Dump
