// natnet-sim: serves NatNet on this machine as Motive would, streaming
// synthetic rigid bodies or replaying a capture.
#include "SimCommand.h"

#include <common/CommandLineChecks.h>
#include <common/GuardedMain.h>

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <string>
#include <vector>

static int run(int argc, char** argv)
{
    CLI::App app{"NatNet server simulator: answers NatNet clients and streams rigid bodies or a capture"};
    NatNetSimApp::SimOptions options;
    std::string bitstream = "4.1";
    std::string units = "m";
    bool multicast = false;
    bool unicast = false;

    app.add_option("--local-address", options.server.localAddress, "address the sockets bind to")
        ->capture_default_str();
    options.server.commandPort = 1510;
    options.server.dataPort = 1511;
    app.add_option("--command-port", options.server.commandPort, "command port (0: any free port)")
        ->check(CommandLine::port())
        ->capture_default_str();
    app.add_option("--data-port", options.server.dataPort, "data port (0: any free port)")
        ->check(CommandLine::port())
        ->capture_default_str();
    auto* multicastFlag =
        app.add_flag("--multicast", multicast, "send frames to a multicast group (default)");
    app.add_flag("--unicast", unicast, "send frames to each connected client")->excludes(multicastFlag);
    app.add_option("--multicast-address", options.server.multicastAddress, "multicast group")
        ->capture_default_str();
    options.server.multicastTtl = 1;
    app.add_option("--multicast-ttl", options.server.multicastTtl,
                   "multicast TTL (0 keeps frames on this host)")
        ->check(CommandLine::inRange(0, 255))
        ->capture_default_str();
    app.add_flag("--answer-broadcasts", options.server.answerBroadcasts,
                 "bind the command port on every interface so that broadcast discovery arrives");
    app.add_option("--client-timeout", options.server.clientTimeoutMs,
                   "drop unicast clients silent for this many milliseconds")
        ->check(CommandLine::inRange(1, 3600 * 1000))
        ->capture_default_str();
    app.add_option("--bitstream", bitstream, "NatNet bitstream version M.m (2.5 ... 4.2)")
        ->capture_default_str();
    app.add_option("--rigid-bodies", options.scenario.rigidBodies, "number of rigid bodies")
        ->check(CommandLine::inRange(0, 1000))
        ->capture_default_str();
    app.add_option("--rate", options.scenario.rateHz, "frames per second")
        ->check(CommandLine::inRange(0.1, 100000.0))
        ->capture_default_str();
    app.add_option("--units", units, "length unit of the positions: m or mm")
        ->check(CLI::IsMember({"m", "mm"}))
        ->capture_default_str();
    app.add_flag("--invalid-gaps", options.scenario.invalidGaps, "bodies lose tracking 0.5 s in every 5 s");
    app.add_option("--new-ids-per-frame", options.scenario.newIdsPerFrame,
                   "misbehaviour: every frame also carries this many never-seen rigid-body IDs")
        ->check(CLI::Range(0, 1000))
        ->capture_default_str();
    bool noMarkers = false;
    app.add_flag("--no-markers", noMarkers, "rigid bodies only: no marker sets, no labeled markers");
    app.add_option("--duration", options.durationSeconds, "seconds to run (0: until Ctrl-C)")
        ->check(CommandLine::inRange(0.0, 1e7))
        ->capture_default_str();
    app.add_option("--replay", options.replayFile,
                   "send the NatNet frames of this pcap/pcapng at their timing")
        ->check(CLI::ExistingFile);
    app.add_option("--replay-loops", options.replayLoops, "replays of the capture (0: until stopped)")
        ->check(CommandLine::inRange(0, 1000000))
        ->capture_default_str();
    std::vector<int> replayPorts{1510, 1511};
    app.add_option("--replay-ports", replayPorts,
                   "the NatNet UDP ports in the capture (source or destination), when not Motive's")
        ->capture_default_str()
        ->check(CommandLine::port(1));
    app.add_flag("--quiet", options.quiet, "print only where it listens");

    app.footer("Exit codes: 0 success, 1 the simulator could not start, 2 bad usage.");
    if (const int code = CommandLine::parse(app, argc, argv); code >= 0) {
        return code;
    }
    if (!NatNetSimApp::parseBitstream(bitstream, options.bitstream)) {
        std::cerr << "natnet-sim: --bitstream " << bitstream
                  << ": not a version this simulator emits (2.5 ... 4.2)\n";
        return 2;
    }
    options.server.multicast = !unicast;
    options.replayPorts.clear();
    for (const int port : replayPorts) {
        options.replayPorts.push_back(static_cast<uint16_t>(port));  // checked above
    }
    options.scenario.units = units == "mm" ? NatNet::Sim::Units::Millimetres : NatNet::Sim::Units::Metres;
    options.scenario.markers = !noMarkers;
    return NatNetSimApp::runSimulator(options);
}

int main(int argc, char** argv)
{
    return CommandLine::guardedMain("natnet-sim", [&] { return run(argc, argv); });
}
