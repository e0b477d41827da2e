// natnet-latency: what the module adds to a frame's trip on this machine, measured on loopback.
// For every rate: the raw one-way UDP latency of a datagram of a frame's size (the floor), then
// the full path from the simulator's send through the NatNet client, onFrameReceived, the
// instrument store and a listener of the stream's update signal; percentiles, lost frames, the
// ratio of the two, and the receiving thread's CPU time.

#include "FullPathProbe.h"
#include "LatencyReport.h"
#include "RawUdpProbe.h"

#include "Clocks.h"

#include <Quorvane/Core/Log.h>

#include <common/CommandLineChecks.h>
#include <common/GuardedMain.h>

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

using namespace NatNetLatency;

static int run(int argc, char** argv)
{
    CLI::App app{"Latency and loss of the OptiTrack stream's frame path on loopback, against raw UDP."};
    std::vector<double> rates{240.0, 1000.0, 10000.0};
    std::vector<double> durations{3.0};
    int rigidBodies = 32;
    std::string mode = "multicast";
    double warmup = 0.25;
    bool json = false;
    bool verbose = false;
    bool reactorFloor = false;
    app.add_option("--rates", rates, "frame rates in Hz")
        ->delimiter(',')
        ->check(CommandLine::inRange(1.0, 100000.0));
    app.add_option("--durations", durations,
                   "measured seconds per rate: one value for all, or one per rate (10 s or more for the 10 "
                   "kHz loss check)")
        ->delimiter(',')
        ->check(CommandLine::inRange(0.01, 600.0));
    app.add_option("--rigid-bodies", rigidBodies, "rigid bodies per frame")
        ->check(CommandLine::inRange(1, 1000));
    app.add_option("--mode", mode, "how frames travel")->check(CLI::IsMember({"multicast", "unicast"}));
    app.add_option("--warmup", warmup, "seconds of unmeasured frames before each measurement")
        ->check(CommandLine::inRange(0.0, 10.0));
    app.add_flag("--json", json, "end with one JSON object per rate");
    app.add_flag("--verbose", verbose, "keep the host log on the console");
    app.add_flag("--reactor-floor", reactorFloor,
                 "also measure raw UDP received the way an event loop does (epoll, then non-blocking reads)");
    if (const int code = CommandLine::parse(app, argc, argv); code >= 0) {
        return code;
    }

    if (durations.size() != 1 && durations.size() != rates.size()) {
        std::cerr << "--durations needs one value or one per rate\n";
        return 2;
    }
    if (!verbose) Quorvane::Log::removeSink(Quorvane::Log::consoleSink());

    const std::size_t datagramBytes = fullPathDatagramBytes(rigidBodies);
    std::vector<RateReport> reports;
    bool failed = false;
    for (std::size_t i = 0; i < rates.size(); ++i) {
        RateReport report;
        report.config.rateHz = rates[i];
        report.config.rigidBodies = rigidBodies;
        report.config.durationSeconds = durations.size() == 1 ? durations[0] : durations[i];
        report.config.warmupSeconds = warmup;
        report.config.multicast = mode == "multicast";
        if (report.config.warmupFrames() + report.config.measuredFrames() > kMaxFullPathFrames) {
            std::cerr << "rate " << rates[i] << " Hz: too many frames for one run (at most 2^24)\n";
            return 2;
        }
        report.datagramBytes = datagramBytes;
        report.loadAverage = loadAverage1();
        report.raw = runRawUdp(report.config, datagramBytes);
        if (reactorFloor) {
            report.hasReactorFloor = true;
            report.rawReactor = runRawUdp(report.config, datagramBytes, true);
        }
        report.full = runFullPath(report.config);
        if (!report.raw.ok || !report.full.ok) {
            std::cerr << "rate " << rates[i]
                      << " Hz: " << (report.raw.ok ? report.full.error : report.raw.error) << '\n';
            failed = true;
        }
        printText(std::cout, report);
        std::cout.flush();
        reports.push_back(report);
    }
    if (json) {
        for (const RateReport& report : reports) std::cout << toJson(report).dump() << '\n';
    }
    return failed ? 1 : 0;
}

int main(int argc, char** argv)
{
    return CommandLine::guardedMain("natnet-latency", [&] { return run(argc, argv); });
}
