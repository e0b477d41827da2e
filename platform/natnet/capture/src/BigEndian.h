// Network byte order reads for the link, IP and UDP headers of a capture.
#pragma once

#include <cstdint>

namespace NatNet::Pcap::Internal {

inline uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace NatNet::Pcap::Internal
