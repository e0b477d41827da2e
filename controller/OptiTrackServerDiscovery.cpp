#include "controller/OptiTrackServerDiscovery.h"

#include "stream/OptiTrackLog.h"

#include <algorithm>
#include <cstring>

namespace Quorvane {

namespace Internal {

const std::string kDiscoveryCategory = "OptiTrackServerDiscovery";

std::array<std::uint8_t, 4> fourBytes(const uint8_t (&bytes)[4])
{
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

DiscoveredServer toDiscoveredServer(const sNatNetDiscoveredServer& record)
{
    const sServerDescription& description = record.serverDescription;
    DiscoveredServer server;
    server.localAddress = std::string(boundedText(record.localAddress));
    server.serverAddress = std::string(boundedText(record.serverAddress));
    server.serverCommandPort = record.serverCommandPort;
    server.hostPresent = description.HostPresent;
    server.hostComputerName = std::string(boundedText(description.szHostComputerName));
    server.hostComputerAddress = fourBytes(description.HostComputerAddress);
    server.hostApp = std::string(boundedText(description.szHostApp));
    server.hostAppVersion = fourBytes(description.HostAppVersion);
    server.natNetVersion = fourBytes(description.NatNetVersion);
    server.highResClockFrequency = description.HighResClockFrequency;
    server.connectionInfoValid = description.bConnectionInfoValid;
    server.connectionDataPort = description.ConnectionDataPort;
    server.connectionMulticast = description.ConnectionMulticast;
    server.connectionMulticastAddress = fourBytes(description.ConnectionMulticastAddress);
    return server;
}

bool sameServerAddress(const sNatNetDiscoveredServer& a, const sNatNetDiscoveredServer& b)
{
    // Bounded by the field, so a record whose address lost its terminator is not over-read.
    return std::strncmp(a.serverAddress, b.serverAddress, sizeof(a.serverAddress)) == 0;
}

}  // namespace Internal

OptiTrackServerDiscovery::OptiTrackServerDiscovery() : m_context(std::make_unique<DiscoveryContext>())
{
    m_context->notify = [this] { serversChanged.emitSignal(); };
}

OptiTrackServerDiscovery::~OptiTrackServerDiscovery()
{
    // The library's thread is joined before the context it writes to goes away.
    stop();
    m_context.reset();
    serversChanged.disconnectAll();
}

void OptiTrackServerDiscovery::start()
{
    if (m_running) {
        return;
    }
    m_running = true;
    Internal::logMessage(Log::Info, Internal::kDiscoveryCategory, "Looking for servers on the local network");
    NatNet_CreateAsyncServerDiscovery(&m_context->handle, &OptiTrackServerDiscovery::onServerDiscovered,
                                      m_context.get());
}

void OptiTrackServerDiscovery::stop()
{
    if (!m_running) {
        return;
    }
    // A start whose discovery could not be created left no handle to free.
    if (m_context->handle != nullptr) {
        NatNet_FreeAsyncServerDiscovery(m_context->handle);
    }
    m_context->handle = nullptr;
    m_running = false;
}

std::vector<DiscoveredServer> OptiTrackServerDiscovery::discoveredServers() const
{
    std::lock_guard<std::mutex> lock(m_context->mutex);
    std::vector<DiscoveredServer> snapshot;
    snapshot.reserve(m_context->servers.size());
    for (const sNatNetDiscoveredServer& record : m_context->servers) {
        snapshot.push_back(Internal::toDiscoveredServer(record));
    }
    return snapshot;
}

void NATNET_CALLCONV OptiTrackServerDiscovery::onServerDiscovered(const sNatNetDiscoveredServer* server,
                                                                  void* userContext)
{
    if (server == nullptr) {
        return;  // nothing to report or store
    }
    const sServerDescription& description = server->serverDescription;
    Internal::logMessage(Log::Info, Internal::kDiscoveryCategory,
                         "Server discovered: ", Internal::boundedText(description.szHostApp), " ",
                         static_cast<unsigned>(description.HostAppVersion[0]), ".",
                         static_cast<unsigned>(description.HostAppVersion[1]), " at address ",
                         Internal::boundedText(server->serverAddress));

    auto* context = static_cast<DiscoveryContext*>(userContext);
    if (context == nullptr) {
        Internal::logMessage(Log::Error, Internal::kDiscoveryCategory,
                             "Could not store discovered server, invalid context");
        return;
    }

    bool added = false;
    bool logLimit = false;
    {
        std::lock_guard<std::mutex> lock(context->mutex);
        const bool known = std::any_of(context->servers.begin(), context->servers.end(),
                                       [server](const sNatNetDiscoveredServer& stored) {
                                           return Internal::sameServerAddress(stored, *server);
                                       });
        if (known) {
            return;
        }
        if (context->servers.size() >= kServerLimit) {
            logLimit = !context->limitLogged;
            context->limitLogged = true;
        } else {
            context->servers.push_back(*server);
            added = true;
        }
    }
    // Both outside the lock: a listener may take a snapshot at once. A server beyond the limit
    // is not stored and changes nothing.
    if (logLimit) {
        // By value: a reference would export the constant as a unique symbol (the module
        // could then never be unloaded).
        Internal::logMessage(Log::Warning, Internal::kDiscoveryCategory, "Server limit of ",
                             std::size_t{kServerLimit}, " reached; further servers are not listed");
    }
    if (!added) {
        return;
    }
    if (context->notify) {
        context->notify();
    }
}

}  // namespace Quorvane
