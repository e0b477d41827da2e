#include "natnet/transport/NamedThread.h"

#include "natnet/transport/ThreadName.h"

#include <exception>
#include <utility>

namespace NatNet::Net {

NamedThread::~NamedThread()
{
    requestStop();
    if (isCurrent()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_thread.joinable()) {
            m_thread.detach();
        }
        return;
    }
    join();
}

void NamedThread::start(const std::string& name, Body body, Wake wake)
{
    join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wake = std::move(wake);
    // The body cannot stop or join its thread before m_thread is stored: both take m_mutex.
    m_thread = std::thread([this, name, run = std::move(body)] {
        m_id.store(std::this_thread::get_id());
        setCurrentThreadName(name.c_str());
        run();
    });
}

void NamedThread::startServing(const std::string& name, boost::asio::io_context& io, ErrorSink onError)
{
    start(
        name, [&io, report = std::move(onError)] { serve(io, report); }, [&io] { io.stop(); });
}

void NamedThread::requestStop()
{
    Wake wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wake = m_wake;
    }
    if (wake) {
        wake();
    }
}

void NamedThread::stop()
{
    requestStop();
    join();
}

void NamedThread::join()
{
    if (isCurrent()) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) {
        m_joined.wait(lock, [this] { return !m_joining; });
        return;
    }
    // Joined without the lock: the worker may be inside stop() or join() itself.
    std::thread thread = std::move(m_thread);
    m_joining = true;
    lock.unlock();
    thread.join();
    lock.lock();
    m_id.store(std::thread::id());
    m_joining = false;
    m_joined.notify_all();
}

bool NamedThread::isCurrent() const
{
    return m_id.load() == std::this_thread::get_id();
}

void NamedThread::serve(boost::asio::io_context& io, const ErrorSink& onError)
{
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& error) {
            if (onError) {
                onError(error.what());
            }
        } catch (...) {
            if (onError) {
                onError("unknown exception");
            }
        }
    }
}

}  // namespace NatNet::Net
