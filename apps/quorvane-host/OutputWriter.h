#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Quorvane {
namespace Host {

/// Writes the program's output to a file descriptor on a thread of its own, so that a reader
/// that is slow or gone (a pipe nobody reads, a paused terminal) never holds the printing thread
/// or the end of the run.
///
/// Text waits in memory until written; `hasRoom` says whether the caller should add more (the
/// caller stops producing while it says no, so memory stays near `capacityBytes` plus the last
/// piece). `flush` waits with a deadline. If the writer thread is still stuck in a write when
/// the object goes, it is left to finish (or to end with the process) instead of being joined;
/// it owns everything it touches.
///
/// The writer writes to a duplicate of `fd`, closed when its thread ends. A failed write (e.g.
/// the reader closed the pipe) drops what is pending and sets `failed`.
///
/// Threads: one caller thread; the writer thread is internal.
class OutputWriter
{
public:
    using Clock = std::chrono::steady_clock;

    OutputWriter(int fd, std::size_t capacityBytes);
    ~OutputWriter();
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    /// Queues `text` (always; check `hasRoom` before producing more).
    void write(std::string text);
    /// Whether fewer than `capacityBytes` wait to be written.
    bool hasRoom() const;
    std::size_t pendingBytes() const;
    /// Waits until everything queued is written, a write failed, or `deadline` passed. True
    /// when everything was written.
    bool flush(Clock::time_point deadline);
    bool failed() const;

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

}  // namespace Host
}  // namespace Quorvane
