#pragma once

// What the quorvane-host process tests share: the command line that connects to a simulator,
// and the JSON Lines of its output.

#include "natnet/sim/Simulator.h"

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace Quorvane {
namespace Testing {

/// Every line of --json output as one object (a line that is no JSON fails the parse).
inline std::vector<nlohmann::json> jsonLines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

/// --run with the settings that connect in unicast to a server on loopback at these ports.
inline std::vector<std::string> connectTo(int commandPort, int dataPort)
{
    return {"--run", "OptiTrack.OptiTrackStream",
            "--set", "connectionType=unicast",
            "--set", "serverAddress=127.0.0.1",
            "--set", "localAddress=127.0.0.1",
            "--set", "commandPort=" + std::to_string(commandPort),
            "--set", "dataPort=" + std::to_string(dataPort)};
}

/// The same for `sim`.
inline std::vector<std::string> connectTo(const NatNet::Sim::Simulator& sim)
{
    return connectTo(sim.commandPort(), sim.dataPort());
}

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace Testing
}  // namespace Quorvane
