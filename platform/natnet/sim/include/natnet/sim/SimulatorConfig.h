// Settings of a NatNet server simulator, fixed when it starts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace NatNet::Sim {

struct SimulatorConfig
{
    // Both sockets bind to this address; in multicast it is also the interface
    // the frames leave on.
    std::string localAddress = "127.0.0.1";
    uint16_t commandPort = 0;  // 0: an ephemeral port, read it back with Simulator::commandPort()
    uint16_t dataPort = 0;     // 0: an ephemeral port, read it back with Simulator::dataPort()

    bool multicast = false;
    std::string multicastAddress = "239.255.42.99";
    // 0 keeps frames on this host; raise it only for real networks.
    int multicastTtl = 0;

    // Bind the command socket to every interface (same port) so that discovery
    // sent to a broadcast address such as 127.255.255.255 arrives too.
    bool answerBroadcasts = false;

    // Unicast clients that send nothing (no keep-alive, no request) for this
    // long are dropped and get no more frames.
    int clientTimeoutMs = 5000;
};

}  // namespace NatNet::Sim
