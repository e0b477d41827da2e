#include "natnet/capture/CaptureReader.h"

#include "BigEndian.h"
#include "LinkLayer.h"

#include <pcap/pcap.h>

#include <algorithm>

namespace NatNet::Pcap {

using Internal::be16;
using Internal::be32;

namespace {

constexpr uint8_t kProtocolUdp = 17;

}  // namespace

void CaptureReader::PcapCloser::operator()(void* handle) const
{
    pcap_close(static_cast<pcap_t*>(handle));
}

CaptureReader::CaptureReader(const FragmentLimits& limits) : m_fragments(limits) {}

CaptureReader::~CaptureReader() = default;

bool CaptureReader::open(const std::string& path, std::string& error)
{
    char message[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(path.c_str(), message);
    if (handle == nullptr) {
        error = message;
        return false;
    }
    m_pcap.reset(handle);
    m_linkType = pcap_datalink(handle);
    if (!Internal::isSupportedLinkType(m_linkType)) {
        error = "unsupported link type " + std::to_string(m_linkType);
        m_pcap.reset();
        return false;
    }
    return true;
}

bool CaptureReader::next(UdpDatagram& out)
{
    if (!m_pcap || failed()) {
        return false;
    }
    pcap_t* handle = static_cast<pcap_t*>(m_pcap.get());
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(handle, &header, &data);
        if (result == PCAP_ERROR_BREAK) {
            return false;  // the end of the file
        }
        if (result != 1) {
            const char* text = pcap_geterr(handle);
            m_error = text != nullptr && *text != '\0' ? text : "unreadable record";
            return false;
        }
        ++m_packets;
        const double time =
            static_cast<double>(header->ts.tv_sec) + static_cast<double>(header->ts.tv_usec) * 1e-6;
        const std::optional<size_t> offset = Internal::ipv4Offset(m_linkType, data, header->caplen);
        const Parsed parsed = offset && *offset <= header->caplen
                                  ? parseIpv4(data + *offset, header->caplen - *offset, time, out)
                                  : Parsed::Skipped;
        if (parsed == Parsed::Datagram) {
            return true;
        }
        if (parsed == Parsed::Skipped) {
            ++m_skipped;
        }
    }
}

CaptureReader::Parsed CaptureReader::parseIpv4(const uint8_t* ip, size_t available, double time,
                                               UdpDatagram& out)
{
    if (available < 20 || (ip[0] >> 4) != 4) {
        return Parsed::Skipped;
    }
    const size_t headerSize = size_t{ip[0] & 0x0Fu} * 4;
    const size_t totalSize = be16(ip + 2);
    if (headerSize < 20 || totalSize < headerSize || available < headerSize || ip[9] != kProtocolUdp) {
        return Parsed::Skipped;
    }
    const uint32_t source = be32(ip + 12);
    const uint32_t destination = be32(ip + 16);
    const uint16_t flagsAndOffset = be16(ip + 6);
    const bool moreFragments = (flagsAndOffset & 0x2000) != 0;
    const size_t fragmentOffset = size_t{flagsAndOffset & 0x1FFFu} * 8;
    const size_t payloadSize = totalSize - headerSize;
    const size_t payloadAvailable = std::min(available - headerSize, payloadSize);
    const uint8_t* payload = ip + headerSize;

    if (!moreFragments && fragmentOffset == 0) {
        return parseUdp(source, destination, payload, payloadSize, payloadAvailable, time, out);
    }
    if (payloadAvailable < payloadSize) {
        return Parsed::Skipped;  // a fragment cut short by the snapshot length cannot complete anything
    }
    Fragment fragment;
    fragment.key = {source, destination, be16(ip + 4), ip[9]};
    fragment.offset = fragmentOffset;
    fragment.moreFragments = moreFragments;
    fragment.data = payload;
    fragment.size = payloadSize;
    fragment.time = time;
    if (!m_fragments.add(fragment, m_whole)) {
        return Parsed::Pending;
    }
    return parseUdp(source, destination, m_whole.data(), m_whole.size(), m_whole.size(), time, out);
}

CaptureReader::Parsed CaptureReader::parseUdp(uint32_t source, uint32_t destination, const uint8_t* udp,
                                              size_t size, size_t available, double time, UdpDatagram& out)
{
    if (available < 8 || size < 8) {
        return Parsed::Skipped;
    }
    const size_t udpLength = be16(udp + 4);
    if (udpLength < 8 || udpLength > size) {
        return Parsed::Skipped;
    }
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

}  // namespace NatNet::Pcap
