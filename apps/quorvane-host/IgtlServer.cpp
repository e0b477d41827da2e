#include "IgtlServer.h"

#include <igtlClientSocket.h>
#include <igtlServerSocket.h>
#include <igtlTimeStamp.h>
#include <igtlTransformMessage.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

using Clock = std::chrono::steady_clock;

/// The protocol's device name field.
constexpr std::size_t kDeviceNameBytes = 20;
/// How long the accepting thread waits for a client before it looks whether to stop.
constexpr unsigned long kAcceptPollMs = 100;
/// The distributing thread's longest wait for a frame before it looks whether to stop (also
/// what a missed wake-up could cost).
constexpr std::chrono::milliseconds kFramePoll{5};
/// A sending thread's longest wait for poses before it looks whether its client left.
constexpr std::chrono::milliseconds kSendPoll{100};

/// The library binds its server to every interface; this one binds to the address asked for,
/// so that the server is reachable from the network only when a user says so.
// The library's objects live behind its smart pointer, so their destructors are protected
// and virtual by its design.
class BoundServerSocket : public igtl::ServerSocket  // NOLINT(cppcoreguidelines-virtual-class-destructor)
{
public:
    typedef BoundServerSocket Self;
    typedef igtl::ServerSocket Superclass;
    typedef igtl::SmartPointer<Self> Pointer;
    igtlNewMacro(Self);

    /// Returns the port bound (the chosen one for 0), or -1 with `error`.
    int listenOn(const std::string& address, int port, std::string& error)
    {
        sockaddr_in where = {};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
            error = "not an IPv4 address: " + address;
            return -1;
        }
        m_SocketDescriptor = CreateSocket();
        if (m_SocketDescriptor < 0) {
            error = "cannot create a socket";
            return -1;
        }
        const int reuse = 1;
        ::setsockopt(m_SocketDescriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
        socklen_t length = sizeof(where);
        if (::bind(m_SocketDescriptor, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) != 0 ||
            Listen(m_SocketDescriptor) != 0 ||
            ::getsockname(m_SocketDescriptor, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
            error = "cannot listen on " + address + ":" + std::to_string(port);
            CloseSocket();
            return -1;
        }
        return ntohs(where.sin_port);
    }

protected:
    BoundServerSocket() = default;
    ~BoundServerSocket() override = default;
};

/// The descriptor of a library socket, which the library keeps to itself: shutting it down is
/// the one way to free a thread blocked in Send to a client that does not read.
class SocketDescriptor : public igtl::Socket
{
public:
    static int of(igtl::Socket& socket) { return socket.*(&SocketDescriptor::m_SocketDescriptor); }
};

}  // namespace
}  // namespace Internal

class IgtlServer::Listener
{
public:
    Internal::BoundServerSocket::Pointer socket = Internal::BoundServerSocket::New();
};

struct IgtlServer::Client
{
    igtl::ClientSocket::Pointer socket;
    IgtlClientQueue queue{IgtlServer::kMaxInstruments};
    std::atomic<std::uint64_t> sent{0};
    std::atomic<bool> finished{false};
    std::thread thread;
};

std::string igtlDeviceName(const std::string& name)
{
    if (name.size() <= Internal::kDeviceNameBytes) {
        return name;
    }
    std::size_t end = Internal::kDeviceNameBytes;
    // Back off continuation bytes so that the cut falls between characters.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return name.substr(0, end);
}

void igtlPosesOf(const std::vector<TrackingInstrument>& instruments, std::vector<IgtlPose>& out)
{
    out.clear();
    for (const TrackingInstrument& instrument : instruments) {
        if (!instrument.isTracked()) {
            continue;
        }
        IgtlPose pose;
        pose.key = instrument.identifier();
        pose.deviceName = igtlDeviceName(instrument.name());
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                pose.matrix[row][column] = static_cast<float>(instrument.pose(row, column));
            }
        }
        pose.timestampS = static_cast<double>(instrument.timestampMs) / 1000.0;
        out.push_back(std::move(pose));
    }
}

IgtlServer::IgtlServer(std::string address, int port, double rateHz, Sample sample)
    : m_address(std::move(address)), m_port(port), m_rateHz(rateHz), m_sample(std::move(sample))
{
}

IgtlServer::~IgtlServer()
{
    stop();
}

bool IgtlServer::start(std::string& error)
{
    m_listener = std::make_unique<Listener>();
    m_boundPort = m_listener->socket->listenOn(m_address, m_port, error);
    if (m_boundPort < 0) {
        m_listener.reset();
        return false;
    }
    m_acceptThread = std::thread([this] { acceptLoop(); });
    m_distributeThread = std::thread([this] { distributeLoop(); });
    return true;
}

void IgtlServer::frameArrived() noexcept
{
    m_frames.fetch_add(1, std::memory_order_release);
    m_wake.notify_one();
}

void IgtlServer::stop()
{
    if (m_stopping.exchange(true)) {
        return;
    }
    m_wake.notify_all();
    if (m_distributeThread.joinable()) {
        m_distributeThread.join();
    }
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    reap(true);
    if (m_listener) {
        m_listener->socket->CloseSocket();
    }
}

IgtlTotals IgtlServer::totals() const
{
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    IgtlTotals totals = m_finished;
    for (const std::unique_ptr<Client>& client : m_clients) {
        totals.posesSent += client->sent.load();
        totals.posesMissed += client->queue.missed();
    }
    return totals;
}

void IgtlServer::acceptLoop()
{
    while (!m_stopping.load()) {
        igtl::ClientSocket::Pointer socket = m_listener->socket->WaitForConnection(Internal::kAcceptPollMs);
        reap(false);
        if (socket.IsNull()) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        if (m_clients.size() >= kMaxClients) {
            socket->CloseSocket();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        Client& added = *client;
        ++m_finished.clients;
        m_clients.push_back(std::move(client));
        added.thread = std::thread([this, &added] { sendLoop(added); });
    }
}

void IgtlServer::distributeLoop()
{
    std::uint64_t handled = 0;
    std::vector<IgtlPose> poses;
    while (!m_stopping.load()) {
        {
            std::unique_lock<std::mutex> lock(m_wakeMutex);
            // The receive thread notifies without this lock; the short timeout bounds a missed wake-up.
            m_wake.wait_for(lock, Internal::kFramePoll, [&] {
                return m_stopping.load() || m_frames.load(std::memory_order_acquire) != handled;
            });
        }
        const std::uint64_t frames = m_frames.load(std::memory_order_acquire);
        if (m_stopping.load() || frames == handled) {
            continue;
        }
        handled = frames;
        igtlPosesOf(m_sample(), poses);
        if (poses.empty()) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        for (const std::unique_ptr<Client>& client : m_clients) {
            client->queue.offer(poses);
        }
    }
}

void IgtlServer::sendLoop(Client& client)
{
    using Internal::Clock;
    const Clock::duration interval =
        m_rateHz > 0.0
            ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / m_rateHz))
            : Clock::duration::zero();
    igtl::TransformMessage::Pointer message = igtl::TransformMessage::New();
    igtl::TimeStamp::Pointer stamp = igtl::TimeStamp::New();
    std::vector<IgtlPose> batch;
    bool connected = true;
    while (connected && !m_stopping.load()) {
        if (!client.queue.take(batch, Clock::now() + Internal::kSendPoll)) {
            continue;
        }
        const Clock::time_point sentAt = Clock::now();
        for (IgtlPose& pose : batch) {
            message->SetDeviceName(pose.deviceName.c_str());
            message->SetMatrix(pose.matrix);
            stamp->SetTime(pose.timestampS);
            message->SetTimeStamp(stamp);
            message->Pack();
            if (client.socket->Send(message->GetPackPointer(), static_cast<int>(message->GetPackSize())) !=
                1) {
                connected = false;  // the client left (or its connection broke)
                break;
            }
            client.sent.fetch_add(1, std::memory_order_relaxed);
        }
        if (connected && interval != Clock::duration::zero()) {
            // The rate cap: meanwhile newer poses replace the queued ones.
            client.queue.waitUnlessClosed(sentAt + interval);
        }
    }
    client.queue.close();
    client.finished.store(true);
}

void IgtlServer::reap(bool all)
{
    std::vector<std::unique_ptr<Client>> ended;
    {
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            if (all || (*it)->finished.load()) {
                ended.push_back(std::move(*it));
                it = m_clients.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const std::unique_ptr<Client>& client : ended) {
        if (all) {
            // Frees a Send blocked on a client that does not read; the thread closes the socket.
            client->queue.close();
            ::shutdown(Internal::SocketDescriptor::of(*client->socket), SHUT_RDWR);
        }
        client->thread.join();
        client->socket->CloseSocket();
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        m_finished.posesSent += client->sent.load();
        m_finished.posesMissed += client->queue.missed();
    }
}

}  // namespace Host
}  // namespace Quorvane
