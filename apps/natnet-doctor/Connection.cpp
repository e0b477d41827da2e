#include "Connection.h"

#include "DoctorOptions.h"

#include <platform/NameTable.h>

namespace NatNet::Doctor {

const char* modeName(Mode mode)
{
    static constexpr Platform::NameRow<Mode> kNames[] = {
        {Mode::Auto, "auto"},
        {Mode::Unicast, "unicast"},
        {Mode::Multicast, "multicast"},
    };
    return Platform::nameOf(mode, kNames, "auto");
}

std::string hostCommand(const Connection& connection)
{
    std::string line = "quorvane-host --run OptiTrack.OptiTrackStream --set connectionType=";
    line += connection.multicast ? "multicast" : "unicast";
    line += " --set serverAddress=" + connection.server;
    if (!connection.local.empty()) line += " --set localAddress=" + connection.local;
    line += " --set commandPort=" + std::to_string(connection.commandPort);
    line += " --set dataPort=" + std::to_string(connection.dataPort);
    if (connection.multicast) line += " --set multicastAddress=" + connection.multicastAddress;
    return line;
}

}  // namespace NatNet::Doctor
