// Once the instruments exist, a frame costs no heap allocation: neither from the decoder to
// emitSignals on one thread with the per-frame diagnostics off, nor on the NatNet receive thread
// for frames that come over loopback (socket read, decode, onFrameReceived, store, signal).
// The binary counts allocations (AllocationCounter) on the threads that ask for it.

#include "AllocationCounter.h"
#include "Encoding.h"
#include "FaultTestSupport.h"

#include <natnet/codec/FrameCodec.h>
#include <natnet/codec/FrameStorage.h>
#include <natnet/codec/Messages.h>

#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/InstrumentModification.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace Quorvane::FaultTesting {
namespace {

using namespace TestSupport;

constexpr int kBodies = 32;

class DecodeToSignal : public ::testing::TestWithParam<NatNet::Wire::Version>
{
};

TEST_P(DecodeToSignal, ASteadyStateFrameAllocatesNothing)
{
    const NatNet::Wire::Version version = GetParam();
    ScopedLogCapture log(2);  // the host's default level: per-frame diagnostics off
    OptiTrackStream stream;
    OptiTrackStream::Impl context(&stream);
    long emissions = 0;
    stream.instrumentsUpdated.connect([&emissions](InstrumentModifications) { ++emissions; });

    // Datagrams as the client receives them, numbered 1 to 100, encoded before counting.
    std::vector<std::vector<std::uint8_t>> datagrams;
    for (int n = 1; n <= 100; ++n) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(NatNetTest::encodeInto(bytes, [&](NatNet::Wire::ByteWriter& out) {
            return NatNet::Wire::encodeFrame(out, *numberedFrame(n, kBodies), version);
        }));
        datagrams.push_back(std::move(bytes));
    }
    NatNet::Wire::FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();
    const auto receive = [&](const std::vector<std::uint8_t>& bytes) {
        NatNet::Wire::Datagram datagram;
        ASSERT_EQ(NatNet::Wire::decodeDatagram(bytes.data(), bytes.size(), datagram),
                  NatNet::Wire::Status::Ok);
        ASSERT_EQ(NatNet::Wire::decodeFrame(datagram.payload, datagram.payloadSize, version, storage, *frame),
                  NatNet::Wire::Status::Ok);
        OptiTrackStream::onFrameReceived(frame.get(), &context);
    };

    // The first sighting creates the instruments, and must be seen to allocate, or the zero
    // below proves nothing.
    EXPECT_GT(allocationsIn([&] { receive(datagrams[0]); }), 0);
    ASSERT_EQ(stream.numInstruments(), static_cast<std::size_t>(kBodies));
    EXPECT_EQ(allocationsIn([&] {
                  for (int round = 0; round < 10; ++round) {
                      for (std::size_t i = 1; i < datagrams.size(); ++i) receive(datagrams[i]);
                  }
              }),
              0);
    EXPECT_EQ(emissions, 1 + 10 * 99);
    EXPECT_EQ(stream.findInstrument("optitrack-1")->pose(0, 3), 100.0);
}

INSTANTIATE_TEST_SUITE_P(Bitstreams, DecodeToSignal,
                         ::testing::Values(NatNet::Wire::Version(3, 0), NatNet::Wire::Version(4, 1)),
                         [](const ::testing::TestParamInfo<NatNet::Wire::Version>& v) {
                             return "v" + std::to_string(v.param.major) + "_" + std::to_string(v.param.minor);
                         });

// Counts the receive thread's allocations from frame kFirst until frame kLast arrives; the
// listener itself allocates once, when the count starts.
class ReceiveThreadCounter
{
public:
    static constexpr std::int64_t kFirst = 100;
    static constexpr std::int64_t kLast = 600;

    explicit ReceiveThreadCounter(OptiTrackStream& stream)
    {
        const OptiTrackStream& reader = stream;
        stream.instrumentsUpdated.connect([this, &reader](InstrumentModifications) {
            const auto instrument = reader.findInstrument("optitrack-1");
            if (!instrument || m_done.load()) return;
            const auto number = static_cast<std::int64_t>(instrument->pose(0, 3));
            if (!countsAllocations() && number >= kFirst && number < kLast) {
                startCountingAllocations();
                // One allocation of our own, so that the count is seen to work on this thread.
                m_control = std::make_unique<int>(1);
            }
            if (countsAllocations()) ++m_framesCounted;
            if (number >= kLast && countsAllocations()) {
                m_allocations.store(stopCountingAllocations());
                m_done.store(true);
            }
        });
    }

    bool done() const { return m_done.load(); }
    long allocations() const { return m_allocations.load(); }
    long framesCounted() const { return m_framesCounted.load(); }

private:
    std::atomic<bool> m_done{false};
    std::atomic<long> m_allocations{0};
    std::atomic<long> m_framesCounted{0};
    std::unique_ptr<int> m_control;  // receive thread only
};

class OverLoopback : public ::testing::TestWithParam<bool>
{
};

TEST_P(OverLoopback, TheReceiveThreadAllocatesNothingPerFrame)
{
    ScopedLogCapture log(2);
    auto sim = startSimulator(GetParam());
    ASSERT_TRUE(sim);
    OptiTrackStream stream;
    stream.setConnectionParams(paramsFor(*sim));
    ReceiveThreadCounter counter(stream);
    ASSERT_TRUE(stream.start());

    // Frames at about 1 kHz; the last one is repeated, each time with a new number (the
    // library drops a repeated number), until it is seen (loopback may drop one).
    auto frame = numberedFrame(1, kBodies);
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t n = 1; n < ReceiveThreadCounter::kLast; ++n) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(n));
        frame->iFrame = static_cast<std::int32_t>(n);
        frame->RigidBodies[0].x = static_cast<float>(n);
        sim->sendFrame(*frame);
    }
    frame->RigidBodies[0].x = static_cast<float>(ReceiveThreadCounter::kLast);
    ASSERT_TRUE(eventually([&] {
        ++frame->iFrame;
        sim->sendFrame(*frame);
        return eventually([&] { return counter.done(); }, 20ms);
    }));
    EXPECT_GT(counter.framesCounted(), 400);
    // Only the listener's own control allocation.
    EXPECT_EQ(counter.allocations(), 1) << "over " << counter.framesCounted() << " frames";
    EXPECT_TRUE(stream.stop());
}

INSTANTIATE_TEST_SUITE_P(Modes, OverLoopback, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& m) {
                             return m.param ? "multicast" : "unicast";
                         });

}  // namespace
}  // namespace Quorvane::FaultTesting
