// Simulated servers for the doctor's tests: the in-process simulator on
// ephemeral ports, streaming a scenario, and options that point at it.
#pragma once

#include "CheckResult.h"
#include "DoctorOptions.h"

#include "natnet/sim/Simulator.h"

#include <memory>
#include <string>

namespace DoctorTest {

struct SimulatedServer
{
    std::unique_ptr<NatNet::Sim::Simulator> sim;
    // Starts the simulator on `address` and, unless rigidBodies < 0, streams that many bodies at 120 Hz.
    bool start(bool multicast, const std::string& address = "127.0.0.1", int rigidBodies = 2);
};

// Options aimed at the simulator's ports (and group) with a short measurement.
NatNet::Doctor::DoctorOptions optionsFor(const NatNet::Sim::Simulator& sim, NatNet::Doctor::Mode mode,
                                         double seconds = 1.0);

// The report's lines, as the text printer shows them (for failure messages).
std::string describe(const NatNet::Doctor::Report& report);
const NatNet::Doctor::CheckResult* findCheck(const NatNet::Doctor::Report& report, const std::string& id);

}  // namespace DoctorTest
