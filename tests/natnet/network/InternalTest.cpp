// Internal parts: IPv4 text, target lists, the echo clock model, and the
// simulator's table of unicast clients.
#include "ClientTable.h"
#include "ClockSync.h"
#include "natnet/transport/DecimalText.h"
#include "natnet/transport/Ipv4Text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using NatNet::Net::ClockSync;
using NatNet::Net::Ipv4Endpoint;

TEST(Ipv4Text, OnlyStrictDottedQuadsParse)
{
    struct Row
    {
        const char* text = nullptr;
        uint32_t address = 0;
    };
    const Row accepted[] = {
        {"127.0.0.1", 0x7F000001u},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"239.255.42.99", 0xEFFF2A63u},
    };
    for (const Row& row : accepted) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(NatNet::Net::parseIpv4(row.text), row.address);
    }
    for (const char* text :
         {"256.0.0.1", "1.2.3", "1.2.3.4.5", "1.2.3.", ".1.2.3", "01.2.3.4", "1.2.3.4 ", "1..3.4", "",
          "localhost", "1.2.3.1234", "1.2.3.+4", "1.2.-3.4", "1.2.3.0x4", "1.2.3.99999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(NatNet::Net::parseIpv4(text), std::nullopt);
    }
    EXPECT_EQ(NatNet::Net::parseIpv4(nullptr), std::nullopt);
    EXPECT_EQ(NatNet::Net::formatIpv4(0xC0A80014u), "192.168.0.20");
    uint8_t bytes[4];
    NatNet::Net::ipv4ToBytes(0xEFFF2A63u, bytes);
    EXPECT_EQ(bytes[0], 239);
    EXPECT_EQ(bytes[3], 99);
    EXPECT_EQ(NatNet::Net::ipv4FromBytes(bytes), 0xEFFF2A63u);
}

TEST(DecimalText, DigitsOnlyTheWholeTextInRange)
{
    struct Row
    {
        const char* text = nullptr;
        uint16_t value = 0;
    };
    const Row accepted[] = {
        {"0", 0},
        {"65535", 65535},
        {"00080", 80},
    };
    for (const Row& row : accepted) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(NatNet::Net::parseDecimal<uint16_t>(row.text), row.value);
    }
    for (const char* text : {"65536", "", "+1", "-1", " 1", "1 ", "1x", "0x1"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(NatNet::Net::parseDecimal<uint16_t>(text), std::nullopt);
    }
}

TEST(Ipv4Text, EndpointListsTakeADefaultPortAndRefuseAnyBadItem)
{
    const auto list = NatNet::Net::parseEndpointList(" 127.0.0.1:41510, 127.255.255.255 ", 1510);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0], (Ipv4Endpoint{0x7F000001u, 41510}));
    EXPECT_EQ((*list)[1], (Ipv4Endpoint{0x7FFFFFFFu, 1510}));
    for (const char* bad :
         {"127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:x", "127.0.0.1:+80", "127.0.0.1:-1",
          "127.0.0.1:99999999999", ",127.0.0.1", "127.0.0.1,,127.0.0.2", "host:1510"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(NatNet::Net::parseEndpointList(bad, 1510));
    }
    EXPECT_TRUE(NatNet::Net::parseEndpointList("", 1510)->empty());
}

// A server whose clock reads `offset` seconds (at 10 MHz) when the local clock reads 0.
struct FakeServer
{
    static constexpr uint64_t kHz = 10'000'000;
    uint64_t offsetTicks = 5'000'000'000ull;

    uint64_t ticksAt(uint64_t localNs) const { return offsetTicks + localNs / 100; }
};

TEST(ClockSync, TheEchoWithTheSmallestRoundTripPinsTheClock)
{
    ClockSync clock;
    clock.reset(FakeServer::kHz);
    FakeServer server;
    EXPECT_FALSE(clock.isSynchronised());
    EXPECT_EQ(clock.secondsSince(123, 1'000'000), 0.0);

    // Sent at t0, stamped by the server `forward` later, answered `back` after that.
    const auto echo = [&](uint64_t t0, uint64_t forward, uint64_t back) {
        return clock.addSample(t0, t0 + forward + back, server.ticksAt(t0 + forward));
    };
    ASSERT_TRUE(echo(1'000'000'000, 9'000'000, 1'000'000));  // 10 ms, lopsided: estimate off by 4 ms
    const uint64_t now = 2'000'000'000;
    EXPECT_NEAR(clock.secondsSince(server.ticksAt(now), now), 0.004, 1e-6);
    ASSERT_TRUE(echo(1'250'000'000, 100'000, 100'000));  // 0.2 ms, symmetric: exact
    EXPECT_NEAR(clock.secondsSince(server.ticksAt(now), now), 0.0, 1e-6);
    ASSERT_TRUE(echo(1'500'000'000, 5'000'000, 0));  // worse again: ignored
    EXPECT_NEAR(clock.secondsSince(server.ticksAt(now), now), 0.0, 1e-6);
    EXPECT_EQ(clock.bestRoundTripNs(), 200'000u);
    EXPECT_NEAR(clock.secondsSince(server.ticksAt(now) - FakeServer::kHz / 4, now), 0.25, 1e-6);

    // Answers before questions, or after a second, are not samples.
    EXPECT_FALSE(clock.addSample(2'000'000'000, 1'999'999'999, 0));
    EXPECT_FALSE(clock.addSample(0, ClockSync::kMaxRoundTripNs + 1, 0));
}

TEST(ClockSync, TheBestSampleAgesOutOfTheWindow)
{
    ClockSync clock;
    clock.reset(FakeServer::kHz);
    FakeServer server;
    uint64_t t = 1'000'000'000;
    ASSERT_TRUE(clock.addSample(t, t + 100'000, server.ticksAt(t + 50'000)));
    for (size_t i = 0; i < ClockSync::kWindow - 1; ++i) {
        t += 250'000'000;
        ASSERT_TRUE(clock.addSample(t, t + 2'000'000, server.ticksAt(t + 1'000'000)));
    }
    EXPECT_EQ(clock.bestRoundTripNs(), 100'000u);
    t += 250'000'000;
    ASSERT_TRUE(clock.addSample(t, t + 3'000'000, server.ticksAt(t + 1'500'000)));
    EXPECT_EQ(clock.bestRoundTripNs(), 2'000'000u);  // the 0.1 ms sample left the window
}

TEST(ClockSync, AJumpOfTheServerClockStartsOverAndTheSameFrequencyKeepsSamples)
{
    ClockSync clock;
    clock.reset(FakeServer::kHz);
    FakeServer server;
    ASSERT_TRUE(clock.addSample(1'000'000'000, 1'000'100'000, server.ticksAt(1'000'050'000)));
    clock.setFrequency(FakeServer::kHz);  // repeated server information
    EXPECT_TRUE(clock.isSynchronised());

    server.offsetTicks = 100;  // the server restarted: its clock begins again
    const uint64_t t = 2'000'000'000;
    ASSERT_TRUE(clock.addSample(t, t + 4'000'000, server.ticksAt(t + 2'000'000)));
    EXPECT_EQ(clock.bestRoundTripNs(), 4'000'000u);  // the old, better sample is gone
    EXPECT_NEAR(clock.secondsSince(server.ticksAt(t + 10'000'000), t + 10'000'000), 0.0, 1e-6);

    clock.setFrequency(FakeServer::kHz * 2);
    EXPECT_FALSE(clock.isSynchronised());
}

TEST(SimulatorClientTable, ClientsAreReplacedByEndpointAndExpireWhenSilent)
{
    using NatNet::Sim::Internal::ClientTable;
    using NatNet::Sim::Internal::UnicastClient;
    ClientTable table;
    UnicastClient a;
    a.endpoint = {0x7F000001u, 5000};
    a.lastHeardNs = 1'000;
    UnicastClient b = a;
    b.endpoint.port = 5001;
    EXPECT_TRUE(table.upsert(a));
    EXPECT_TRUE(table.upsert(b));
    a.version = NatNet::Wire::Version(3, 0);
    EXPECT_FALSE(table.upsert(a));  // same endpoint: replaced
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.find(a.endpoint)->version.major, 3);

    EXPECT_TRUE(table.touch(b.endpoint, 9'000));
    EXPECT_FALSE(table.touch({0x7F000001u, 1}, 9'000));
    EXPECT_EQ(table.expire(10'000, 5'000), 1u);  // a was heard at 1000, b at 9000
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.all()[0].endpoint.port, 5001);
    EXPECT_TRUE(table.remove(b.endpoint));
    EXPECT_FALSE(table.remove(b.endpoint));
}

}  // namespace
