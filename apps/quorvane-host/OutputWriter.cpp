#include "OutputWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace Quorvane {
namespace Host {

struct OutputWriter::State
{
    // A descriptor of its own: the thread may outlive the writer and whoever owns `given`.
    State(int given, std::size_t capacity)
        : fd(::fcntl(given, F_DUPFD_CLOEXEC, 0)), capacityBytes(capacity), failed(fd < 0)
    {
    }
    ~State()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    const int fd;
    const std::size_t capacityBytes;
    std::mutex mutex;
    std::condition_variable changed;
    std::string pending;      // guarded by mutex
    std::size_t inWrite = 0;  // bytes the thread is writing now; guarded by mutex
    bool stopping = false;    // guarded by mutex
    bool failed = false;      // guarded by mutex
};

OutputWriter::OutputWriter(int fd, std::size_t capacityBytes)
    : m_state(std::make_shared<State>(fd, capacityBytes))
{
    // The thread gets its own reference: it may outlive this object (see the destructor).
    m_thread = std::thread([state = m_state] { run(state); });
}

OutputWriter::~OutputWriter()
{
    bool writing = false;
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        writing = m_state->inWrite != 0;
    }
    m_state->changed.notify_all();
    // Out of a write the thread sees `stopping` at once and ends; in one it may wait for ever
    // for a reader, so it is not waited for.
    if (writing) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void OutputWriter::run(const std::shared_ptr<State>& state)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->stopping || !state->pending.empty(); });
        if (state->stopping || state->failed) {
            return;
        }
        std::string chunk;
        chunk.swap(state->pending);
        state->inWrite = chunk.size();
        lock.unlock();

        bool ok = true;
        std::size_t done = 0;
        while (done < chunk.size()) {
            const ssize_t n = ::write(state->fd, chunk.data() + done, chunk.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<std::size_t>(n);
            {
                // What is left shows a waiting flush that the reader keeps up.
                const std::lock_guard<std::mutex> progress(state->mutex);
                state->inWrite = chunk.size() - done;
            }
        }

        lock.lock();
        state->inWrite = 0;
        if (!ok) {
            state->failed = true;
            state->pending.clear();
        }
        state->changed.notify_all();
    }
}

void OutputWriter::write(std::string text)
{
    if (text.empty()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->failed) {
            return;
        }
        if (m_state->pending.empty()) {
            m_state->pending = std::move(text);
        } else {
            m_state->pending += text;
        }
    }
    m_state->changed.notify_all();
}

bool OutputWriter::hasRoom() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->pending.size() + m_state->inWrite < m_state->capacityBytes;
}

std::size_t OutputWriter::pendingBytes() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->pending.size() + m_state->inWrite;
}

bool OutputWriter::flush(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->changed.wait_until(lock, deadline, [&] {
        return m_state->failed || (m_state->pending.empty() && m_state->inWrite == 0);
    });
    return !m_state->failed && m_state->pending.empty() && m_state->inWrite == 0;
}

bool OutputWriter::failed() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->failed;
}

}  // namespace Host
}  // namespace Quorvane
