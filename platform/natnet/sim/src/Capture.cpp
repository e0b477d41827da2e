#include "natnet/sim/Capture.h"

#include "natnet/codec/MessageId.h"
#include "natnet/codec/Messages.h"

#include "natnet/capture/CaptureReader.h"

#include <algorithm>

namespace NatNet::Sim {

std::optional<Capture> Capture::read(const std::string& path, std::string* error,
                                     const std::vector<uint16_t>& ports)
{
    const auto fail = [error](const std::string& message) {
        if (error != nullptr) {
            *error = message;
        }
        return std::nullopt;
    };
    Pcap::CaptureReader reader;
    std::string message;
    if (!reader.open(path, message)) {
        return fail(message);
    }
    const auto wanted = [&ports](uint16_t port) {
        return std::find(ports.begin(), ports.end(), port) != ports.end();
    };
    Capture capture;
    double firstSeconds = 0.0;
    Pcap::UdpDatagram udp;
    while (reader.next(udp)) {
        // A message cut short by the snapshot length would replay as a different one.
        if (udp.truncated || (!ports.empty() && !wanted(udp.sourcePort) && !wanted(udp.destinationPort))) {
            continue;
        }
        if (capture.m_datagrams.empty()) {
            firstSeconds = udp.captureTime;
        }
        CapturedDatagram datagram;
        datagram.seconds = udp.captureTime - firstSeconds;
        datagram.source = udp.sourceAddress;
        datagram.destination = udp.destinationAddress;
        datagram.sourcePort = udp.sourcePort;
        datagram.destinationPort = udp.destinationPort;
        datagram.bytes = std::move(udp.payload);
        capture.m_datagrams.push_back(std::move(datagram));
    }
    // Replaying the readable start of a broken file would pass it off as the whole session.
    if (reader.failed()) {
        return fail(reader.error() + " (after " + std::to_string(reader.packetsRead()) + " records)");
    }
    return capture;
}

std::vector<const CapturedDatagram*> Capture::frames() const
{
    std::vector<const CapturedDatagram*> out;
    for (const CapturedDatagram& datagram : m_datagrams) {
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
    for (const CapturedDatagram& datagram : m_datagrams) {
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
    for (const CapturedDatagram& datagram : m_datagrams) {
        Wire::Datagram message;
        if (Wire::decodeDatagram(datagram.bytes.data(), datagram.bytes.size(), message) == Wire::Status::Ok &&
            message.messageId == static_cast<uint16_t>(Wire::MessageId::ModelDef)) {
            return std::vector<uint8_t>(message.payload, message.payload + message.payloadSize);
        }
    }
    return std::nullopt;
}

}  // namespace NatNet::Sim
