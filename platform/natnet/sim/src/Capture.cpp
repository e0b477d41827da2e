#include "natnet/sim/Capture.h"

#include "natnet/codec/MessageId.h"
#include "natnet/codec/Messages.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

namespace NatNet::Sim {

namespace {

constexpr int kLinkLinuxSll2 = 276;  // DLT_LINUX_SLL2, missing in older headers

uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Offset of the IPv4 header in a link-layer frame, or -1 when it is not IPv4.
long ipOffset(int linkType, const uint8_t* data, size_t size)
{
    switch (linkType) {
        case DLT_EN10MB: {
            size_t offset = 12;
            while (offset + 2 <= size) {
                const uint16_t type = be16(data + offset);
                if (type == 0x8100 || type == 0x88A8) {  // VLAN tags
                    offset += 4;
                    continue;
                }
                return type == 0x0800 ? static_cast<long>(offset + 2) : -1;
            }
            return -1;
        }
        case DLT_LINUX_SLL:
            return size >= 16 && be16(data + 14) == 0x0800 ? 16 : -1;
        case kLinkLinuxSll2:
            return size >= 20 && be16(data) == 0x0800 ? 20 : -1;
        case DLT_NULL:
        case DLT_LOOP: {
            if (size < 4) {
                return -1;
            }
            // The family is in the capturing host's byte order (DLT_NULL) or big-endian (DLT_LOOP).
            const uint32_t little = uint32_t{data[0]} | (uint32_t{data[1]} << 8) | (uint32_t{data[2]} << 16) |
                                    (uint32_t{data[3]} << 24);
            return (little == 2 || be32(data) == 2) ? 4 : -1;
        }
        case DLT_RAW:
            return 0;
        default:
            return -1;
    }
}

struct FragmentKey
{
    uint32_t source;
    uint32_t destination;
    uint16_t id;
    bool operator<(const FragmentKey& other) const
    {
        return std::tie(source, destination, id) < std::tie(other.source, other.destination, other.id);
    }
};

struct Fragments
{
    std::map<size_t, std::vector<uint8_t>> pieces;  // by offset in the IP payload
    size_t totalSize = 0;                           // known once the last fragment is seen
    double seconds = 0.0;
};

}  // namespace

std::optional<Capture> Capture::read(const std::string& path, std::string* error,
                                     const std::vector<uint16_t>& ports)
{
    char message[PCAP_ERRBUF_SIZE] = {};
    std::unique_ptr<pcap_t, void (*)(pcap_t*)> handle(pcap_open_offline(path.c_str(), message), pcap_close);
    if (!handle) {
        if (error != nullptr) {
            *error = message;
        }
        return std::nullopt;
    }
    const int linkType = pcap_datalink(handle.get());
    Capture capture;
    std::map<FragmentKey, Fragments> partial;
    double firstSeconds = -1.0;

    const auto keepUdp = [&](double seconds, uint32_t source, uint32_t destination, const uint8_t* udp,
                             size_t size) {
        if (size < 8) {
            return;
        }
        const uint16_t sourcePort = be16(udp);
        const uint16_t destinationPort = be16(udp + 2);
        const size_t udpLength = be16(udp + 4);
        if (udpLength < 8 || udpLength > size) {
            return;  // truncated capture: never trust the captured length beyond the UDP length
        }
        if (!ports.empty() && std::find(ports.begin(), ports.end(), sourcePort) == ports.end() &&
            std::find(ports.begin(), ports.end(), destinationPort) == ports.end()) {
            return;
        }
        if (firstSeconds < 0.0) {
            firstSeconds = seconds;
        }
        CapturedDatagram datagram;
        datagram.seconds = seconds - firstSeconds;
        datagram.source = source;
        datagram.destination = destination;
        datagram.sourcePort = sourcePort;
        datagram.destinationPort = destinationPort;
        datagram.bytes.assign(udp + 8, udp + udpLength);
        capture.datagrams_.push_back(std::move(datagram));
    };

    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(handle.get(), &header, &data) == 1) {
        const size_t size = header->caplen;
        const long offset = ipOffset(linkType, data, size);
        if (offset < 0 || static_cast<size_t>(offset) + 20 > size) {
            continue;
        }
        const uint8_t* ip = data + offset;
        const size_t available = size - static_cast<size_t>(offset);
        const size_t headerLength = size_t{ip[0] & 0x0Fu} * 4;
        const size_t totalLength = be16(ip + 2);
        if ((ip[0] >> 4) != 4 || ip[9] != 17 || headerLength < 20 || totalLength < headerLength ||
            totalLength > available) {
            continue;
        }
        const double seconds = static_cast<double>(header->ts.tv_sec) + header->ts.tv_usec * 1e-6;
        const uint32_t source = be32(ip + 12);
        const uint32_t destination = be32(ip + 16);
        const uint16_t flags = be16(ip + 6);
        const bool moreFragments = (flags & 0x2000) != 0;
        const size_t fragmentOffset = size_t{flags & 0x1FFFu} * 8;
        const uint8_t* payload = ip + headerLength;
        const size_t payloadSize = totalLength - headerLength;
        if (!moreFragments && fragmentOffset == 0) {
            keepUdp(seconds, source, destination, payload, payloadSize);
            continue;
        }
        Fragments& pending = partial[{source, destination, be16(ip + 4)}];
        if (pending.pieces.empty()) {
            pending.seconds = seconds;
        }
        pending.pieces[fragmentOffset].assign(payload, payload + payloadSize);
        if (!moreFragments) {
            pending.totalSize = fragmentOffset + payloadSize;
        }
        if (pending.totalSize == 0) {
            continue;
        }
        std::vector<uint8_t> whole;
        for (const auto& [pieceOffset, piece] : pending.pieces) {
            if (pieceOffset != whole.size()) {
                break;  // a hole: wait for more fragments
            }
            whole.insert(whole.end(), piece.begin(), piece.end());
        }
        if (whole.size() == pending.totalSize) {
            keepUdp(pending.seconds, source, destination, whole.data(), whole.size());
            partial.erase({source, destination, be16(ip + 4)});
        }
    }
    return capture;
}

std::vector<const CapturedDatagram*> Capture::frames() const
{
    std::vector<const CapturedDatagram*> out;
    for (const CapturedDatagram& datagram : datagrams_) {
        Wire::Datagram message;
        if (Wire::decodeDatagram(datagram.bytes.data(), datagram.bytes.size(), message) == Wire::Status::Ok &&
            message.messageId == static_cast<uint16_t>(Wire::MessageId::FrameOfData)) {
            out.push_back(&datagram);
        }
    }
    return out;
}

std::optional<std::array<uint8_t, 4>> Capture::serverNatNetVersion() const
{
    for (const CapturedDatagram& datagram : datagrams_) {
        Wire::Datagram message;
        Wire::ServerInfo info;
        if (Wire::decodeDatagram(datagram.bytes.data(), datagram.bytes.size(), message) == Wire::Status::Ok &&
            message.messageId == static_cast<uint16_t>(Wire::MessageId::ServerInfo) &&
            Wire::decodeServerInfo(message.payload, message.payloadSize, info) == Wire::Status::Ok) {
            return std::array<uint8_t, 4>{info.sender.natNetVersion[0], info.sender.natNetVersion[1],
                                          info.sender.natNetVersion[2], info.sender.natNetVersion[3]};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> Capture::modelDefinitionsPayload() const
{
    for (const CapturedDatagram& datagram : datagrams_) {
        Wire::Datagram message;
        if (Wire::decodeDatagram(datagram.bytes.data(), datagram.bytes.size(), message) == Wire::Status::Ok &&
            message.messageId == static_cast<uint16_t>(Wire::MessageId::ModelDef)) {
            return std::vector<uint8_t>(message.payload, message.payload + message.payloadSize);
        }
    }
    return std::nullopt;
}

}  // namespace NatNet::Sim
