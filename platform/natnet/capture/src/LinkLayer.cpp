#include "LinkLayer.h"

#include "BigEndian.h"

#include <pcap/pcap.h>

namespace NatNet::Pcap::Internal {

namespace {

constexpr int kLinkLinuxSll2 = 276;  // DLT_LINUX_SLL2, missing in older headers
constexpr int kLinkIpv4 = 228;       // DLT_IPV4
constexpr uint16_t kEtherIpv4 = 0x0800;
constexpr uint32_t kFamilyInet = 2;  // AF_INET on every system that writes loopback captures

}  // namespace

bool isSupportedLinkType(int linkType)
{
    switch (linkType) {
        case DLT_EN10MB:
        case DLT_LINUX_SLL:
        case kLinkLinuxSll2:
        case DLT_NULL:
        case DLT_LOOP:
        case DLT_RAW:
        case kLinkIpv4:
            return true;
        default:
            return false;
    }
}

std::optional<size_t> ipv4Offset(int linkType, const uint8_t* frame, size_t size)
{
    switch (linkType) {
        case DLT_EN10MB: {
            size_t offset = 12;
            while (offset + 2 <= size) {
                const uint16_t type = be16(frame + offset);
                if (type == 0x8100 || type == 0x88A8) {  // VLAN tags
                    offset += 4;
                    continue;
                }
                return type == kEtherIpv4 ? std::optional<size_t>(offset + 2) : std::nullopt;
            }
            return std::nullopt;
        }
        case DLT_LINUX_SLL:
            return size >= 16 && be16(frame + 14) == kEtherIpv4 ? std::optional<size_t>(16) : std::nullopt;
        case kLinkLinuxSll2:
            return size >= 20 && be16(frame) == kEtherIpv4 ? std::optional<size_t>(20) : std::nullopt;
        case DLT_NULL:
        case DLT_LOOP: {
            if (size < 4) {
                return std::nullopt;
            }
            // The family is in the writer's byte order (NULL) or big-endian (LOOP).
            const uint32_t little = uint32_t{frame[0]} | (uint32_t{frame[1]} << 8) |
                                    (uint32_t{frame[2]} << 16) | (uint32_t{frame[3]} << 24);
            return little == kFamilyInet || be32(frame) == kFamilyInet ? std::optional<size_t>(4)
                                                                       : std::nullopt;
        }
        case DLT_RAW:
        case kLinkIpv4:
            return 0;
        default:
            return std::nullopt;
    }
}

}  // namespace NatNet::Pcap::Internal
