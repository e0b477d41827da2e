// The connection parameters that the checks settle on, as the module takes them.
#pragma once

#include <cstdint>
#include <string>

namespace NatNet::Doctor {

struct Connection
{
    bool multicast = false;
    std::string server;
    std::string local;  // empty: let the library pick
    uint16_t commandPort = 1510;
    uint16_t dataPort = 1511;
    std::string multicastAddress = "239.255.42.99";
};

// The exact quorvane-host line for this connection.
std::string hostCommand(const Connection& connection);

}  // namespace NatNet::Doctor
