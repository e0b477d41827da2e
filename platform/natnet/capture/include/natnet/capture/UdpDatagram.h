// One UDP datagram taken from a capture file.
#pragma once

#include <cstdint>
#include <vector>

namespace NatNet::Pcap {

struct UdpDatagram
{
    uint32_t sourceAddress = 0;  // IPv4, host byte order
    uint32_t destinationAddress = 0;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    double captureTime = 0.0;  // seconds since the epoch; a reassembled datagram has its last fragment's
    bool truncated = false;    // the capture holds less than the UDP length says
    std::vector<uint8_t> payload;
};

}  // namespace NatNet::Pcap
