// The receive thread allocates nothing per frame once it runs: decode into the
// client's one frame record, the callback, the echo and keep-alive timers.
// This binary replaces the global allocation functions to count the calls made
// on the receive thread (flagged from inside the frame callback).
#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool g_counting = false;
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size)
{
    if (g_counting) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
// The library allocates its client with new (std::nothrow): the same heap.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_counting) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
// Every replaced new takes from malloc, so free is the matching release (gcc
// cannot see that through the replacement).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

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
            g_counting = true;  // this is the receive thread
            self->allocationsAtStart = g_allocations.load();
        } else if (n == kWarmUp + kMeasured) {
            self->allocationsAtEnd = g_allocations.load();
            g_counting = false;
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
        ConnectParams connect(sim, multicast);
        ASSERT_EQ(client.Connect(connect.params), ErrorCode_OK);

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
