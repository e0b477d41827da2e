#include "DoctorTestSupport.h"

#include "ReportPrinter.h"

#include <sstream>

namespace DoctorTest {

bool SimulatedServer::start(bool multicast, const std::string& address, int rigidBodies)
{
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = address;
    config.multicast = multicast;
    config.multicastTtl = 0;
    sim = std::make_unique<NatNet::Sim::Simulator>(config);
    if (!sim->start()) return false;
    if (rigidBodies < 0) return true;
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = rigidBodies;
    scenario.markers = rigidBodies == 0;  // frames without bodies still carry markers
    scenario.durationSeconds = 30.0;      // bounded even if a test forgets to stop it
    return sim->startStreaming(scenario);
}

NatNet::Doctor::DoctorOptions optionsFor(const NatNet::Sim::Simulator& sim, NatNet::Doctor::Mode mode,
                                         double seconds)
{
    NatNet::Doctor::DoctorOptions options;
    options.server = sim.config().localAddress;
    options.mode = mode;
    options.commandPort = sim.commandPort();
    options.dataPort = sim.dataPort();
    options.multicastAddress = sim.config().multicastAddress;
    options.seconds = seconds;
    return options;
}

std::string describe(const NatNet::Doctor::Report& report)
{
    std::ostringstream text;
    for (const auto& check : report.checks) NatNet::Doctor::printCheckText(check, text);
    NatNet::Doctor::printVerdictText(report, text);
    return text.str();
}

const NatNet::Doctor::CheckResult* findCheck(const NatNet::Doctor::Report& report, const std::string& id)
{
    for (const auto& check : report.checks) {
        if (check.check == id) return &check;
    }
    return nullptr;
}

}  // namespace DoctorTest
