// The network between client and server duplicates, reorders, delays, loses and cuts off
// datagrams (our impairing relay on loopback; the kernel here has no netem). No instrument ever
// moves back in time, no frame is applied twice, the client's counters account for every frame
// that arrived and was not delivered, and the stream recovers from loss and an outage.

#include "FaultTestSupport.h"

#include <ImpairingUdpRelay.h>

#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace Quorvane::FaultTesting {
namespace {

using TestSupport::ImpairingUdpRelay;
using TestSupport::Impairment;
using TestSupport::RelayCounters;
using TestSupport::RelayPath;

constexpr int kBodies = 4;
constexpr double kRateHz = 500.0;

// A simulator and a relay in front of it; the stream talks to the relay only.
struct ImpairedSetup
{
    ImpairedSetup()
        : sim(startSimulator(false)),
          relay(TestSupport::ImpairingUdpRelayConfig{sim ? sim->commandPort() : std::uint16_t(0),
                                                     sim ? sim->dataPort() : std::uint16_t(0)})
    {
    }

    bool start()
    {
        std::string error;
        if (!sim || !relay.start(&error)) {
            ADD_FAILURE() << "relay: " << error;
            return false;
        }
        return true;
    }

    OptiTrackConnectionParams params() const
    {
        OptiTrackConnectionParams params = paramsFor(*sim);
        params.serverAddress = relay.address();
        params.commandPort = relay.commandPort();
        params.dataPort = relay.dataPort();
        return params;
    }

    bool connect(DrivenStream& driven)
    {
        driven.context.client.SetFrameReceivedCallback(&OptiTrackStream::onFrameReceived, &driven.context);
        return driven.context.connectToServer(params());
    }

    void impairAll(const Impairment& impairment)
    {
        for (RelayPath path : {RelayPath::Commands, RelayPath::Answers, RelayPath::Frames}) {
            relay.setImpairment(path, impairment);
        }
    }

    std::unique_ptr<NatNet::Sim::Simulator> sim;
    ImpairingUdpRelay relay;
};

bool strictlyIncreasing(const std::vector<std::int64_t>& numbers)
{
    return std::adjacent_find(numbers.begin(), numbers.end(),
                              [](std::int64_t a, std::int64_t b) { return b <= a; }) == numbers.end();
}

// Waits until every frame the relay holds has left it and the stream has handled what arrived.
void waitForTheRelayToDrain(ImpairedSetup& setup, const UpdateOrder& order)
{
    const std::uint64_t fromServer = setup.sim->counters().datagramsSent;
    EXPECT_TRUE(setup.relay.waitFor(
        RelayPath::Frames,
        [&](const RelayCounters& c) {
            return c.received >= fromServer &&
                   c.sent + c.lost + c.droppedOutage + c.droppedQueueFull >= c.received + c.duplicated;
        },
        5000ms));
    EXPECT_TRUE(waitForQuiet([&] { return order.emissions(); }, 200ms));
}

struct Row
{
    const char* name;
    double rateHz;
    int bodies;
    double loss;
    double duplicate;
    double reorder;
    std::chrono::milliseconds jitterMax;
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class ImpairedFrames : public ::testing::TestWithParam<Row>
{
};

// Every path impaired alike (commands and answers too, so the connect meets the same network).
TEST_P(ImpairedFrames, NoInstrumentMovesBackNoFrameAppliesTwiceAndTheCountersAccountForEveryFrame)
{
    const Row& row = GetParam();
    ScopedLogCapture log{3};
    ImpairedSetup setup;
    ASSERT_TRUE(setup.start());
    Impairment impairment;
    impairment.loss = row.loss;
    impairment.duplicate = row.duplicate;
    impairment.reorder = row.reorder;
    impairment.reorderHold = 10ms;
    impairment.jitterMax = row.jitterMax;
    setup.impairAll(impairment);

    DrivenStream driven;
    UpdateOrder order(driven.stream, row.bodies);
    ASSERT_TRUE(setup.connect(driven));
    constexpr std::int32_t kFrames = 1000;
    sendPacedFrames(*setup.sim, 1, kFrames, row.rateHz, {}, row.bodies);
    waitForTheRelayToDrain(setup, order);

    const RelayCounters frames = setup.relay.counters(RelayPath::Frames);
    const std::vector<std::int64_t> numbers = order.numbers();
    const NatNetExt::ClientCounters counters = driven.counters();
    // The relay did impair (about the share asked for).
    EXPECT_GE(frames.duplicated, static_cast<std::uint64_t>(kFrames * row.duplicate / 2));
    EXPECT_GE(frames.reordered, static_cast<std::uint64_t>(kFrames * row.reorder / 2));
    EXPECT_GE(frames.lost, static_cast<std::uint64_t>(kFrames * row.loss / 2));
    EXPECT_EQ(order.backwards(), 0u);
    EXPECT_EQ(order.nonFinite(), 0u);
    EXPECT_TRUE(strictlyIncreasing(numbers)) << "a frame went back or was applied twice";
    ASSERT_FALSE(numbers.empty());
    // Every frame datagram that left the relay was delivered once or dropped as old.
    EXPECT_EQ(numbers.size() + counters.droppedOldFrame, frames.sent);
    // Missing are the numbers that never arrived: those the relay lost, but for the ones lost
    // outside the delivered range (before the first or after the last delivered frame).
    const auto outsideRange = static_cast<std::uint64_t>((numbers.front() - 1) + (kFrames - numbers.back()));
    EXPECT_LE(counters.framesMissing, frames.lost);
    EXPECT_GE(counters.framesMissing + outsideRange, frames.lost);
    EXPECT_EQ(kernelDropsOnPort(setup.relay.dataPort()), 0u);
    std::printf("[ figures  ] %s: %zu of %d frames delivered, %llu dropped as old, %llu missing\n", row.name,
                numbers.size(), kFrames, static_cast<unsigned long long>(counters.droppedOldFrame),
                static_cast<unsigned long long>(counters.framesMissing));
}

INSTANTIATE_TEST_SUITE_P(
    Networks, ImpairedFrames,
    ::testing::Values(Row{"Duplicated10Reordered20Jitter20ms", 500.0, 4, 0.0, 0.10, 0.20, 20ms},
                      Row{"Lost10Duplicated30Reordered40Jitter20msAt1000Hz", 1000.0, 20, 0.10, 0.30, 0.40,
                          20ms}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

TEST(ImpairedNetwork, TheStreamRecoversFromLossAndAnOutage)
{
    ScopedLogCapture log{3};
    ImpairedSetup setup;
    ASSERT_TRUE(setup.start());
    // Loss only: jitter would reorder frames, and how many of those are dropped as old depends
    // on how evenly a loaded machine paces the sender (the reordering tests above cover that).
    Impairment lossy;
    lossy.loss = 0.05;
    setup.impairAll(lossy);

    DrivenStream driven;
    UpdateOrder order(driven.stream, kBodies);
    ASSERT_TRUE(setup.connect(driven));
    // 500 frames with 5 % loss, 300 (0.6 s) cut off in both directions, 500 with loss again.
    constexpr std::int32_t kOutageFirst = 501;
    constexpr std::int32_t kOutageLast = 800;
    constexpr std::int32_t kLast = 1300;
    sendPacedFrames(*setup.sim, 1, kLast, kRateHz, [&](std::int32_t number) {
        if (number == kOutageFirst || number == kOutageLast + 1) {
            for (RelayPath path : {RelayPath::Commands, RelayPath::Answers, RelayPath::Frames}) {
                setup.relay.setOutage(path, number == kOutageFirst);
            }
        }
    });
    waitForTheRelayToDrain(setup, order);

    const std::vector<std::int64_t> numbers = order.numbers();
    const auto deliveredIn = [&](std::int64_t first, std::int64_t last) {
        return std::count_if(numbers.begin(), numbers.end(),
                             [&](std::int64_t n) { return n >= first && n <= last; });
    };
    EXPECT_GT(setup.relay.counters(RelayPath::Frames).lost, 20u);
    EXPECT_GT(setup.relay.counters(RelayPath::Frames).droppedOutage, 250u);
    // About 475 of each 500 arrive; a frame still in the relay's queue may outlive the cut.
    EXPECT_GT(deliveredIn(1, kOutageFirst - 1), 400);
    EXPECT_LT(deliveredIn(kOutageFirst + 10, kOutageLast), 10);
    EXPECT_GT(deliveredIn(kOutageLast + 1, kLast), 400) << "the stream did not recover";
    EXPECT_TRUE(strictlyIncreasing(numbers));
    EXPECT_EQ(order.backwards(), 0u);
}

}  // namespace
}  // namespace Quorvane::FaultTesting
