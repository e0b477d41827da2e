#include "StreamWorker.h"

#include <utility>

namespace Quorvane {
namespace Internal {

StreamWorker::StreamWorker(Work work, MayWork mayWork, std::atomic<std::thread::id>& threadId)
    : m_work(std::move(work)), m_mayWork(std::move(mayWork)), m_publishedId(threadId)
{
    m_thread = std::thread([this] { run(); });
}

StreamWorker::~StreamWorker()
{
    stop();
}

void StreamWorker::wake()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wakeUp.notify_all();
}

void StreamWorker::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        m_wakeUp.notify_all();
    }
    // The owner refuses calls from the worker thread, so this runs on another thread.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_publishedId.store(std::thread::id());
}

void StreamWorker::run()
{
    m_publishedId.store(std::this_thread::get_id());
    loop();
    // A thread id may be reused once this thread has ended.
    m_publishedId.store(std::thread::id());
}

void StreamWorker::loop()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wakeUp.wait(lock, [this] { return m_stopRequested || m_mayWork(); });
            if (m_stopRequested) {
                return;
            }
        }
        const std::optional<std::chrono::milliseconds> delay = m_work();
        if (!delay) {
            return;
        }
        if (delay->count() > 0) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wakeUp.wait_for(lock, *delay, [this] { return m_stopRequested; });
        }
    }
}

}  // namespace Internal
}  // namespace Quorvane
