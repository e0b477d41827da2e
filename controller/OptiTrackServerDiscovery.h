#pragma once

#include "controller/DiscoveredServer.h"
#include "stream/OptiTrackExport.h"

#include <Quorvane/Core/SignalImpl.h>

#include <NatNetCAPI.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Quorvane {

/// What the NatNet library hands back to `OptiTrackServerDiscovery::onServerDiscovered` as its
/// user context: the discovery handle, every distinct server seen so far and the notification.
///
/// Threads: `servers` is appended to on the NatNet discovery thread and read on the UI thread;
/// both go through `mutex`. `handle` is touched only by start() and stop() on the UI thread;
/// `notify` is set once, before discovery can run.
struct DiscoveryContext
{
    NatNetDiscoveryHandle handle = nullptr;
    /// In arrival order, one record per server address, at most
    /// `OptiTrackServerDiscovery::kServerLimit`; never shrinks.
    std::vector<sNatNetDiscoveredServer> servers;
    /// Called on the discovery thread after a new server was stored.
    std::function<void()> notify;
    /// Whether the server limit has been logged (once per discovery object).
    bool limitLogged = false;
    /// Serialises the callback's search-and-append with the snapshot of discoveredServers().
    mutable std::mutex mutex;
};

/// NatNet's asynchronous server discovery for the panel: while running, the library announces
/// itself on the local network and reports every server that answers; each server address is
/// stored once, and each newly stored server emits `serversChanged`.
///
/// Threads: start(), stop(), discoveredServers() and the destructor run on the UI thread.
/// `serversChanged` is emitted on the NatNet discovery thread, so whatever is connected to it
/// must post to its own thread before touching widgets. No callback runs after stop() (or the
/// destructor) has returned.
class OPTITRACK_EXPORT OptiTrackServerDiscovery
{
public:
    /// The most servers stored. A network has a handful of tracking servers; the limit keeps a
    /// flood of answers from distinct addresses from growing the list without bound. Servers
    /// beyond it are not stored (the limit is logged once).
    static constexpr std::size_t kServerLimit = 256;

    OptiTrackServerDiscovery();
    ~OptiTrackServerDiscovery();
    OptiTrackServerDiscovery(const OptiTrackServerDiscovery&) = delete;
    OptiTrackServerDiscovery& operator=(const OptiTrackServerDiscovery&) = delete;

    /// Begins discovery; does nothing when it already runs.
    void start();
    /// Ends discovery and waits for the library's thread; does nothing when not running.
    /// The servers found so far stay.
    void stop();
    bool isRunning() const { return m_running; }

    /// A converted copy of the stored servers, in arrival order. Index i of one snapshot is the
    /// same server in every later one.
    std::vector<DiscoveredServer> discoveredServers() const;

    /// The record given to the library as the callback's context (for tests that play the
    /// library's part and call onServerDiscovered themselves).
    DiscoveryContext* discoveryContext() const { return m_context.get(); }

    /// The discovery callback. Called on the NatNet discovery thread with a server record and
    /// the `DiscoveryContext`; the same server may be reported any number of times.
    static void NATNET_CALLCONV onServerDiscovered(const sNatNetDiscoveredServer* server, void* userContext);

    /// Emitted once for every newly stored server, on the NatNet discovery thread.
    SignalImpl<0> serversChanged;

private:
    std::unique_ptr<DiscoveryContext> m_context;
    bool m_running = false;
};

}  // namespace Quorvane
