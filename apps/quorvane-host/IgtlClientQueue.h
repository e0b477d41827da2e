#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// One instrument's pose as an OpenIGTLink TRANSFORM carries it.
struct IgtlPose
{
    /// Which instrument (the stream's identifier): a newer pose of it replaces an older one.
    std::string key;
    /// The device name, already cut to the protocol's length.
    std::string deviceName;
    /// Row-major 4x4, translation in millimetres.
    float matrix[4][4] = {};
    /// The instrument's own timestamp in seconds.
    double timestampS = 0.0;
};

/// What one OpenIGTLink client has yet to be sent: at most one pose per instrument, the newest.
/// A pose that is replaced before it was sent, or that finds the queue full of other instruments,
/// counts as missed; so a client that does not keep up costs a bounded amount of memory and
/// never holds up whoever offers the poses.
///
/// Threads: `offer` and `close` from any thread, `take` from the client's sending thread.
class IgtlClientQueue
{
public:
    explicit IgtlClientQueue(std::size_t maxInstruments);

    /// Queues the poses, replacing older ones of the same instrument. Never waits for the client.
    void offer(const std::vector<IgtlPose>& poses);
    /// Waits until poses are queued (and moves them into `out`), the queue is closed or `until`
    /// passes; false when closed or timed out with nothing queued.
    bool take(std::vector<IgtlPose>& out, std::chrono::steady_clock::time_point until);
    /// Wakes `take` for good.
    void close();
    bool closed() const;
    /// Waits until `until` or until the queue is closed; false when closed.
    bool waitUnlessClosed(std::chrono::steady_clock::time_point until);

    std::uint64_t missed() const;

private:
    const std::size_t m_maxInstruments;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<IgtlPose> m_pending;  // guarded by m_mutex
    std::uint64_t m_missed = 0;       // guarded by m_mutex
    bool m_closed = false;            // guarded by m_mutex
};

}  // namespace Host
}  // namespace Quorvane
