// UDP datagrams over IPv4 from a pcap or pcapng file (libpcap).
//
// Link types: Ethernet (with VLAN tags), Linux cooked (v1 and v2), BSD
// loopback/null and raw IPv4. IPv4 fragments are reassembled within the
// bounds of FragmentReassembler. The UDP length field is trusted, never the
// captured frame length (short frames carry Ethernet padding). A record that
// libpcap cannot read ends the capture with its error, never silently.
#pragma once

#include "natnet/capture/FragmentReassembler.h"
#include "natnet/capture/UdpDatagram.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace NatNet::Pcap {

class CaptureReader
{
public:
    explicit CaptureReader(const FragmentLimits& limits = {});
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // False with a message when the file cannot be read or its link type is not supported.
    bool open(const std::string& path, std::string& error);
    // The next UDP datagram; false at the end of the capture, or at a broken record (then failed()).
    bool next(UdpDatagram& out);

    bool failed() const { return !m_error.empty(); }
    // libpcap's description of the record it could not read.
    const std::string& error() const { return m_error; }
    size_t packetsRead() const { return m_packets; }
    size_t packetsSkipped() const { return m_skipped; }  // not IPv4/UDP, malformed, or a cut-short fragment
    const FragmentReassembler& fragments() const { return m_fragments; }

private:
    enum class Parsed { Datagram, Pending, Skipped };

    Parsed parseIpv4(const uint8_t* ip, size_t available, double time, UdpDatagram& out);
    static Parsed parseUdp(uint32_t source, uint32_t destination, const uint8_t* udp, size_t size,
                           size_t available, double time, UdpDatagram& out);

    struct PcapCloser
    {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, PcapCloser> m_pcap;
    int m_linkType = 0;
    size_t m_packets = 0;
    size_t m_skipped = 0;
    std::string m_error;
    FragmentReassembler m_fragments;
    std::vector<uint8_t> m_whole;  // the last reassembled IP payload
};

}  // namespace NatNet::Pcap
