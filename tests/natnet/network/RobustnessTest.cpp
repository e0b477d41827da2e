// What the client refuses and survives: foreign senders, bad datagrams, a
// server that forgets it, and the lifetime rules of the frame callback.
#include "Encoding.h"
#include "NetworkTestSupport.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameCodec.h"
#include "natnet/transport/UdpSocket.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

using namespace NatNetTest;
using NatNet::Net::Ipv4Endpoint;
using NatNet::Sim::Simulator;

constexpr uint32_t kLoopback2 = 0x7F000002u;  // 127.0.0.2: a different host on loopback

std::vector<uint8_t> encodedFrame(int32_t number, NatNet::Wire::Version version = NatNet::Wire::Version(4, 1))
{
    auto frame = newFrame();
    buildFrame(*frame, number, 2);
    return frameDatagram(*frame, version);
}

// A sender on 127.0.0.2.
class ForeignSender
{
public:
    ForeignSender() : m_socket(m_io)
    {
        EXPECT_FALSE(m_socket.open({kLoopback2, 0}, {}));
        EXPECT_FALSE(m_socket.setMulticastSending(0x7F000001u, 0, true));
    }
    void send(const std::vector<uint8_t>& bytes, Ipv4Endpoint to)
    {
        EXPECT_FALSE(m_socket.sendTo(bytes.data(), bytes.size(), to));
    }

private:
    boost::asio::io_context m_io;
    NatNet::Net::UdpSocket m_socket;
};

struct ModeCase
{
    const char* name;
    bool multicast;
};

class ForeignSenderTest : public testing::TestWithParam<ModeCase>
{
};

TEST_P(ForeignSenderTest, DatagramsFromAnotherSenderAreCountedAndDropped)
{
    const bool multicast = GetParam().multicast;
    Simulator sim(simConfig(multicast));
    ASSERT_TRUE(sim.start());
    RecordingClient receiver;
    ASSERT_EQ(receiver.connectTo(sim, multicast), ErrorCode_OK);

    Ipv4Endpoint target{0xEFFF2A63u, sim.dataPort()};  // the group and data port
    if (!multicast) {
        ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsConnected == 1; }, 2s));
        const NatNet::Sim::ClientInfo info = sim.clients().at(0);
        target = {0x7F000001u, info.port};  // the client's one socket
    }
    ForeignSender foreign;
    for (int32_t number = 900; number < 910; ++number) {
        foreign.send(encodedFrame(number), target);
    }
    auto frame = newFrame();
    buildFrame(*frame, 1, 2);
    ASSERT_EQ(sim.sendFrame(*frame), 1);
    // Same socket, same order on loopback: once the server's frame is in, the others were judged.
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() == 1; }));
    ASSERT_TRUE(eventually([&] { return countersOf(receiver.client).droppedForeignSender == 10; }));
    EXPECT_EQ(receiver.frames.frameNumbers(), std::vector<int32_t>{1});
}

INSTANTIATE_TEST_SUITE_P(BothModes, ForeignSenderTest,
                         testing::Values(ModeCase{"Unicast", false}, ModeCase{"Multicast", true}),
                         [](const testing::TestParamInfo<ModeCase>& mode) {
                             return std::string(mode.param.name);
                         });

// A unicast simulator and a recording client that it has registered.
class UnicastRobustness : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start());
        ASSERT_EQ(m_receiver.connectTo(m_sim, false), ErrorCode_OK);
        ASSERT_TRUE(m_sim.waitFor([](const auto& n) { return n.clientsConnected == 1; }, 2s));
    }

    Simulator m_sim{simConfig(false)};
    RecordingClient m_receiver;
};

TEST_F(UnicastRobustness, BadDatagramsFromTheServerAreCountedAndTheStreamGoesOn)
{
    const std::vector<uint8_t> good = encodedFrame(5);
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);  // header promises one byte more
    std::vector<uint8_t> badLayout = good;
    badLayout[8] = 0xFF;  // marker-set count of -1 ... (4.1: count then size)
    badLayout[9] = 0xFF;
    badLayout[10] = 0xFF;
    badLayout[11] = 0xFF;
    std::vector<uint8_t> noEndTag = good;
    noEndTag[noEndTag.size() - 1] = 1;
    const std::vector<uint8_t> tiny{0x07, 0x00};
    const std::vector<uint8_t> empty;

    struct Row
    {
        const char* name;
        const std::vector<uint8_t>* bytes;
        bool malformed;  // else a bad frame
    };
    const Row rows[] = {{"truncated", &truncated, true},
                        {"two bytes", &tiny, true},
                        {"empty", &empty, true},
                        {"negative count", &badLayout, false},
                        {"missing end tag", &noEndTag, false}};
    uint64_t malformed = 0;
    uint64_t badFrames = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_sim.sendRawDatagram(row.bytes->data(), row.bytes->size());
        (row.malformed ? malformed : badFrames) += 1;
        ASSERT_TRUE(eventually([&] {
            const NatNetExt::ClientCounters c = countersOf(m_receiver.client);
            return c.droppedMalformed == malformed && c.droppedBadFrame == badFrames;
        }));
    }
    m_sim.sendRawDatagram(good.data(), good.size());
    ASSERT_TRUE(eventually([&] { return m_receiver.frames.count() == 1; }));
    EXPECT_EQ(m_receiver.frames.frameNumbers(), std::vector<int32_t>{5});
}

TEST_F(UnicastRobustness, FramesOfTheWrongLayoutAreDroppedNotMisread)
{
    // A 3.0 stream read with 4.1 rules would be garbage: the client decodes with
    // the server's version, so a stray 3.0 frame to a 4.1 client is refused.
    const std::vector<uint8_t> old = encodedFrame(3, NatNet::Wire::Version(3, 0));
    m_sim.sendRawDatagram(old.data(), old.size());
    ASSERT_TRUE(eventually([&] { return countersOf(m_receiver.client).droppedBadFrame == 1; }));
    EXPECT_EQ(m_receiver.frames.count(), 0u);
}

TEST(Robustness, TheSimulatorDropsASilentClientButKeepsOneThatSendsKeepAlives)
{
    NatNet::Sim::SimulatorConfig config = simConfig(false);
    config.clientTimeoutMs = 300;
    Simulator sim(config);
    ASSERT_TRUE(sim.start());

    // Our client keeps itself alive ...
    NatNetClient alive;
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.keepAliveMs = 50;
    timeouts.echoMs = 60'000;
    NatNetExt::SetClientTimeouts(alive, timeouts);
    ASSERT_EQ(connectTo(alive, sim, false), ErrorCode_OK);

    // ... a bare socket registers once and falls silent.
    boost::asio::io_context io;
    NatNet::Net::UdpSocket silent(io);
    ASSERT_FALSE(silent.open({0x7F000001u, 0}, {}));
    const uint8_t connectHeader[4] = {0, 0, 0, 0};
    ASSERT_FALSE(silent.sendTo(connectHeader, sizeof(connectHeader), {0x7F000001u, sim.commandPort()}));
    ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsRegistered == 2; }, 2s));

    ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsDropped == 1; }, 3s));
    // Three timeouts later the keep-alive client is still registered.
    const uint64_t keepAlives = sim.counters().keepAlives;
    ASSERT_TRUE(sim.waitFor([&](const auto& n) { return n.keepAlives >= keepAlives + 18; }, 3s));
    const NatNet::Sim::SimulatorCounters counters = sim.counters();
    EXPECT_EQ(counters.clientsDropped, 1u);
    EXPECT_EQ(counters.clientsConnected, 1u);
}

TEST(Robustness, AUnicastClientRegistersAgainWithARestartedServer)
{
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.keepAliveMs = 50;
    timeouts.echoMs = 50;
    timeouts.reconnectAfterSilenceMs = 200;
    RecordingClient receiver(timeouts);

    auto first = std::make_unique<Simulator>(simConfig(false));
    ASSERT_TRUE(first->start());
    const uint16_t commandPort = first->commandPort();
    const uint16_t dataPort = first->dataPort();
    ASSERT_EQ(receiver.connectTo(*first, false), ErrorCode_OK);
    first.reset();  // the server goes away and forgets its clients

    NatNet::Sim::SimulatorConfig config = simConfig(false);
    config.commandPort = commandPort;
    config.dataPort = dataPort;
    Simulator second(config);
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.waitFor([](const auto& n) { return n.clientsConnected == 1; }, 3s));
    auto frame = newFrame();
    buildFrame(*frame, 77, 1);
    ASSERT_EQ(second.sendFrame(*frame), 1);
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() == 1; }));
    EXPECT_GE(countersOf(receiver.client).reconnectsSent, 1u);
}

// ---- The frame callback's lifetime -------------------------------------------------

struct CallbackProbe
{
    std::atomic<bool> disconnected{false};
    std::atomic<int> calls{0};
    std::atomic<int> callsAfterDisconnect{0};
    std::unique_ptr<int> owned = std::make_unique<int>(0);  // what an owner would free after Disconnect

    static void NATNET_CALLCONV onFrame(sFrameOfMocapData*, void* context)
    {
        auto* probe = static_cast<CallbackProbe*>(context);
        if (probe->disconnected.load()) {
            ++probe->callsAfterDisconnect;
        }
        ++*probe->owned;  // a data race or use-after-free here if Disconnect returned too early
        ++probe->calls;
    }
};

TEST(CallbackLifetime, NoCallbackRunsAfterDisconnectReturns)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 4;
    scenario.rateHz = 2000.0;
    scenario.markers = false;
    ASSERT_TRUE(sim.startStreaming(scenario));

    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        NatNetClient client;
        CallbackProbe probe;
        client.SetFrameReceivedCallback(&CallbackProbe::onFrame, &probe);
        ASSERT_EQ(connectTo(client, sim, false), ErrorCode_OK);
        ASSERT_TRUE(eventually([&] { return probe.calls.load() >= 5; }));
        ASSERT_EQ(client.Disconnect(), ErrorCode_OK);
        probe.disconnected = true;
        probe.owned.reset();  // the owner frees what the callback uses
        // Frames keep coming for a while: none may reach the callback.
        const uint64_t sent = sim.counters().framesSent;
        ASSERT_TRUE(sim.waitFor([&](const auto& n) { return n.framesSent >= sent + 20; }, 3s));
        EXPECT_EQ(probe.callsAfterDisconnect.load(), 0);
    }
}

struct SelfDisconnect
{
    NatNetClient* client = nullptr;
    std::atomic<int> calls{0};
    std::atomic<int> result{-1};
    std::atomic<int> requestResult{-1};
    bool destroy = false;

    static void NATNET_CALLCONV onFrame(sFrameOfMocapData*, void* context)
    {
        auto* self = static_cast<SelfDisconnect*>(context);
        if (++self->calls != 3) {
            return;
        }
        void* response = nullptr;
        int size = 0;
        // The answer would have to come through this thread: refused, not a deadlock.
        self->requestResult = self->client->SendMessageAndWait("FrameRate", &response, &size);
        if (self->destroy) {
            delete self->client;
            self->result = ErrorCode_OK;
        } else {
            self->result = self->client->Disconnect();
        }
    }
};

TEST(CallbackLifetime, DisconnectOrDestructionFromInsideTheCallbackIsSafe)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rateHz = 1000.0;
    ASSERT_TRUE(sim.startStreaming(scenario));

    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "delete" : "Disconnect");
        SelfDisconnect self;
        self.destroy = destroy;
        auto client = std::make_unique<NatNetClient>();
        self.client = client.get();
        client->SetFrameReceivedCallback(&SelfDisconnect::onFrame, &self);
        ASSERT_EQ(connectTo(*client, sim, false), ErrorCode_OK);
        ASSERT_TRUE(eventually([&] { return self.result.load() == ErrorCode_OK; }));
        EXPECT_EQ(self.requestResult.load(), ErrorCode_InvalidOperation);
        if (destroy) {
            (void)client.release();  // deleted by the callback
        }
        const uint64_t sent = sim.counters().framesSent;
        ASSERT_TRUE(sim.waitFor([&](const auto& n) { return n.framesSent >= sent + 20; }, 3s));
        EXPECT_EQ(self.calls.load(), 3);
        if (!destroy) {
            EXPECT_EQ(client->Disconnect(), ErrorCode_OK);  // joins the ended thread
        }
    }
}

}  // namespace
