#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Quorvane {

/// The panel's copy of one NatNet server that discovery found: the library's discovered-server
/// record with its texts as narrow strings (each read up to its terminating zero, and never past
/// its field). Addresses are IPv4 text; the 4-byte fields keep their wire order, first octet first.
struct DiscoveredServer
{
    /// The local interface the server's answer came in on; the connection's local address.
    std::string localAddress;
    std::string serverAddress;
    std::uint16_t serverCommandPort = 0;

    // The server's description, as it answered the discovery request.
    bool hostPresent = false;
    std::string hostComputerName;
    std::array<std::uint8_t, 4> hostComputerAddress{};
    std::string hostApp;
    std::array<std::uint8_t, 4> hostAppVersion{};
    std::array<std::uint8_t, 4> natNetVersion{};
    std::uint64_t highResClockFrequency = 0;
    /// False for servers older than NatNet 3.0: the three connection fields below mean nothing.
    bool connectionInfoValid = false;
    std::uint16_t connectionDataPort = 0;
    bool connectionMulticast = false;
    std::array<std::uint8_t, 4> connectionMulticastAddress{};
};

}  // namespace Quorvane
