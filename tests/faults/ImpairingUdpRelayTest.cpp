// The relay itself, between two bare sockets: it forwards each path from the right port, keeps
// the order when nothing impairs it, and its impairments are seeded (a run repeats exactly) and
// of the size asked for.

#include <ImpairingUdpRelay.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace Quorvane::TestSupport {
namespace {

using namespace std::chrono_literals;

// A bound UDP socket on 127.0.0.1 that sends and receives numbered datagrams.
class BareSocket
{
public:
    BareSocket() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in local = endpoint("127.0.0.1", 0);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
        const int bytes = 4 * 1024 * 1024;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    ~BareSocket() { ::close(m_fd); }
    BareSocket(const BareSocket&) = delete;
    BareSocket& operator=(const BareSocket&) = delete;

    static sockaddr_in endpoint(const std::string& address, std::uint16_t port)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        return to;
    }
    std::uint16_t port() const
    {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &size);
        return ntohs(local.sin_port);
    }
    void send(std::uint32_t number, const sockaddr_in& to)
    {
        ASSERT_EQ(
            ::sendto(m_fd, &number, sizeof number, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(sizeof number));
    }
    // The next number within `timeout` (false when none), and where it came from.
    bool receive(std::uint32_t& number, sockaddr_in& from, std::chrono::milliseconds timeout = 2000ms)
    {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) != 1) return false;
        socklen_t size = sizeof from;
        return ::recvfrom(m_fd, &number, sizeof number, 0, reinterpret_cast<sockaddr*>(&from), &size) ==
               static_cast<ssize_t>(sizeof number);
    }

private:
    int m_fd;
};

// A client and a server's two sockets with the relay between them; the client has registered.
struct Bench
{
    explicit Bench(std::uint32_t seed)
        : relay(ImpairingUdpRelayConfig{serverCommand.port(), serverData.port(), "127.0.0.1", "127.0.0.2",
                                        seed})
    {
        std::string error;
        EXPECT_TRUE(relay.start(&error)) << error;
        // The client's first command makes it known; the server learns the relay's address from it.
        client.send(0, BareSocket::endpoint(relay.address(), relay.commandPort()));
        std::uint32_t number = 1;
        EXPECT_TRUE(serverCommand.receive(number, relaySide));
        EXPECT_EQ(number, 0u);
    }

    // Frames 1..count from the server's data port; returns the numbers in arrival order.
    std::vector<std::uint32_t> frames(std::uint32_t count)
    {
        // Every datagram (and copy) that entered has left or been dropped.
        const auto done = [](const RelayCounters& c) {
            return c.sent + c.lost + c.droppedOutage + c.droppedQueueFull;
        };
        const RelayCounters before = relay.counters(RelayPath::Frames);
        for (std::uint32_t n = 1; n <= count; ++n) serverData.send(n, relaySide);
        EXPECT_TRUE(relay.waitFor(
            RelayPath::Frames,
            [&](const RelayCounters& c) {
                return c.received >= before.received + count &&
                       done(c) - done(before) >= count + (c.duplicated - before.duplicated);
            },
            5000ms));
        std::vector<std::uint32_t> arrived;
        std::uint32_t number = 0;
        sockaddr_in from{};
        while (client.receive(number, from, 100ms)) {
            EXPECT_EQ(ntohs(from.sin_port), serverData.port()) << "frames leave from the server's data port";
            arrived.push_back(number);
        }
        return arrived;
    }

    BareSocket client;
    BareSocket serverCommand;
    BareSocket serverData;
    sockaddr_in relaySide{};
    ImpairingUdpRelay relay;
};

TEST(ImpairingUdpRelay, UnimpairedEachPathArrivesInOrderFromTheRightPort)
{
    Bench bench(1);
    bench.serverCommand.send(7, bench.relaySide);
    std::uint32_t number = 0;
    sockaddr_in from{};
    ASSERT_TRUE(bench.client.receive(number, from));
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(ntohs(from.sin_port), bench.relay.commandPort());  // answers from the command port
    std::vector<std::uint32_t> expected(200);
    for (std::uint32_t n = 0; n < 200; ++n) expected[n] = n + 1;
    EXPECT_EQ(bench.frames(200), expected);
}

TEST(ImpairingUdpRelay, ImpairmentsAreSeededAndOfTheSizeAskedFor)
{
    Impairment impairment;
    impairment.loss = 0.2;
    impairment.duplicate = 0.1;
    impairment.reorder = 0.2;
    impairment.reorderHold = 5ms;
    impairment.jitterMax = 2ms;
    std::vector<std::uint32_t> runs[2];
    for (auto& run : runs) {
        Bench bench(42);
        bench.relay.setImpairment(RelayPath::Frames, impairment);
        run = bench.frames(1000);
        const RelayCounters counters = bench.relay.counters(RelayPath::Frames);
        EXPECT_NEAR(static_cast<double>(counters.lost), 200.0, 60.0);
        EXPECT_NEAR(static_cast<double>(counters.duplicated), 80.0, 40.0);
        EXPECT_EQ(run.size(), counters.sent);
    }
    // The same draws decide the same datagrams' fate (the order may differ by timing).
    std::sort(runs[0].begin(), runs[0].end());
    std::sort(runs[1].begin(), runs[1].end());
    EXPECT_EQ(runs[0], runs[1]);
}

TEST(ImpairingUdpRelay, AnOutageDropsEverythingUntilItEnds)
{
    Bench bench(3);
    bench.relay.setOutage(RelayPath::Frames, true);
    EXPECT_TRUE(bench.frames(50).empty());
    EXPECT_EQ(bench.relay.counters(RelayPath::Frames).droppedOutage, 50u);
    bench.relay.setOutage(RelayPath::Frames, false);
    EXPECT_EQ(bench.frames(50).size(), 50u);
}

}  // namespace
}  // namespace Quorvane::TestSupport
