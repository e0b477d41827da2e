#include "CaptureDump.h"

#include "CaptureReader.h"
#include "ExitCode.h"

#include "natnet/transport/Ipv4Text.h"

namespace NatNet::Dump {

namespace {

std::string endpoint(uint32_t address, uint16_t port)
{
    return Net::formatIpv4(address) + ":" + std::to_string(port);
}

void printSummary(const CaptureReader& reader, size_t printed, size_t otherPorts,
                  const DatagramDescriber& describer, std::ostream& err)
{
    const Pcap::FragmentCounters& fragments = reader.fragments().counters();
    err << "natnet-dump: " << reader.packetsRead() << " records, " << printed << " NatNet datagrams ("
        << describer.badDatagrams() << " undecodable), " << otherPorts << " UDP datagrams on other ports, "
        << reader.packetsSkipped()
        << " records not UDP over IPv4 or malformed; fragments: " << fragments.fragments << " read, "
        << fragments.reassembled << " datagrams reassembled, " << fragments.duplicates << " duplicate, "
        << fragments.malformed << " malformed; datagrams dropped unfinished: " << fragments.evicted
        << " evicted, " << fragments.expired << " expired, " << fragments.conflicting << " conflicting, "
        << reader.fragments().pendingDatagrams() << " at the end\n";
}

}  // namespace

int dumpCapture(const std::string& path, const CaptureDumpOptions& options, DatagramDescriber& describer,
                std::ostream& out, std::ostream& err)
{
    CaptureReader reader;
    std::string error;
    if (!reader.open(path, error)) {
        err << "natnet-dump: " << path << ": " << error << "\n";
        return kExitCannotOpen;
    }
    size_t printed = 0;
    size_t otherPorts = 0;
    UdpDatagram datagram;
    while ((options.count == 0 || printed < options.count) && reader.next(datagram)) {
        if (options.ports.count(datagram.sourcePort) == 0 &&
            options.ports.count(datagram.destinationPort) == 0) {
            ++otherPorts;
            continue;
        }
        nlohmann::json line = describer.describe(datagram.payload.data(), datagram.payload.size());
        line["time"] = datagram.captureTime;
        line["source"] = endpoint(datagram.sourceAddress, datagram.sourcePort);
        line["destination"] = endpoint(datagram.destinationAddress, datagram.destinationPort);
        if (datagram.truncated) {
            line["captureTruncated"] = true;
        }
        out << line.dump() << "\n";
        ++printed;
    }
    out.flush();
    printSummary(reader, printed, otherPorts, describer, err);
    if (reader.failed()) {
        err << "natnet-dump: " << path << ": " << reader.error() << " (after " << reader.packetsRead()
            << " records)\n";
        return kExitBrokenCapture;
    }
    return kExitOk;
}

}  // namespace NatNet::Dump
