#include "CaptureReader.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <cstring>

namespace NatNet::Dump {
namespace Internal {
namespace {

constexpr size_t kMaxFragmentedDatagrams = 64;  // in flight at once; the oldest is dropped
constexpr size_t kMaxIpv4Datagram = 65535;

uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace
}  // namespace Internal

using namespace Internal;

// One IPv4 datagram being reassembled: the bytes so far and which ranges are filled.
struct CaptureReader::Fragments
{
    std::vector<uint8_t> bytes;
    std::vector<std::pair<size_t, size_t>> ranges;  // [begin, end) of the IP payload
    size_t totalSize = 0;                           // known once the last fragment arrived
    size_t order = 0;

    bool complete() const
    {
        if (totalSize == 0) return false;
        std::vector<std::pair<size_t, size_t>> sorted = ranges;
        std::sort(sorted.begin(), sorted.end());
        size_t covered = 0;
        for (const auto& r : sorted) {
            if (r.first > covered) return false;
            covered = std::max(covered, r.second);
        }
        return covered >= totalSize;
    }
};

void CaptureReader::PcapCloser::operator()(void* handle) const
{
    pcap_close(static_cast<pcap_t*>(handle));
}

CaptureReader::CaptureReader() = default;
CaptureReader::~CaptureReader() = default;

bool CaptureReader::open(const std::string& path, std::string& error)
{
    char message[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(path.c_str(), message);
    if (!handle) {
        error = message;
        return false;
    }
    m_pcap.reset(handle);
    m_linkType = pcap_datalink(handle);
    switch (m_linkType) {
        case DLT_EN10MB:
        case DLT_LINUX_SLL:
        case DLT_LINUX_SLL2:
        case DLT_NULL:
        case DLT_LOOP:
        case DLT_RAW:
        case DLT_IPV4:
            return true;
        default:
            error = std::string("unsupported link type ") + std::to_string(m_linkType);
            m_pcap.reset();
            return false;
    }
}

bool CaptureReader::next(UdpDatagram& out)
{
    if (!m_pcap) return false;
    pcap_t* handle = static_cast<pcap_t*>(m_pcap.get());
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(handle, &header, &data);
        if (result != 1) return false;  // end of file or a read error
        ++m_packets;
        const double time = double(header->ts.tv_sec) + double(header->ts.tv_usec) * 1e-6;
        switch (parsePacket(data, header->caplen, time, out)) {
            case Parsed::Datagram:
                return true;
            case Parsed::Pending:
                break;
            case Parsed::Skipped:
                ++m_skipped;
                break;
        }
    }
}

CaptureReader::Parsed CaptureReader::parsePacket(const uint8_t* data, size_t captured, double time,
                                                 UdpDatagram& out)
{
    size_t offset = 0;
    uint16_t etherType = 0x0800;
    switch (m_linkType) {
        case DLT_EN10MB:
            if (captured < 14) return Parsed::Skipped;
            etherType = be16(data + 12);
            offset = 14;
            while ((etherType == 0x8100 || etherType == 0x88A8) && captured >= offset + 4) {
                etherType = be16(data + offset + 2);
                offset += 4;
            }
            break;
        case DLT_LINUX_SLL:
            if (captured < 16) return Parsed::Skipped;
            etherType = be16(data + 14);
            offset = 16;
            break;
        case DLT_LINUX_SLL2:
            if (captured < 20) return Parsed::Skipped;
            etherType = be16(data);
            offset = 20;
            break;
        case DLT_NULL:
        case DLT_LOOP: {
            if (captured < 4) return Parsed::Skipped;
            // Address family 2 (AF_INET) in the writer's byte order (NULL) or big-endian (LOOP).
            uint32_t family = 0;
            std::memcpy(&family, data, 4);
            const bool inet = family == 2 || family == 0x02000000u || be32(data) == 2;
            if (!inet) return Parsed::Skipped;
            offset = 4;
            break;
        }
        default:  // raw IPv4
            break;
    }
    if (etherType != 0x0800 || captured < offset) return Parsed::Skipped;
    return parseIpv4(data + offset, captured - offset, time, out);
}

CaptureReader::Parsed CaptureReader::parseIpv4(const uint8_t* ip, size_t available, double time,
                                               UdpDatagram& out)
{
    if (available < 20 || (ip[0] >> 4) != 4) return Parsed::Skipped;
    const size_t headerSize = size_t(ip[0] & 0x0F) * 4;
    const size_t totalSize = be16(ip + 2);
    if (headerSize < 20 || totalSize < headerSize || available < headerSize || ip[9] != 17)
        return Parsed::Skipped;
    const uint32_t source = be32(ip + 12);
    const uint32_t destination = be32(ip + 16);
    const uint16_t flagsAndOffset = be16(ip + 6);
    const bool moreFragments = (flagsAndOffset & 0x2000) != 0;
    const size_t fragmentOffset = size_t(flagsAndOffset & 0x1FFF) * 8;
    const size_t payloadSize = totalSize - headerSize;
    const size_t payloadAvailable = std::min(available - headerSize, payloadSize);
    const uint8_t* payload = ip + headerSize;

    if (!moreFragments && fragmentOffset == 0)
        return parseUdp(source, destination, payload, payloadSize, payloadAvailable, time, out);

    // A fragment: collect until every byte of the datagram is there.
    if (payloadAvailable < payloadSize || fragmentOffset + payloadSize > kMaxIpv4Datagram)
        return Parsed::Skipped;
    const auto key = std::make_tuple(source, destination, be16(ip + 4));
    auto& slot = m_fragments[key];
    if (!slot) {
        if (m_fragments.size() > kMaxFragmentedDatagrams) {
            auto oldest =
                std::min_element(m_fragments.begin(), m_fragments.end(), [](const auto& a, const auto& b) {
                    return a.second && (!b.second || a.second->order < b.second->order);
                });
            if (oldest != m_fragments.end() && oldest->first != key) m_fragments.erase(oldest);
        }
        slot = std::make_unique<Fragments>();
        slot->order = m_packets;
    }
    Fragments& f = *m_fragments[key];
    if (f.bytes.size() < fragmentOffset + payloadSize) f.bytes.resize(fragmentOffset + payloadSize);
    std::memcpy(f.bytes.data() + fragmentOffset, payload, payloadSize);
    f.ranges.emplace_back(fragmentOffset, fragmentOffset + payloadSize);
    if (!moreFragments) f.totalSize = fragmentOffset + payloadSize;
    if (!f.complete()) return Parsed::Pending;
    std::vector<uint8_t> whole = std::move(f.bytes);
    m_fragments.erase(key);
    whole.resize(std::min(whole.size(), kMaxIpv4Datagram));
    const Parsed parsed = parseUdp(source, destination, whole.data(), whole.size(), whole.size(), time, out);
    return parsed;
}

CaptureReader::Parsed CaptureReader::parseUdp(uint32_t source, uint32_t destination, const uint8_t* udp,
                                              size_t size, size_t available, double time, UdpDatagram& out)
{
    if (available < 8 || size < 8) return Parsed::Skipped;
    const size_t udpLength = be16(udp + 4);
    if (udpLength < 8 || udpLength > size) return Parsed::Skipped;
    out.sourceAddress = source;
    out.destinationAddress = destination;
    out.sourcePort = be16(udp);
    out.destinationPort = be16(udp + 2);
    out.captureTime = time;
    const size_t wanted = udpLength - 8;
    const size_t have = std::min(wanted, available - 8);
    out.truncated = have < wanted;
    out.payload.assign(udp + 8, udp + 8 + have);
    return Parsed::Datagram;
}

std::string formatAddress(uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

}  // namespace NatNet::Dump
