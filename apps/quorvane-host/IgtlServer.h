#pragma once

#include "IgtlClientQueue.h"
#include "RunStatistics.h"

#include <Quorvane/Stream/TrackingInstrument.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace Host {

/// The bytes of a device name: at most 20, not splitting a UTF-8 character.
std::string igtlDeviceName(const std::string& name);

/// The valid poses of `instruments` as TRANSFORMs carry them; instruments without valid
/// tracking give none.
void igtlPosesOf(const std::vector<TrackingInstrument>& instruments, std::vector<IgtlPose>& out);

/// Serves the poses of a tracking stream to OpenIGTLink clients as TRANSFORM messages.
///
/// Threads: the stream's receive thread only calls `frameArrived`, which bumps a counter and
/// wakes the distributing thread (no lock, no allocation). The distributing thread reads the
/// stream's instruments through `sample` (newest wins when frames come faster than it) and
/// offers their valid poses to every client's queue. An accepting thread takes clients; each
/// client has its own sending thread, so a client that does not read blocks only its own
/// thread while its queue keeps only the newest pose per instrument.
class IgtlServer
{
public:
    using Sample = std::function<std::vector<TrackingInstrument>()>;

    /// `rateHz` caps the messages per instrument and client; 0: no cap.
    IgtlServer(std::string address, int port, double rateHz, Sample sample);
    ~IgtlServer();
    IgtlServer(const IgtlServer&) = delete;
    IgtlServer& operator=(const IgtlServer&) = delete;

    /// Listens and starts the threads; false with `error` when the address cannot be bound.
    bool start(std::string& error);
    /// The port listened on (the one chosen when 0 was asked for).
    int port() const { return m_boundPort; }
    /// Called on the stream's receive thread for every frame.
    void frameArrived() noexcept;
    /// Ends every thread and disconnects every client; then the totals are final.
    void stop();
    IgtlTotals totals() const;

    /// Most clients served at once; more are refused (memory and threads stay bounded).
    static constexpr std::size_t kMaxClients = 64;
    /// Most instruments a client's queue holds.
    static constexpr std::size_t kMaxInstruments = 256;

private:
    struct Client;
    class Listener;

    void acceptLoop();
    void distributeLoop();
    void sendLoop(Client& client);
    /// Joins clients whose sending thread ended; all of them when `all`.
    void reap(bool all);

    const std::string m_address;
    const int m_port;
    const double m_rateHz;
    const Sample m_sample;
    int m_boundPort = 0;

    std::unique_ptr<Listener> m_listener;  // the listening socket
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_frames{0};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::thread m_acceptThread;
    std::thread m_distributeThread;

    mutable std::mutex m_clientsMutex;
    std::vector<std::unique_ptr<Client>> m_clients;  // guarded by m_clientsMutex
    IgtlTotals m_finished;  // guarded by m_clientsMutex: every client accepted, the poses of those that left
};

}  // namespace Host
}  // namespace Quorvane
