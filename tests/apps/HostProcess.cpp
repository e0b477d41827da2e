#include "HostProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>

namespace Quorvane {
namespace Testing {

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& arguments)
    : HostProcess(program, arguments, Options())
{
}

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const Options& options)
{
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    std::vector<std::string> texts;
    texts.push_back(program);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    // The environment: this process's, with the given entries replacing those of the same name
    // and the unset names left out.
    std::vector<std::string> environment = options.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool dropped = std::find(options.unset.begin(), options.unset.end(), name) != options.unset.end();
        for (const std::string& given : options.environment) {
            dropped = dropped || given.compare(0, name.size() + 1, name + "=") == 0;
        }
        if (!dropped) {
            environment.push_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& text : environment) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    (options.leaveStdoutUnread ? m_unreadFd : m_outFd) = outPipe[0];
    m_errFd = errPipe[0];
}

HostProcess::~HostProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_outFd >= 0) {
        ::close(m_outFd);
    }
    if (m_errFd >= 0) {
        ::close(m_errFd);
    }
    if (m_unreadFd >= 0) {
        ::close(m_unreadFd);
    }
}

std::string HostProcess::buildProgram(const std::string& name)
{
    const char* dir = std::getenv("QUORVANE_BINARY_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/bin/" + name;
}

bool HostProcess::readSome(std::chrono::milliseconds wait)
{
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (m_outFd < 0 && m_errFd < 0) {
        return false;
    }
    if (::poll(fds, 2, static_cast<int>(wait.count())) <= 0) {
        return true;
    }
    int* targets[2] = {&m_outFd, &m_errFd};
    std::string* sinks[2] = {&m_result.out, &m_result.err};
    for (int i = 0; i < 2; ++i) {
        if (*targets[i] < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(*targets[i], buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(*targets[i]);
            *targets[i] = -1;
        }
    }
    return m_outFd >= 0 || m_errFd >= 0;
}

bool HostProcess::waitFor(const std::string& text, const std::function<bool(const std::string&)>& predicate,
                          std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate(text)) {
        if (std::chrono::steady_clock::now() >= deadline || !readSome(std::chrono::milliseconds(20))) {
            return predicate(text);
        }
    }
    return true;
}

bool HostProcess::waitForOutput(const std::function<bool(const std::string&)>& predicate,
                                std::chrono::milliseconds timeout)
{
    return waitFor(m_result.out, predicate, timeout);
}

bool HostProcess::waitForError(const std::function<bool(const std::string&)>& predicate,
                               std::chrono::milliseconds timeout)
{
    return waitFor(m_result.err, predicate, timeout);
}

long HostProcess::residentKiB() const
{
    if (m_pid <= 0) {
        return -1;
    }
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

void HostProcess::sendSignal(int signal)
{
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
}

HostProcess::Result HostProcess::finish(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readSome(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
    }
    while (m_pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            if (WIFEXITED(status)) {
                m_result.exitCode = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                m_result.termSignal = WTERMSIG(status);
            }
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_result.timedOut = true;
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            break;
        }
        readSome(std::chrono::milliseconds(20));
    }
    return m_result;
}

}  // namespace Testing
}  // namespace Quorvane
