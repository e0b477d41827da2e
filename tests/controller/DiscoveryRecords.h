#pragma once

// Hand-built discovered-server records (592 bytes, zero apart from what a test sets), as the
// NatNet library hands them to the discovery callback.

#include <NatNetCAPI.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace Quorvane::Support {

static_assert(sizeof(sNatNetDiscoveredServer) == 592, "the library's discovered-server record");

struct ServerRecordFields
{
    std::string serverAddress = "192.168.1.20";
    std::uint16_t commandPort = 1510;
    bool connectionInfoValid = true;
    bool multicast = true;
    std::uint16_t dataPort = 1511;
};

inline sNatNetDiscoveredServer makeServerRecord(const ServerRecordFields& fields)
{
    sNatNetDiscoveredServer record;
    std::memset(&record, 0, sizeof(record));
    std::strncpy(record.localAddress, "192.168.1.5", sizeof(record.localAddress) - 1);
    std::strncpy(record.serverAddress, fields.serverAddress.c_str(), sizeof(record.serverAddress) - 1);
    record.serverCommandPort = fields.commandPort;
    sServerDescription& description = record.serverDescription;
    description.HostPresent = true;
    std::strncpy(description.szHostComputerName, "mocap-pc", sizeof(description.szHostComputerName) - 1);
    std::strncpy(description.szHostApp, "ServerApp", sizeof(description.szHostApp) - 1);
    description.HostAppVersion[0] = 3;
    description.NatNetVersion[0] = 4;
    description.NatNetVersion[1] = 1;
    description.HighResClockFrequency = 10000000;
    description.bConnectionInfoValid = fields.connectionInfoValid;
    description.ConnectionDataPort = fields.dataPort;
    description.ConnectionMulticast = fields.multicast;
    const std::uint8_t group[4] = {239, 255, 42, 99};
    std::memcpy(description.ConnectionMulticastAddress, group, 4);
    return record;
}

inline sNatNetDiscoveredServer makeServerRecord(const std::string& serverAddress)
{
    ServerRecordFields fields;
    fields.serverAddress = serverAddress;
    return makeServerRecord(fields);
}

}  // namespace Quorvane::Support
