// One connection of our NatNet client to the examined server, with a frame
// sampler attached before it connects. Disconnects when destroyed.
#pragma once

#include "Connection.h"
#include "FrameSampler.h"

#include "NatNetClient.h"
#include "natnet_ext/NatNetExt.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NatNet::Doctor {

class ServerSession
{
public:
    ServerSession();
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Sends NAT_CONNECT (retried) for at most about `wait`; ErrorCode_OK once the
    // server information arrived.
    ErrorCode connect(const Connection& connection, std::chrono::milliseconds wait);
    const sServerDescription& description() const { return m_description; }

    FrameSampler& sampler() { return m_sampler; }
    NatNetExt::ClientCounters counters() const;
    std::string decodeVersion() const;
    // Rigid bodies the server describes: (streaming ID, name).
    std::vector<std::pair<int32_t, std::string>> rigidBodyNames();
    // The shortest of a few request round trips, or nullopt if none was answered.
    std::optional<double> requestRoundTripMs(int tries);
    // The clock synchronisation's shortest echo round trip, once an echo was answered.
    std::optional<double> clockSyncRoundTripMs() const;

private:
    NatNetClient m_client;
    FrameSampler m_sampler;
    sServerDescription m_description{};
};

// "4.1.0.0"
std::string versionText(const uint8_t version[4]);
// A name from the network, read up to its terminating zero or `capacity`, with control
// characters replaced so that it cannot steer the terminal it is printed on.
std::string printableName(const char* text, size_t capacity);

}  // namespace NatNet::Doctor
