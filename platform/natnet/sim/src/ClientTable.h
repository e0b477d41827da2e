// The unicast clients a simulator streams to, keyed by the source endpoint of
// their NAT_CONNECT. Not thread-safe: the simulator guards it.
#pragma once

#include "natnet/transport/Ipv4Text.h"

#include "natnet/codec/Version.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace NatNet::Sim::Internal {

struct UnicastClient
{
    Net::Ipv4Endpoint endpoint;
    Wire::Version version;  // frames and descriptions are encoded with it
    bool subscribedDataOnly = false;
    uint64_t lastHeardNs = 0;
    bool versionChanged = false;  // the next frame carries params bit 3
};

class ClientTable
{
public:
    // Adds the client or replaces its record; true when it is new.
    bool upsert(const UnicastClient& client);
    // Notes that the client was heard from; false for an unknown endpoint.
    bool touch(Net::Ipv4Endpoint endpoint, uint64_t nowNs);
    bool remove(Net::Ipv4Endpoint endpoint);
    UnicastClient* find(Net::Ipv4Endpoint endpoint);
    // Removes clients silent for longer than timeoutNs; returns how many.
    size_t expire(uint64_t nowNs, uint64_t timeoutNs);
    const std::vector<UnicastClient>& all() const { return m_clients; }
    std::vector<UnicastClient>& all() { return m_clients; }
    size_t size() const { return m_clients.size(); }

private:
    std::vector<UnicastClient> m_clients;
};

}  // namespace NatNet::Sim::Internal
