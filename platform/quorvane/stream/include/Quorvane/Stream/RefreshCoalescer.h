// The one way a host's widget turns the stream's update signal (flags only, on the
// stream's receive thread) into re-reading the store on the UI thread.
#pragma once

#include <Quorvane/Stream/StreamExport.h>

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace Quorvane {

namespace Internal {
struct CoalescerGate;
}

/// Turns requests from any thread into calls of one function on the UI thread, at most
/// `maxPerSecond` a second and never more than one queued at a time, however fast requests come.
/// A request that arrives while a call is pending is served by that call; the last request is
/// always followed by a call.
///
/// Threads: construct, destroy and read the counters on the UI thread; request() from any thread,
/// also while the object is being destroyed (requests then do nothing).
class QUORVANE_STREAM_EXPORT RefreshCoalescer : public QObject
{
    Q_OBJECT

public:
    RefreshCoalescer(std::function<void()> refresh, int maxPerSecond, QObject* parent = nullptr);
    ~RefreshCoalescer() override;

    /// Asks for a call of the refresh function. Any thread.
    void request();

    std::uint64_t requests() const { return m_requests.load(); }
    std::uint64_t refreshes() const { return m_refreshes; }

private:
    // Invoked by name through a queued call, so nothing but the request crosses threads.
    Q_INVOKABLE void onPosted();
    void refreshNow();

    std::function<void()> m_refresh;
    std::chrono::steady_clock::duration m_minInterval;
    std::shared_ptr<Internal::CoalescerGate> m_gate;
    QTimer m_throttle;
    std::chrono::steady_clock::time_point m_last{};
    std::atomic<std::uint64_t> m_requests{0};
    std::uint64_t m_refreshes = 0;
};

}  // namespace Quorvane
