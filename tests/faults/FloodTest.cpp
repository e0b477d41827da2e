// A foreign sender floods the client's socket with garbage while the server streams: every frame
// of the server still reaches the stream (counted by frame number), none of the foreign
// datagrams does (not even well-formed frames), and the client counts each one it dropped.

#include "Encoding.h"
#include "FaultTestSupport.h"

#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

namespace Quorvane::FaultTesting {
namespace {

#if defined(__SANITIZE_THREAD__)
// The thread sanitizer slows the receive thread several times over; at the full rate the
// kernel's buffer, not the client, would decide what arrives.
constexpr int kFloodPerSecond = 20'000;
#else
constexpr int kFloodPerSecond = 100'000;
#endif
constexpr auto kFloodTime = 2000ms;
// A flood worth the name: half a second's worth. A loaded machine sends it late rather than not at
// all, so the flood ends on time only once it sent that much, and by kFloodLimit in any case.
constexpr int kFloodMinimum = kFloodPerSecond / 2;
constexpr auto kFloodLimit = 4 * kFloodTime;
constexpr int kServerFrames = 1000;  // at 500 Hz, during the flood
constexpr std::int64_t kForeignFrameNumbers = 1'000'000;

// Garbage of three kinds: random bytes of random length (the empty datagram included), a frame
// header with a random payload, and perfectly valid frames numbered from 1,000,000.
class Garbage
{
public:
    Garbage()
    {
        for (int i = 0; i < 16; ++i) {
            m_validFrames.push_back(NatNetTest::frameDatagram(
                *numberedFrame(static_cast<std::int32_t>(kForeignFrameNumbers + i))));
        }
    }

    const std::vector<std::uint8_t>& next()
    {
        const unsigned kind = m_random() % 4;
        if (kind == 0) return m_validFrames[m_random() % m_validFrames.size()];
        m_bytes.resize(m_random() % 1400);
        for (auto& byte : m_bytes) byte = static_cast<std::uint8_t>(m_random());
        if (kind == 1 && m_bytes.size() >= 4) {
            const auto payload = static_cast<std::uint16_t>(m_bytes.size() - 4);
            m_bytes[0] = 7;  // NAT_FRAMEOFDATA
            m_bytes[1] = 0;
            m_bytes[2] = static_cast<std::uint8_t>(payload & 0xFF);
            m_bytes[3] = static_cast<std::uint8_t>(payload >> 8);
        }
        return m_bytes;
    }

private:
    std::mt19937 m_random{20240611u};
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::vector<std::uint8_t>> m_validFrames;
};

struct Mode
{
    const char* name;
    bool multicast;
};

class Flood : public DrivenStreamTest, public ::testing::WithParamInterface<Mode>
{
protected:
    bool multicast() const override { return GetParam().multicast; }
};

TEST_P(Flood, EveryServerFrameArrivesAndEveryForeignDatagramIsCountedAndDropped)
{
    const bool multicast = GetParam().multicast;

    std::string target = kGroup;
    std::uint16_t port = m_sim->dataPort();
    if (!multicast) {
        ASSERT_TRUE(m_sim->waitFor([](const auto& c) { return c.clientsConnected == 1; }, 2s));
        target = "127.0.0.1";
        port = m_sim->clients().at(0).port;  // the client's one socket
    }
    const std::uint64_t foreignBefore = m_driven.counters().droppedForeignSender;
    const std::uint64_t dropsBefore = kernelDropsOnPort(port);

    std::atomic<std::uint64_t> floodSent{0};
    std::thread flood([&] {
        ForeignSender sender;
        Garbage garbage;
        const auto start = std::chrono::steady_clock::now();
        constexpr int kPerMillisecond = kFloodPerSecond / 1000;
        for (int ms = 0; ms < kFloodTime.count(); ++ms) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
            const auto late = std::chrono::steady_clock::now() - start;
            if ((late > kFloodTime + 500ms && floodSent.load() > kFloodMinimum) || late > kFloodLimit) {
                break;  // a stalled machine: the flood ends once it is worth the name
            }
            for (int i = 0; i < kPerMillisecond; ++i) {
                if (sender.send(garbage.next(), target, port)) ++floodSent;
            }
        }
    });
    auto frame = numberedFrame(1);
    const auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= kServerFrames; ++n) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(2000 * n));
        frame->iFrame = n;
        frame->RigidBodies[0].x = static_cast<float>(n);
        EXPECT_EQ(m_sim->sendFrame(*frame), 1);
    }
    flood.join();

    EXPECT_GT(floodSent.load(), static_cast<std::uint64_t>(kFloodMinimum));
    // Every datagram is accounted for: delivered (the server's), counted as foreign, or dropped by
    // the kernel because the receive buffer was full (a machine too loaded to keep up; 0 as a rule).
    const auto accounted = [&] {
        const std::uint64_t lostServerFrames = kServerFrames - m_delivered.countIn(1, kServerFrames);
        const std::uint64_t uncountedForeign =
            floodSent.load() - (m_driven.counters().droppedForeignSender - foreignBefore);
        return lostServerFrames + uncountedForeign == kernelDropsOnPort(port) - dropsBefore;
    };
    const auto counted = [&] { return m_driven.counters().droppedForeignSender - foreignBefore; };
    EXPECT_TRUE(eventually(accounted, 5000ms))
        << "server frames delivered " << m_delivered.countIn(1, kServerFrames) << " of " << kServerFrames
        << ", foreign counted " << counted() << " of " << floodSent.load() << ", kernel drops "
        << kernelDropsOnPort(port) - dropsBefore;
    const std::uint64_t kernelDrops = kernelDropsOnPort(port) - dropsBefore;
    if (kernelDrops == 0) {
        EXPECT_EQ(m_delivered.countIn(1, kServerFrames), static_cast<std::size_t>(kServerFrames));
        EXPECT_EQ(counted(), floodSent.load());
    } else {
        std::printf(
            "note: the kernel dropped %llu datagrams (receive buffer full): the machine could not keep up\n",
            static_cast<unsigned long long>(kernelDrops));
    }
    EXPECT_EQ(m_delivered.countIn(kForeignFrameNumbers, kForeignFrameNumbers + 100), 0u);
    const NatNetExt::ClientCounters counters = m_driven.counters();
    EXPECT_EQ(counters.droppedBadFrame, 0u);
    EXPECT_EQ(counters.droppedMalformed, 0u);  // the foreign ones were refused before any decoding
}

INSTANTIATE_TEST_SUITE_P(Modes, Flood, ::testing::Values(Mode{"unicast", false}, Mode{"multicast", true}),
                         [](const ::testing::TestParamInfo<Mode>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
}  // namespace Quorvane::FaultTesting
