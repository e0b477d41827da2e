// The NatNet datagrams of a pcap or pcapng capture (libpcap), for replay.
//
// Read with natnet/capture's reader: the same link types and fragment
// reassembly as natnet-dump. A file with a broken record is refused, not
// replayed up to the break.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace NatNet::Sim {

struct CapturedDatagram
{
    double seconds = 0.0;  // capture time, from the first datagram kept
    uint32_t source = 0;   // IPv4, host byte order
    uint32_t destination = 0;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    std::vector<uint8_t> bytes;  // the UDP payload: one NatNet message
};

class Capture
{
public:
    // Keeps UDP datagrams from or to one of the ports (empty: every port), except those the
    // capture cut short. Nothing, with libpcap's message, when a record cannot be read.
    static std::optional<Capture> read(const std::string& path, std::string* error = nullptr,
                                       const std::vector<uint16_t>& ports = {1510, 1511});

    const std::vector<CapturedDatagram>& datagrams() const { return m_datagrams; }
    // The frames of data (message 7), in capture order.
    std::vector<const CapturedDatagram*> frames() const;
    // The bitstream version of the first server information in the capture.
    std::optional<std::array<uint8_t, 4>> serverNatNetVersion() const;
    // The payload of the first model definitions reply in the capture.
    std::optional<std::vector<uint8_t>> modelDefinitionsPayload() const;

private:
    std::vector<CapturedDatagram> m_datagrams;
};

}  // namespace NatNet::Sim
