#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace Quorvane {
namespace Internal {

/// The thread that calls a stream's doWork() while the stream wants it.
///
/// `work` returns the delay before the next call, or nothing to end the loop. While
/// `mayWork` is false the thread sleeps until wake() or stop(). Not exported.
class StreamWorker
{
public:
    using Work = std::function<std::optional<std::chrono::milliseconds>()>;
    using MayWork = std::function<bool()>;

    /// `threadId` receives the worker's thread id before the first call of `work`, and is
    /// cleared once the thread has ended (so the owner can refuse calls from that thread).
    StreamWorker(Work work, MayWork mayWork, std::atomic<std::thread::id>& threadId);
    /// Stops and joins the thread.
    ~StreamWorker();
    StreamWorker(const StreamWorker&) = delete;
    StreamWorker& operator=(const StreamWorker&) = delete;

    /// Re-checks `mayWork` (call after the stream's state changed).
    void wake();
    /// Ends the loop after the current call of `work` and joins the thread; idempotent.
    void stop();

private:
    void run();
    void loop();

    Work m_work;
    MayWork m_mayWork;
    std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    bool m_stopRequested = false;  // guarded by m_mutex
    std::atomic<std::thread::id>& m_publishedId;
    std::thread m_thread;
};

}  // namespace Internal
}  // namespace Quorvane
