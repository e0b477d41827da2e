#pragma once

// Runs a program of the build as a child process with its stdout and stderr captured, for
// end-to-end tests. Every wait has a deadline; a child still running when the object goes is
// killed and reaped, so no test leaves a process behind.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace Quorvane {
namespace Testing {

class HostProcess
{
public:
    struct Result
    {
        /// Exit status, or -1 when the child was ended by a signal or did not end in time.
        int exitCode = -1;
        int termSignal = 0;
        bool timedOut = false;
        std::string out;
        std::string err;
    };

    struct Options
    {
        /// Leave the child's stdout pipe unread, as a reader that has stalled for good.
        bool leaveStdoutUnread = false;
        /// "NAME=value" entries added to (or replacing those of) this process's environment.
        std::vector<std::string> environment;
        /// Names of this process's environment that the child does not get.
        std::vector<std::string> unset;
    };

    /// Starts `program` with `arguments` (not including argv[0]) in this process's environment.
    HostProcess(const std::string& program, const std::vector<std::string>& arguments);
    HostProcess(const std::string& program, const std::vector<std::string>& arguments,
                const Options& options);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool started() const { return m_pid > 0; }
    /// Collects output until `predicate` holds for the stdout so far, or `timeout` passed.
    bool waitForOutput(const std::function<bool(const std::string&)>& predicate,
                       std::chrono::milliseconds timeout);
    /// The same for the stderr so far.
    bool waitForError(const std::function<bool(const std::string&)>& predicate,
                      std::chrono::milliseconds timeout);
    /// The child's resident memory in KiB (VmRSS), or -1 when it cannot be read.
    long residentKiB() const;
    void sendSignal(int signal);
    /// Collects all output and waits for the exit; after `timeout` the child is killed.
    Result finish(std::chrono::milliseconds timeout);

    /// The build's executable `name` (QUORVANE_BINARY_DIR/bin/name).
    static std::string buildProgram(const std::string& name);

private:
    /// Reads what is available within `wait`; false once both pipes reached their end.
    bool readSome(std::chrono::milliseconds wait);
    bool waitFor(const std::string& text, const std::function<bool(const std::string&)>& predicate,
                 std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    int m_unreadFd = -1;  // the stdout pipe's read end, kept open and never read
    Result m_result;
};

}  // namespace Testing
}  // namespace Quorvane
