#pragma once

// Hand-built discovered-server records, as the NatNet library hands them to the discovery
// callback (592 bytes, zero-filled apart from what a test sets).

#include <NatNetCAPI.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace Quorvane::Support {

static_assert(sizeof(sNatNetDiscoveredServer) == 592, "the library's discovered-server record");

struct ServerRecordSpec
{
    std::string serverAddress = "192.168.1.20";
    std::string localAddress = "192.168.1.5";
    std::uint16_t commandPort = 1510;
    std::string hostApp = "ServerApp";
    std::array<std::uint8_t, 4> hostAppVersion{3, 0, 0, 0};
    bool connectionInfoValid = true;
    std::uint16_t dataPort = 1511;
    bool multicast = true;
    std::array<std::uint8_t, 4> group{239, 255, 42, 99};
};

inline void copyText(char* field, std::size_t capacity, const std::string& text)
{
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), std::min(text.size(), capacity - 1));
}

inline sNatNetDiscoveredServer makeServerRecord(const ServerRecordSpec& spec)
{
    sNatNetDiscoveredServer record;
    std::memset(&record, 0, sizeof(record));
    copyText(record.localAddress, sizeof(record.localAddress), spec.localAddress);
    copyText(record.serverAddress, sizeof(record.serverAddress), spec.serverAddress);
    record.serverCommandPort = spec.commandPort;
    sServerDescription& description = record.serverDescription;
    description.HostPresent = true;
    copyText(description.szHostComputerName, sizeof(description.szHostComputerName), "mocap-pc");
    copyText(description.szHostApp, sizeof(description.szHostApp), spec.hostApp);
    std::memcpy(description.HostAppVersion, spec.hostAppVersion.data(), 4);
    const std::uint8_t natNet[4] = {4, 1, 0, 0};
    std::memcpy(description.NatNetVersion, natNet, 4);
    description.HighResClockFrequency = 10000000;
    description.bConnectionInfoValid = spec.connectionInfoValid;
    description.ConnectionDataPort = spec.dataPort;
    description.ConnectionMulticast = spec.multicast;
    std::memcpy(description.ConnectionMulticastAddress, spec.group.data(), 4);
    return record;
}

inline sNatNetDiscoveredServer makeServerRecord(const std::string& serverAddress)
{
    ServerRecordSpec spec;
    spec.serverAddress = serverAddress;
    return makeServerRecord(spec);
}

}  // namespace Quorvane::Support
