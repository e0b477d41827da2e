// UDP datagrams over IPv4 from a pcap or pcapng file (libpcap).
//
// Link types: Ethernet (with 802.1Q tags), Linux cooked (v1 and v2), BSD
// loopback/null and raw IPv4. IPv4 fragments are reassembled, within a
// bounded number of datagrams in flight. The UDP length field is trusted,
// never the captured frame length (short frames carry Ethernet padding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace NatNet::Dump {

struct UdpDatagram
{
    uint32_t sourceAddress = 0;  // host order
    uint32_t destinationAddress = 0;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    double captureTime = 0.0;  // seconds since the epoch
    bool truncated = false;    // the capture holds less than the UDP length says
    std::vector<uint8_t> payload;
};

class CaptureReader
{
public:
    CaptureReader();
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // False with a message when the file cannot be read or its link type is not supported.
    bool open(const std::string& path, std::string& error);
    // The next UDP datagram; false at the end of the capture.
    bool next(UdpDatagram& out);

    size_t packetsRead() const { return m_packets; }
    size_t packetsSkipped() const { return m_skipped; }  // not IPv4/UDP, or malformed

private:
    struct Fragments;
    enum class Parsed { Datagram, Pending, Skipped };

    Parsed parsePacket(const uint8_t* data, size_t captured, double time, UdpDatagram& out);
    Parsed parseIpv4(const uint8_t* data, size_t size, double time, UdpDatagram& out);
    Parsed parseUdp(uint32_t source, uint32_t destination, const uint8_t* data, size_t size, size_t available,
                    double time, UdpDatagram& out);

    struct PcapCloser
    {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, PcapCloser> m_pcap;
    int m_linkType = 0;
    size_t m_packets = 0;
    size_t m_skipped = 0;
    // key: source, destination, IP identification
    std::map<std::tuple<uint32_t, uint32_t, uint16_t>, std::unique_ptr<Fragments>> m_fragments;
};

std::string formatAddress(uint32_t hostOrderAddress);

}  // namespace NatNet::Dump
