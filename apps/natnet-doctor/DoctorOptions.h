// What natnet-doctor examines: the same connection parameters the module takes.
#pragma once

#include <cstdint>
#include <string>

namespace NatNet::Doctor {

enum class Mode { Auto, Unicast, Multicast };

struct DoctorOptions
{
    std::string server;
    std::string local;  // empty: the address the routing table picks for the server
    Mode mode = Mode::Auto;
    uint16_t commandPort = 1510;
    uint16_t dataPort = 1511;
    std::string multicastAddress = "239.255.42.99";
    double seconds = 5.0;  // how long frames are measured (and at most how long each wait lasts)
};

const char* modeName(Mode mode);

}  // namespace NatNet::Doctor
