// Where the IPv4 header starts in a captured link-layer frame.
//
// Ethernet (with 802.1Q/802.1ad tags), Linux cooked (v1 and v2), BSD
// loopback/null and raw IPv4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace NatNet::Pcap::Internal {

bool isSupportedLinkType(int linkType);

// The offset of the IPv4 header, or nothing when the frame does not carry IPv4.
std::optional<size_t> ipv4Offset(int linkType, const uint8_t* frame, size_t size);

}  // namespace NatNet::Pcap::Internal
