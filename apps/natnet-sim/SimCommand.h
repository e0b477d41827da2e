// What natnet-sim does once its options are parsed: start the simulator,
// stream or replay, report, and end on a signal or when the time is up.
#pragma once

#include "natnet/sim/Scenario.h"
#include "natnet/sim/SimulatorConfig.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace NatNetSimApp {

struct SimOptions
{
    NatNet::Sim::SimulatorConfig server;
    std::array<uint8_t, 4> bitstream{4, 1, 0, 0};
    NatNet::Sim::ScenarioConfig scenario;
    std::string replayFile;
    int replayLoops = 1;
    std::vector<uint16_t> replayPorts{1510, 1511};  // the capture's NatNet ports
    double durationSeconds = 0.0;                   // 0: until SIGINT or SIGTERM (or the replay's end)
    bool quiet = false;
};

// Parses "M.m" or "M.m.b.r" into a version the simulator can emit.
bool parseBitstream(const std::string& text, std::array<uint8_t, 4>& out);

// Runs until a signal, the duration or the end of the replay. Returns the
// process exit code (0 clean, 1 when the simulator cannot start).
int runSimulator(const SimOptions& options);

}  // namespace NatNetSimApp
