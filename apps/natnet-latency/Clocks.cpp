#include "Clocks.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace NatNetLatency {

namespace {

std::uint64_t toNs(const timespec& t)
{
    return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(t.tv_nsec);
}

}  // namespace

std::uint64_t monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return toNs(t);
}

std::uint64_t threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return toNs(t);
}

clockid_t currentThreadCpuClock()
{
    clockid_t clock = CLOCK_THREAD_CPUTIME_ID;
    if (pthread_getcpuclockid(pthread_self(), &clock) != 0) clock = CLOCK_THREAD_CPUTIME_ID;
    return clock;
}

std::uint64_t cpuNs(clockid_t clock)
{
    timespec t{};
    if (clock_gettime(clock, &t) != 0) return 0;
    return toNs(t);
}

void tuneTimerSlack()
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void sleepUntil(std::uint64_t deadlineNs)
{
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000u);
    deadline.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000u);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

double loadAverage1()
{
    std::ifstream in("/proc/loadavg");
    double load = -1.0;
    if (!(in >> load)) return -1.0;
    return load;
}

long long udpReceiveBufferErrors()
{
    // Two "Udp:" lines: the field names, then the values.
    std::ifstream in("/proc/net/snmp");
    std::string line;
    std::vector<std::string> names;
    while (std::getline(in, line)) {
        if (line.rfind("Udp:", 0) != 0) continue;
        std::istringstream fields(line.substr(4));
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (names.empty()) {
            names = words;
            continue;
        }
        for (std::size_t i = 0; i < names.size() && i < words.size(); ++i) {
            if (names[i] == "RcvbufErrors") return std::stoll(words[i]);
        }
        return -1;
    }
    return -1;
}

}  // namespace NatNetLatency
