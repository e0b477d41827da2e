// The receive thread allocates nothing per frame once it runs: decode into the
// client's one frame record, the callback, the echo and keep-alive timers.
// The binary counts allocations (AllocationCounter) on the receive thread,
// flagged from inside the frame callback.
#include "AllocationCounter.h"
#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using namespace NatNetTest;

struct Counter
{
    std::atomic<int> frames{0};
    std::atomic<long> allocationsAtStart{-1};
    std::atomic<long> allocationsAtEnd{-1};
    static constexpr int kWarmUp = 200;
    static constexpr int kMeasured = 1000;

    static void NATNET_CALLCONV onFrame(sFrameOfMocapData*, void* context)
    {
        auto* self = static_cast<Counter*>(context);
        const int n = ++self->frames;
        if (n == kWarmUp) {
            TestSupport::startCountingAllocations();  // this is the receive thread
            self->allocationsAtStart = 0;
        } else if (n == kWarmUp + kMeasured) {
            self->allocationsAtEnd = TestSupport::stopCountingAllocations();
        }
    }
};

TEST(FramePath, TheReceiveThreadAllocatesNothingPerFrame)
{
    for (const bool multicast : {false, true}) {
        SCOPED_TRACE(multicast ? "multicast" : "unicast");
        NatNet::Sim::Simulator sim(simConfig(multicast));
        ASSERT_TRUE(sim.start());
        NatNetClient client;
        NatNetExt::ClientTimeouts timeouts = fastTimeouts();
        timeouts.echoMs = 5;  // timers fire often during the measurement
        timeouts.keepAliveMs = 5;
        NatNetExt::SetClientTimeouts(client, timeouts);
        Counter counter;
        client.SetFrameReceivedCallback(&Counter::onFrame, &counter);
        ASSERT_EQ(connectTo(client, sim, multicast), ErrorCode_OK);

        NatNet::Sim::ScenarioConfig scenario;
        scenario.rigidBodies = 32;
        scenario.rateHz = 2000.0;
        ASSERT_TRUE(sim.startStreaming(scenario));
        ASSERT_TRUE(eventually([&] { return counter.allocationsAtEnd.load() >= 0; }, 10s));
        sim.stopStreaming();
        EXPECT_EQ(counter.allocationsAtEnd.load() - counter.allocationsAtStart.load(), 0);
        EXPECT_GE(countersOf(client).echoResponsesReceived, 10u);
    }
}

}  // namespace
