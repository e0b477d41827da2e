// A UDP relay for fault tests that stands between one NatNet client and one
// server (the simulator) on loopback and impairs what passes: seeded, bounded
// loss, duplication, reordering, jitter and outages, set per path. The kernel
// here has no netem; this is our own, and it is a test tool, not a product part.
//
// Unicast only: the client connects to the relay as if it were the server.
// The relay listens on its own loopback address (default 127.0.0.2) with
//   - a command socket (commandPort(), ephemeral) that the client sends its
//     commands to and that sends the server's answers back;
//   - a data socket on the SAME port number as the server's data port, which
//     sends the frames, so the data port that the server's information
//     advertises is right for the relay too;
//   - a server-facing socket that forwards the commands (so the server
//     registers the relay as its unicast client) and receives the answers
//     (from the server's command port) and the frames (from its data port).
// One client: answers and frames go to the last sender seen on the command
// socket. Datagrams from anyone else on the server side are counted and dropped.
//
//     ImpairingUdpRelay relay({sim.commandPort(), sim.dataPort()});
//     ASSERT_TRUE(relay.start());
//     Impairment lossy;
//     lossy.loss = 0.05;
//     lossy.jitterMax = 20ms;
//     relay.setImpairment(RelayPath::Frames, lossy);
//     ... connect the client to relay.address():relay.commandPort() ...
//     relay.setOutage(RelayPath::Frames, true);   // everything on that path dropped
//
// Thread use: any method from any thread. One thread ("udp-relay") moves the
// datagrams; the destructor stops and joins it. At most maxQueued datagrams
// (maxQueuedBytes bytes) wait for their delivery time; beyond that they are
// dropped (counted).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace Quorvane::TestSupport {

enum class RelayPath {
    Commands,  // client -> server command port
    Answers,   // server command port -> client
    Frames,    // server data port -> client
};
constexpr size_t kRelayPaths = 3;

struct Impairment
{
    double loss = 0.0;       // probability that a datagram is dropped
    double duplicate = 0.0;  // probability that it is sent twice (the copy with a delay of its own)
    double reorder = 0.0;    // probability that it is held back by reorderHold, so later ones pass it
    std::chrono::milliseconds reorderHold{10};
    // Every datagram waits a delay drawn uniformly from [jitterMin, jitterMax].
    std::chrono::milliseconds jitterMin{0};
    std::chrono::milliseconds jitterMax{0};
};

struct RelayCounters
{
    uint64_t received = 0;          // datagrams that entered the path
    uint64_t sent = 0;              // datagrams that left it (copies included)
    uint64_t lost = 0;              // dropped by the loss draw
    uint64_t duplicated = 0;        // extra copies made
    uint64_t reordered = 0;         // held back so that later ones passed
    uint64_t droppedOutage = 0;     // dropped during an outage
    uint64_t droppedQueueFull = 0;  // dropped because maxQueued were waiting
};

struct ImpairingUdpRelayConfig
{
    uint16_t serverCommandPort = 0;
    uint16_t serverDataPort = 0;
    std::string serverAddress = "127.0.0.1";
    std::string relayAddress = "127.0.0.2";
    uint32_t seed = 1;
    size_t maxQueued = 4096;           // datagrams waiting for their time
    size_t maxQueuedBytes = 16 << 20;  // and their bytes
};

class ImpairingUdpRelay
{
public:
    explicit ImpairingUdpRelay(ImpairingUdpRelayConfig config);
    ~ImpairingUdpRelay();
    ImpairingUdpRelay(const ImpairingUdpRelay&) = delete;
    ImpairingUdpRelay& operator=(const ImpairingUdpRelay&) = delete;

    // Binds the three sockets and starts the thread; false (with a reason) when a
    // port is taken or an address is malformed.
    bool start(std::string* error = nullptr);

    const std::string& address() const { return m_config.relayAddress; }
    uint16_t commandPort() const { return m_commandPort; }
    uint16_t dataPort() const { return m_config.serverDataPort; }

    void setImpairment(RelayPath path, const Impairment& impairment);
    // While on, every datagram on the path is dropped (those waiting on it too, when due).
    void setOutage(RelayPath path, bool on);

    RelayCounters counters(RelayPath path) const;
    uint64_t foreignDropped() const;  // server-side datagrams from neither server port
    // Waits until the predicate holds for the path's counters (checked at every change).
    bool waitFor(RelayPath path, const std::function<bool(const RelayCounters&)>& predicate,
                 std::chrono::milliseconds timeout) const;

private:
    struct Queue;
    void run();
    void receiveFrom(int fd, bool fromClient);
    void admit(RelayPath path, const uint8_t* bytes, size_t size);
    void deliverDue();
    int msUntilNextDue() const;

    ImpairingUdpRelayConfig m_config;
    int m_commandFd = -1;  // faces the client: commands in, answers out
    int m_dataFd = -1;     // faces the client: frames out, on the server's data port number
    int m_serverFd = -1;   // faces the server: commands out, answers and frames in
    int m_wakeFd = -1;
    uint16_t m_commandPort = 0;
    uint32_t m_serverAddress = 0;  // network byte order
    uint32_t m_clientAddress = 0;  // network byte order; relay thread only
    uint16_t m_clientPort = 0;     // network byte order; relay thread only

    mutable std::mutex m_mutex;  // guards what follows
    mutable std::condition_variable m_changed;
    std::array<Impairment, kRelayPaths> m_impairments{};
    std::array<bool, kRelayPaths> m_outage{};
    std::array<RelayCounters, kRelayPaths> m_counters{};
    uint64_t m_foreignDropped = 0;
    std::mt19937 m_rng;
    std::unique_ptr<Queue> m_queue;  // relay thread only

    std::thread m_thread;
};

}  // namespace Quorvane::TestSupport
