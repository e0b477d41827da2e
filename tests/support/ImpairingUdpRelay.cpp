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
    : config_(std::move(config)), rng_(config_.seed), queue_(std::make_unique<Queue>())
{
}

ImpairingUdpRelay::~ImpairingUdpRelay()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    closeFd(commandFd_);
    closeFd(dataFd_);
    closeFd(serverFd_);
    closeFd(wakeFd_);
}

bool ImpairingUdpRelay::start(std::string* error)
{
    std::string why;
    const auto fail = [&](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": " + why;
        }
        closeFd(commandFd_);
        closeFd(dataFd_);
        closeFd(serverFd_);
        closeFd(wakeFd_);
        return false;
    };
    if (thread_.joinable()) {
        why = "already running";
        return fail("start");
    }
    in_addr relay{};
    in_addr server{};
    if (inet_pton(AF_INET, config_.relayAddress.c_str(), &relay) != 1 ||
        inet_pton(AF_INET, config_.serverAddress.c_str(), &server) != 1) {
        why = "not an IPv4 address";
        return fail("address");
    }
    serverAddress_ = server.s_addr;
    if ((commandFd_ = openUdp(relay.s_addr, 0, why)) < 0) {
        return fail("command socket");
    }
    if ((dataFd_ = openUdp(relay.s_addr, config_.serverDataPort, why)) < 0) {
        return fail("data socket on port " + std::to_string(config_.serverDataPort));
    }
    if ((serverFd_ = openUdp(relay.s_addr, 0, why)) < 0) {
        return fail("server-facing socket");
    }
    if ((wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) < 0) {
        why = std::strerror(errno);
        return fail("eventfd");
    }
    commandPort_ = boundPort(commandFd_);
    thread_ = std::thread([this] { run(); });
    return true;
}

void ImpairingUdpRelay::setImpairment(RelayPath path, const Impairment& impairment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    impairments_[static_cast<size_t>(path)] = impairment;
}

void ImpairingUdpRelay::setOutage(RelayPath path, bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    outage_[static_cast<size_t>(path)] = on;
}

RelayCounters ImpairingUdpRelay::counters(RelayPath path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<size_t>(path)];
}

uint64_t ImpairingUdpRelay::foreignDropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return foreignDropped_;
}

bool ImpairingUdpRelay::waitFor(RelayPath path, const std::function<bool(const RelayCounters&)>& predicate,
                                std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(counters_[static_cast<size_t>(path)]); });
}

void ImpairingUdpRelay::run()
{
    pthread_setname_np(pthread_self(), "udp-relay");
    for (;;) {
        pollfd fds[] = {
            {wakeFd_, POLLIN, 0}, {commandFd_, POLLIN, 0}, {serverFd_, POLLIN, 0}, {dataFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 4, msUntilNextDue());
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            receiveFrom(commandFd_, true);
        }
        if ((fds[2].revents & POLLIN) != 0) {
            receiveFrom(serverFd_, false);
        }
        if ((fds[3].revents & POLLIN) != 0) {
            // Nothing is expected here; drain it so that it cannot fill up.
            std::vector<uint8_t>& buffer = queue_->buffer;
            while (::recv(dataFd_, buffer.data(), buffer.size(), 0) >= 0) {
            }
        }
        deliverDue();
    }
}

// Reads every datagram waiting on `fd` (bounded per call, so the queue is served too).
void ImpairingUdpRelay::receiveFrom(int fd, bool fromClient)
{
    std::vector<uint8_t>& buffer = queue_->buffer;
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size =
            ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < 0) {
            return;
        }
        if (fromClient) {
            clientAddress_ = from.sin_addr.s_addr;
            clientPort_ = from.sin_port;
            admit(RelayPath::Commands, buffer.data(), static_cast<size_t>(size));
            continue;
        }
        const uint16_t port = ntohs(from.sin_port);
        if (from.sin_addr.s_addr == serverAddress_ && port == config_.serverCommandPort) {
            admit(RelayPath::Answers, buffer.data(), static_cast<size_t>(size));
        } else if (from.sin_addr.s_addr == serverAddress_ && port == config_.serverDataPort) {
            admit(RelayPath::Frames, buffer.data(), static_cast<size_t>(size));
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            ++foreignDropped_;
        }
    }
}

void ImpairingUdpRelay::admit(RelayPath path, const uint8_t* bytes, size_t size)
{
    const auto index = static_cast<size_t>(path);
    const Clock::time_point now = Clock::now();
    std::vector<Clock::time_point> dues;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        RelayCounters& counters = counters_[index];
        const Impairment& impairment = impairments_[index];
        ++counters.received;
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        const auto delay = [&] {
            const auto low = std::max<std::int64_t>(impairment.jitterMin.count(), 0);
            const auto high = std::max<std::int64_t>(impairment.jitterMax.count(), low);
            std::uniform_int_distribution<std::int64_t> draw(low * 1000, high * 1000);  // in us
            auto due = now + std::chrono::microseconds(draw(rng_));
            if (chance(rng_) < impairment.reorder) {
                ++counters.reordered;
                due += impairment.reorderHold;
            }
            return due;
        };
        if (outage_[index]) {
            ++counters.droppedOutage;
        } else if (chance(rng_) < impairment.loss) {
            ++counters.lost;
        } else {
            dues.push_back(delay());
            if (chance(rng_) < impairment.duplicate) {
                ++counters.duplicated;
                dues.push_back(delay());
            }
        }
        while (!dues.empty() && (queue_->waiting.size() + dues.size() > config_.maxQueued ||
                                 queue_->bytes + dues.size() * size > config_.maxQueuedBytes)) {
            ++counters.droppedQueueFull;
            dues.pop_back();
        }
        changed_.notify_all();
    }
    for (const Clock::time_point due : dues) {
        queue_->waiting.push({due, queue_->nextSequence++, path, std::vector<uint8_t>(bytes, bytes + size)});
        queue_->bytes += size;
    }
}

void ImpairingUdpRelay::deliverDue()
{
    const Clock::time_point now = Clock::now();
    while (!queue_->waiting.empty() && queue_->waiting.top().due <= now) {
        const Queue::Datagram& datagram = queue_->waiting.top();
        const auto index = static_cast<size_t>(datagram.path);
        bool outage = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outage = outage_[index];
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        int fd = -1;
        if (datagram.path == RelayPath::Commands) {
            to.sin_addr.s_addr = serverAddress_;
            to.sin_port = htons(config_.serverCommandPort);
            fd = serverFd_;
        } else {
            to.sin_addr.s_addr = clientAddress_;
            to.sin_port = clientPort_;
            fd = datagram.path == RelayPath::Answers ? commandFd_ : dataFd_;
        }
        const bool sent = !outage && clientPort_ != 0 &&
                          ::sendto(fd, datagram.bytes.data(), datagram.bytes.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (outage) {
                ++counters_[index].droppedOutage;
            } else if (sent) {
                ++counters_[index].sent;
            }
            changed_.notify_all();
        }
        queue_->bytes -= datagram.bytes.size();
        queue_->waiting.pop();
    }
}

int ImpairingUdpRelay::msUntilNextDue() const
{
    if (queue_->waiting.empty()) {
        return kIdlePollMs;
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(queue_->waiting.top().due - Clock::now());
    // Round up to the next millisecond boundary; 0 when due already.
    return static_cast<int>(std::clamp<std::int64_t>(wait.count() + 1, 0, kIdlePollMs));
}

}  // namespace Quorvane::TestSupport
