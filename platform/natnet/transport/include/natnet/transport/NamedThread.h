// A worker thread with a name, which any thread may stop and join: the owner,
// another thread, or the worker itself (from inside its own callback). Used by
// every NatNet thread (client, discovery, simulator) so that they start, stop
// and end the same way.
#pragma once

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace NatNet::Net {

class NamedThread
{
public:
    using Body = std::function<void()>;
    // What makes the body return: io_context::stop, a socket shutdown, a flag.
    using Wake = std::function<void()>;
    // Told about an exception that escaped a handler; `what` is never null.
    using ErrorSink = std::function<void(const char* what)>;

    NamedThread() = default;
    // Stops and joins; when the last owner is the worker itself, it is detached
    // instead (it cannot join itself and ends right after).
    ~NamedThread();
    NamedThread(const NamedThread&) = delete;
    NamedThread& operator=(const NamedThread&) = delete;
    NamedThread(NamedThread&&) = delete;
    NamedThread& operator=(NamedThread&&) = delete;

    // Runs `body` on a new thread named `name` (at most 15 characters are kept).
    // The body may stop or join its own thread at once. A thread left from an
    // earlier start is joined first.
    void start(const std::string& name, Body body, Wake wake = {});
    // The body that serves `io` until io.stop(): a handler that throws is
    // reported to onError and serving goes on.
    void startServing(const std::string& name, boost::asio::io_context& io, ErrorSink onError = {});

    // Asks the body to return (the wake given to start) without waiting.
    void requestStop();
    // requestStop() and join().
    void stop();
    // Waits until the thread has ended. Returns at once when there is none, and
    // from the worker itself (a thread cannot join itself). Idempotent; a
    // second caller waits for the first one's join to finish.
    void join();

    // Whether the caller is the worker thread.
    bool isCurrent() const;

    // io.run() until it returns by itself (io.stop() or out of work).
    static void serve(boost::asio::io_context& io, const ErrorSink& onError);

private:
    std::mutex m_mutex;
    std::condition_variable m_joined;
    std::thread m_thread;
    Wake m_wake;
    bool m_joining = false;
    std::atomic<std::thread::id> m_id{};
};

}  // namespace NatNet::Net
