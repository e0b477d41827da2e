#include "SimCommand.h"

#include "natnet/sim/Capture.h"
#include "natnet/sim/Simulator.h"

#include "natnet/codec/Version.h"

#include <pthread.h>
#include <chrono>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>

namespace NatNetSimApp {

namespace {

std::string versionText(const std::array<uint8_t, 4>& v)
{
    return std::to_string(v[0]) + "." + std::to_string(v[1]);
}

// Blocks SIGINT and SIGTERM in every thread (call before any thread starts) so
// that the main thread alone receives them with sigtimedwait.
sigset_t blockTerminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// Waits up to `ms` for SIGINT/SIGTERM; true when one arrived.
bool waitForSignal(const sigset_t& signals, int ms)
{
    timespec timeout{ms / 1000, (ms % 1000) * 1'000'000L};
    return sigtimedwait(&signals, nullptr, &timeout) > 0;
}

}  // namespace

bool parseBitstream(const std::string& text, std::array<uint8_t, 4>& out)
{
    const std::optional<NatNet::Wire::Version> version = NatNet::Wire::Version::parse(text);
    // Layouts from 2.5 (the oldest real capture) to 4.2 (the newest this codec writes).
    if (!version || !version->atLeast(NatNet::Wire::Version(2, 5)) ||
        version->atLeast(NatNet::Wire::Version(4, 3))) {
        return false;
    }
    version->toBytes(out.data());
    return true;
}

int runSimulator(const SimOptions& options)
{
    const sigset_t signals = blockTerminationSignals();

    std::optional<NatNet::Sim::Capture> capture;
    if (!options.replayFile.empty()) {
        std::string error;
        capture = NatNet::Sim::Capture::read(options.replayFile, &error, options.replayPorts);
        if (!capture || capture->frames().empty()) {
            std::cerr << "natnet-sim: " << options.replayFile << ": "
                      << (capture ? "no NatNet frames in the capture" : error) << "\n";
            return 1;
        }
    }

    NatNet::Sim::Simulator sim(options.server);
    sim.setNatNetVersion(options.bitstream);
    std::string error;
    if (!sim.start(&error)) {
        std::cerr << "natnet-sim: cannot start: " << error << "\n";
        return 1;
    }
    bool started = false;
    if (capture) {
        started = sim.startReplay(*capture, options.replayLoops);
    } else {
        started = sim.startStreaming(options.scenario);
    }
    if (!started) {
        std::cerr << "natnet-sim: cannot start streaming\n";
        return 1;
    }
    const std::array<uint8_t, 4> version = sim.natNetVersion();
    // The first line says where to connect (scripts read the ports from it).
    std::cout << "natnet-sim: listening on " << options.server.localAddress << " command port "
              << sim.commandPort() << " data port " << sim.dataPort() << " ("
              << (options.server.multicast ? "multicast " + options.server.multicastAddress
                                           : std::string("unicast"))
              << ", NatNet " << versionText(version) << ")" << std::endl;
    if (!options.quiet) {
        if (capture) {
            std::cout << "natnet-sim: replaying " << capture->frames().size() << " frames of "
                      << options.replayFile << std::endl;
        } else {
            std::cout << "natnet-sim: " << options.scenario.rigidBodies << " rigid bodies at "
                      << options.scenario.rateHz << " Hz in "
                      << (options.scenario.units == NatNet::Sim::Units::Millimetres ? "millimetres"
                                                                                    : "metres")
                      << std::endl;
        }
    }

    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const char* reason = "stream ended";
    double lastReport = 0.0;
    for (;;) {
        if (waitForSignal(signals, 100)) {
            reason = "signal";
            break;
        }
        if (options.durationSeconds > 0.0 && elapsed() >= options.durationSeconds) {
            reason = "duration reached";
            break;
        }
        if (!sim.isStreaming()) {
            break;
        }
        if (!options.quiet && elapsed() - lastReport >= 1.0) {
            lastReport = elapsed();
            const NatNet::Sim::SimulatorCounters counters = sim.counters();
            std::cout << "natnet-sim: " << counters.framesSent << " frames sent, "
                      << counters.clientsConnected << " unicast clients, " << counters.requests << " requests"
                      << std::endl;
        }
    }
    sim.stop();
    const NatNet::Sim::SimulatorCounters counters = sim.counters();
    std::cout << "natnet-sim: stopped (" << reason << "): " << counters.framesSent << " frames sent, "
              << counters.connects << " connects, " << counters.requests << " requests, "
              << counters.clientsDropped << " clients dropped" << std::endl;
    return 0;
}

}  // namespace NatNetSimApp
