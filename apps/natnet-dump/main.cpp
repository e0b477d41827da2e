// natnet-dump: prints one JSON object per NatNet datagram of a capture file
// (pcap or pcapng) or of live UDP traffic.
#include "CaptureDump.h"
#include "DatagramDescriber.h"
#include "ExitCode.h"
#include "UdpListener.h"
#include "natnet/transport/Ipv4Text.h"

#include <common/CommandLineChecks.h>
#include <common/GuardedMain.h>

#include <CLI/CLI.hpp>

#include <chrono>
#include <iostream>
#include <optional>
#include <string>

namespace {

bool parseVersion(const std::string& text, NatNet::Wire::Version& out)
{
    const std::optional<NatNet::Wire::Version> parsed = NatNet::Wire::Version::parse(text);
    if (!parsed || !NatNet::Wire::isSupported(*parsed)) return false;
    out = *parsed;
    return true;
}

std::string endpoint(uint32_t address, uint16_t port)
{
    return NatNet::Net::formatIpv4(address) + ":" + std::to_string(port);
}

}  // namespace

static int run(int argc, char** argv)
{
    CLI::App app{"Print NatNet datagrams as JSON, one object per line"};
    app.footer(NatNet::Dump::kExitCodeHelp);
    std::string capture;
    int listenPort = -1;
    std::string multicastGroup;
    std::string interfaceAddress;
    std::vector<int> ports{1510, 1511};
    std::string bitstream;
    size_t count = 0;
    double seconds = 0.0;
    app.add_option("capture", capture, "pcap or pcapng file to decode");
    app.add_option("--listen", listenPort, "receive live on this UDP port instead")
        ->check(CommandLine::port());
    app.add_option("--multicast", multicastGroup, "with --listen: join this multicast group");
    app.add_option("--interface", interfaceAddress, "with --listen: local interface address (default any)");
    app.add_option("--ports", ports, "capture: NatNet UDP ports (source or destination)")
        ->capture_default_str()
        ->check(CommandLine::port());
    app.add_option("--bitstream", bitstream,
                   "decode as this NatNet version (M.m), ignoring server information");
    app.add_option("--count", count, "stop after this many datagrams")->check(CommandLine::count<size_t>());
    app.add_option("--seconds", seconds, "with --listen: stop after this many seconds (0: no limit)")
        ->check(CommandLine::inRange(0.0, 1e7));
    if (const int code = CommandLine::parse(app, argc, argv); code >= 0) {
        return code;
    }

    if (capture.empty() == (listenPort < 0)) {
        std::cerr << "natnet-dump: give either a capture file or --listen PORT\n";
        return NatNet::Dump::kExitUsage;
    }
    NatNet::Wire::Version version(3, 0);
    if (!bitstream.empty() && !parseVersion(bitstream, version)) {
        std::cerr << "natnet-dump: unsupported bitstream version " << bitstream << "\n";
        return NatNet::Dump::kExitUsage;
    }
    NatNet::Dump::DatagramDescriber describer(version, !bitstream.empty());
    size_t printed = 0;
    auto done = [&] { return count != 0 && printed >= count; };

    if (!capture.empty()) {
        NatNet::Dump::CaptureDumpOptions options;
        options.ports.insert(ports.begin(), ports.end());  // each checked to be 0..65535
        options.count = count;
        return NatNet::Dump::dumpCapture(capture, options, describer, std::cout, std::cerr);
    }

    NatNet::Dump::UdpListener listener;
    std::string error;
    if (!listener.open(static_cast<uint16_t>(listenPort), multicastGroup, interfaceAddress, error)) {
        std::cerr << "natnet-dump: " << error << "\n";
        return NatNet::Dump::kExitCannotOpen;
    }
    std::cerr << "natnet-dump: listening on UDP port " << listener.boundPort() << "\n";
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> payload;
    while (!done()) {
        int waitMs = 200;
        if (seconds > 0.0) {
            const double left =
                seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (left <= 0.0) break;
            waitMs = std::min(waitMs, static_cast<int>(left * 1000.0) + 1);
        }
        uint32_t source = 0;
        uint16_t sourcePort = 0;
        if (!listener.receive(payload, source, sourcePort, waitMs)) continue;
        nlohmann::json line = describer.describe(payload.data(), payload.size());
        line["source"] = endpoint(source, sourcePort);
        std::cout << line.dump() << std::endl;
        ++printed;
    }
    return 0;
}

int main(int argc, char** argv)
{
    return CommandLine::guardedMain("natnet-dump", [&] { return run(argc, argv); });
}
