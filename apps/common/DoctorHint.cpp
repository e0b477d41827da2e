#include "common/DoctorHint.h"

#include <Quorvane/Core/Properties.h>

#include <cstdint>

namespace AppsCommon {

std::string doctorHint(const std::string& program, const Quorvane::Properties& connection)
{
    // The module's defaults, for keys the settings leave out.
    std::string server = "127.0.0.1";
    std::string local = "127.0.0.1";
    int connectionType = 0;  // multicast
    std::uint16_t commandPort = 1510;
    std::uint16_t dataPort = 1511;
    std::string group;
    connection.param("serverAddress", server);
    connection.param("localAddress", local);
    connection.param("connectionType", connectionType);
    connection.param("commandPort", commandPort);
    connection.param("dataPort", dataPort);
    connection.param("multicastAddress", group);

    std::string line = program + ": no stream from " + server + "; run: natnet-doctor --server " + server;
    if (!local.empty()) line += " --local " + local;
    line += connectionType != 0 ? " --mode unicast" : " --mode multicast";
    line += " --command-port " + std::to_string(commandPort) + " --data-port " + std::to_string(dataPort);
    if (connectionType == 0 && !group.empty()) line += " --multicast-address " + group;
    return line;
}

bool isStreamConnectFailure(std::string_view category, std::string_view text)
{
    // The module's own words, which it keeps exactly.
    constexpr std::string_view kFailure = "Unable to connect to server.";
    return category == "OptiTrackStream" && text.substr(0, kFailure.size()) == kFailure;
}

}  // namespace AppsCommon
