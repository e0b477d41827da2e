#include "RawUdpProbe.h"

#include "Clocks.h"
#include "RatePacer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace NatNetLatency {

namespace {

constexpr const char* kGroup = "239.255.42.102";
// The same kernel buffer as the NatNet client asks for.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

class Socket
{
public:
    Socket() : m_fd(::socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in endpoint(const char* address, std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address, &a.sin_addr);
    return a;
}

std::string lastError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

template <class T>
bool setOption(int fd, int level, int name, const T& value)
{
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Receiver bound and (multicast) joined; returns the port, 0 on failure.
std::uint16_t openReceiver(const Socket& socket, bool multicast, std::string& error)
{
    const int fd = socket.fd();
    setOption(fd, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    timeval timeout{0, 20'000};
    setOption(fd, SOL_SOCKET, SO_RCVTIMEO, timeout);
    if (multicast) setOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    sockaddr_in local = endpoint(multicast ? kGroup : "127.0.0.1", 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = lastError("bind receiver");
        return 0;
    }
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    if (multicast) {
        ip_mreq membership{};
        inet_pton(AF_INET, kGroup, &membership.imr_multiaddr);
        inet_pton(AF_INET, "127.0.0.1", &membership.imr_interface);
        if (!setOption(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, membership)) {
            error = lastError("join group on 127.0.0.1");
            return 0;
        }
    }
    return ntohs(local.sin_port);
}

bool openSender(const Socket& socket, bool multicast, std::string& error)
{
    const int fd = socket.fd();
    const sockaddr_in local = endpoint("127.0.0.1", 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = lastError("bind sender");
        return false;
    }
    if (multicast) {
        in_addr interface {
        };
        inet_pton(AF_INET, "127.0.0.1", &interface);
        const unsigned char ttl = 0;
        const unsigned char loop = 1;
        if (!setOption(fd, IPPROTO_IP, IP_MULTICAST_IF, interface) ||
            !setOption(fd, IPPROTO_IP, IP_MULTICAST_TTL, ttl) ||
            !setOption(fd, IPPROTO_IP, IP_MULTICAST_LOOP, loop)) {
            error = lastError("multicast sending on 127.0.0.1");
            return false;
        }
    }
    return true;
}

}  // namespace

ProbeResult runRawUdp(const ProbeConfig& config, std::size_t datagramBytes, bool readiness)
{
    ProbeResult result;
    datagramBytes = std::clamp<std::size_t>(datagramBytes, 16, 65507);
    Socket receiver;
    Socket sender;
    if (receiver.fd() < 0 || sender.fd() < 0) {
        result.error = lastError("socket");
        return result;
    }
    const std::uint16_t port = openReceiver(receiver, config.multicast, result.error);
    if (port == 0 || !openSender(sender, config.multicast, result.error)) return result;
    const sockaddr_in target = endpoint(config.multicast ? kGroup : "127.0.0.1", port);

    const std::uint64_t warmup = config.warmupFrames();
    const std::uint64_t total = warmup + config.measuredFrames();
    std::vector<std::uint8_t> seen(total, 0);
    std::vector<std::uint64_t> samples;
    samples.reserve(config.measuredFrames());
    std::atomic<std::uint64_t> arrived{0};
    std::atomic<bool> stop{false};
    std::uint64_t cpuStart = 0;
    std::uint64_t cpuEnd = 0;
    bool cpuStarted = false;

    const int epoll = readiness ? ::epoll_create1(0) : -1;
    if (readiness) {
        epoll_event interest{};
        interest.events = EPOLLIN;
        if (epoll < 0 || ::epoll_ctl(epoll, EPOLL_CTL_ADD, receiver.fd(), &interest) != 0) {
            result.error = lastError("epoll");
            if (epoll >= 0) ::close(epoll);
            return result;
        }
    }
    std::thread receiving([&] {
        std::vector<std::uint8_t> buffer(65536);
        bool readable = false;
        while (!stop.load(std::memory_order_relaxed)) {
            if (readiness && !readable) {
                epoll_event event{};
                readable = ::epoll_wait(epoll, &event, 1, 20) == 1;
                continue;
            }
            const ssize_t n =
                ::recv(receiver.fd(), buffer.data(), buffer.size(), readiness ? MSG_DONTWAIT : 0);
            const std::uint64_t now = monotonicNs();
            if (readiness && n < 0) readable = false;  // drained: wait for readiness again
            if (n < 16) continue;                      // a timeout (checks the stop flag) or a stray datagram
            std::uint64_t sequence = 0;
            std::uint64_t sentNs = 0;
            std::memcpy(&sequence, buffer.data(), 8);
            std::memcpy(&sentNs, buffer.data() + 8, 8);
            if (sequence >= total || seen[sequence] != 0) continue;
            seen[sequence] = 1;
            if (sequence >= warmup) {
                if (!cpuStarted) {
                    cpuStarted = true;
                    cpuStart = threadCpuNs();
                }
                samples.push_back(now - sentNs);
            }
            arrived.fetch_add(1, std::memory_order_relaxed);
        }
        cpuEnd = threadCpuNs();
    });

    std::vector<std::uint8_t> datagram(datagramBytes, 0);
    for (std::size_t i = 16; i < datagram.size(); ++i) datagram[i] = static_cast<std::uint8_t>(i * 31u);
    RatePacer pacer(config.rateHz);
    std::uint64_t firstMeasuredNs = 0;
    std::uint64_t lastNs = 0;
    std::uint64_t sendFailures = 0;
    for (std::uint64_t k = 0; k < total; ++k) {
        pacer.waitFor(k);
        const std::uint64_t now = monotonicNs();
        std::memcpy(datagram.data(), &k, 8);
        std::memcpy(datagram.data() + 8, &now, 8);
        if (::sendto(sender.fd(), datagram.data(), datagram.size(), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
            ++sendFailures;
        }
        if (k == warmup) {
            firstMeasuredNs = now;
            result.kernelDrops = udpReceiveBufferErrors();
        }
        lastNs = now;
    }
    const std::uint64_t drainUntil = monotonicNs() + static_cast<std::uint64_t>(config.drainSeconds * 1e9);
    while (arrived.load(std::memory_order_relaxed) < total && monotonicNs() < drainUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop.store(true);
    receiving.join();
    if (epoll >= 0) ::close(epoll);

    const long long dropsAfter = udpReceiveBufferErrors();
    result.kernelDrops = (result.kernelDrops >= 0 && dropsAfter >= 0) ? dropsAfter - result.kernelDrops : -1;
    result.sent = total - warmup;
    result.received = samples.size();
    result.lost = result.sent - result.received;
    result.sendSeconds = static_cast<double>(lastNs - firstMeasuredNs) / 1e9;
    result.receiverCpuKnown = cpuStarted;
    result.receiverCpuNs = cpuStarted ? cpuEnd - cpuStart : 0;
    result.latency = summarize(samples);
    result.ok = true;
    if (sendFailures > 0) result.error = std::to_string(sendFailures) + " sends failed";
    return result;
}

}  // namespace NatNetLatency
