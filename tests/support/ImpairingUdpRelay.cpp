#include "ImpairingUdpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <queue>
#include <vector>

namespace Quorvane::TestSupport {

namespace {

constexpr size_t kDatagramCapacity = 65536;
constexpr int kIdlePollMs = 50;
constexpr int kSocketBufferBytes = 4 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

int openUdp(uint32_t address, uint16_t port, std::string& why)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    const int bytes = kSocketBufferBytes;
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t boundPort(int fd)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

struct ImpairingUdpRelay::Queue
{
    struct Datagram
    {
        Clock::time_point due;
        uint64_t sequence = 0;  // equal due times keep their arrival order
        RelayPath path = RelayPath::Commands;
        std::vector<uint8_t> bytes;
    };
    struct Later
    {
        bool operator()(const Datagram& a, const Datagram& b) const
        {
            return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
        }
    };
    std::priority_queue<Datagram, std::vector<Datagram>, Later> waiting;
    uint64_t nextSequence = 0;
    size_t bytes = 0;  // of the waiting datagrams
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kDatagramCapacity);
};

ImpairingUdpRelay::ImpairingUdpRelay(ImpairingUdpRelayConfig config)
    : m_config(std::move(config)), m_rng(m_config.seed), m_queue(std::make_unique<Queue>())
{
}

ImpairingUdpRelay::~ImpairingUdpRelay()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    closeFd(m_commandFd);
    closeFd(m_dataFd);
    closeFd(m_serverFd);
    closeFd(m_wakeFd);
}

bool ImpairingUdpRelay::start(std::string* error)
{
    std::string why;
    const auto fail = [&](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": " + why;
        }
        closeFd(m_commandFd);
        closeFd(m_dataFd);
        closeFd(m_serverFd);
        closeFd(m_wakeFd);
        return false;
    };
    if (m_thread.joinable()) {
        why = "already running";
        return fail("start");
    }
    in_addr relay{};
    in_addr server{};
    if (inet_pton(AF_INET, m_config.relayAddress.c_str(), &relay) != 1 ||
        inet_pton(AF_INET, m_config.serverAddress.c_str(), &server) != 1) {
        why = "not an IPv4 address";
        return fail("address");
    }
    m_serverAddress = server.s_addr;
    if ((m_commandFd = openUdp(relay.s_addr, 0, why)) < 0) {
        return fail("command socket");
    }
    if ((m_dataFd = openUdp(relay.s_addr, m_config.serverDataPort, why)) < 0) {
        return fail("data socket on port " + std::to_string(m_config.serverDataPort));
    }
    if ((m_serverFd = openUdp(relay.s_addr, 0, why)) < 0) {
        return fail("server-facing socket");
    }
    if ((m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) < 0) {
        why = std::strerror(errno);
        return fail("eventfd");
    }
    m_commandPort = boundPort(m_commandFd);
    m_thread = std::thread([this] { run(); });
    return true;
}

void ImpairingUdpRelay::setImpairment(RelayPath path, const Impairment& impairment)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_impairments[static_cast<size_t>(path)] = impairment;
}

void ImpairingUdpRelay::setOutage(RelayPath path, bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outage[static_cast<size_t>(path)] = on;
}

RelayCounters ImpairingUdpRelay::counters(RelayPath path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counters[static_cast<size_t>(path)];
}

uint64_t ImpairingUdpRelay::foreignDropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_foreignDropped;
}

bool ImpairingUdpRelay::waitFor(RelayPath path, const std::function<bool(const RelayCounters&)>& predicate,
                                std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout,
                              [&] { return predicate(m_counters[static_cast<size_t>(path)]); });
}

void ImpairingUdpRelay::run()
{
    pthread_setname_np(pthread_self(), "udp-relay");
    for (;;) {
        pollfd fds[] = {
            {m_wakeFd, POLLIN, 0}, {m_commandFd, POLLIN, 0}, {m_serverFd, POLLIN, 0}, {m_dataFd, POLLIN, 0}};
        const int ready = ::poll(fds, 4, msUntilNextDue());
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            receiveFrom(m_commandFd, true);
        }
        if ((fds[2].revents & POLLIN) != 0) {
            receiveFrom(m_serverFd, false);
        }
        if ((fds[3].revents & POLLIN) != 0) {
            // Nothing is expected here; drain it so that it cannot fill up.
            std::vector<uint8_t>& buffer = m_queue->buffer;
            while (::recv(m_dataFd, buffer.data(), buffer.size(), 0) >= 0) {
            }
        }
        deliverDue();
    }
}

// Reads every datagram waiting on `fd` (bounded per call, so the queue is served too).
void ImpairingUdpRelay::receiveFrom(int fd, bool fromClient)
{
    std::vector<uint8_t>& buffer = m_queue->buffer;
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size =
            ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < 0) {
            return;
        }
        if (fromClient) {
            m_clientAddress = from.sin_addr.s_addr;
            m_clientPort = from.sin_port;
            admit(RelayPath::Commands, buffer.data(), static_cast<size_t>(size));
            continue;
        }
        const uint16_t port = ntohs(from.sin_port);
        if (from.sin_addr.s_addr == m_serverAddress && port == m_config.serverCommandPort) {
            admit(RelayPath::Answers, buffer.data(), static_cast<size_t>(size));
        } else if (from.sin_addr.s_addr == m_serverAddress && port == m_config.serverDataPort) {
            admit(RelayPath::Frames, buffer.data(), static_cast<size_t>(size));
        } else {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_foreignDropped;
        }
    }
}

void ImpairingUdpRelay::admit(RelayPath path, const uint8_t* bytes, size_t size)
{
    const auto index = static_cast<size_t>(path);
    const Clock::time_point now = Clock::now();
    std::vector<Clock::time_point> dues;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        RelayCounters& counters = m_counters[index];
        const Impairment& impairment = m_impairments[index];
        ++counters.received;
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        const auto delay = [&] {
            const auto low = std::max<std::int64_t>(impairment.jitterMin.count(), 0);
            const auto high = std::max<std::int64_t>(impairment.jitterMax.count(), low);
            std::uniform_int_distribution<std::int64_t> draw(low * 1000, high * 1000);  // in us
            auto due = now + std::chrono::microseconds(draw(m_rng));
            if (chance(m_rng) < impairment.reorder) {
                ++counters.reordered;
                due += impairment.reorderHold;
            }
            return due;
        };
        if (m_outage[index]) {
            ++counters.droppedOutage;
        } else if (chance(m_rng) < impairment.loss) {
            ++counters.lost;
        } else {
            dues.push_back(delay());
            if (chance(m_rng) < impairment.duplicate) {
                ++counters.duplicated;
                dues.push_back(delay());
            }
        }
        while (!dues.empty() && (m_queue->waiting.size() + dues.size() > m_config.maxQueued ||
                                 m_queue->bytes + dues.size() * size > m_config.maxQueuedBytes)) {
            ++counters.droppedQueueFull;
            dues.pop_back();
        }
        m_changed.notify_all();
    }
    for (const Clock::time_point due : dues) {
        m_queue->waiting.push(
            {due, m_queue->nextSequence++, path, std::vector<uint8_t>(bytes, bytes + size)});
        m_queue->bytes += size;
    }
}

void ImpairingUdpRelay::deliverDue()
{
    const Clock::time_point now = Clock::now();
    while (!m_queue->waiting.empty() && m_queue->waiting.top().due <= now) {
        const Queue::Datagram& datagram = m_queue->waiting.top();
        const auto index = static_cast<size_t>(datagram.path);
        bool outage = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            outage = m_outage[index];
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        int fd = -1;
        if (datagram.path == RelayPath::Commands) {
            to.sin_addr.s_addr = m_serverAddress;
            to.sin_port = htons(m_config.serverCommandPort);
            fd = m_serverFd;
        } else {
            to.sin_addr.s_addr = m_clientAddress;
            to.sin_port = m_clientPort;
            fd = datagram.path == RelayPath::Answers ? m_commandFd : m_dataFd;
        }
        const bool sent = !outage && m_clientPort != 0 &&
                          ::sendto(fd, datagram.bytes.data(), datagram.bytes.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (outage) {
                ++m_counters[index].droppedOutage;
            } else if (sent) {
                ++m_counters[index].sent;
            }
            m_changed.notify_all();
        }
        m_queue->bytes -= datagram.bytes.size();
        m_queue->waiting.pop();
    }
}

int ImpairingUdpRelay::msUntilNextDue() const
{
    if (m_queue->waiting.empty()) {
        return kIdlePollMs;
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_queue->waiting.top().due - Clock::now());
    // Round up to the next millisecond boundary; 0 when due already.
    return static_cast<int>(std::clamp<std::int64_t>(wait.count() + 1, 0, kIdlePollMs));
}

}  // namespace Quorvane::TestSupport
