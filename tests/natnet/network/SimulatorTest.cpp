// The simulator as real SDK clients meet it: any CONNECT length answered,
// keep-alives never answered, bitstream negotiation, scenario streaming at a
// rate with consistent clocks, and the replay of a real capture.
#include "NetworkTestSupport.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/sim/Capture.h"
#include "natnet/sim/Scenario.h"
#include "natnet/transport/UdpSocket.h"

#include "NatNetCAPI.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace NatNetTest;
using NatNet::Sim::Simulator;

constexpr uint16_t kConnect = 0;
constexpr uint16_t kServerInfo = 1;
constexpr uint16_t kRequest = 2;
constexpr uint16_t kResponse = 3;
constexpr uint16_t kFrame = 7;
constexpr uint16_t kKeepAlive = 10;
constexpr uint16_t kEchoRequest = 12;
constexpr uint16_t kEchoResponse = 13;

// A bare client socket that talks to the simulator byte by byte.
class RawClient
{
public:
    explicit RawClient(uint16_t serverPort) : m_socket(m_io), m_server{0x7F000001u, serverPort}
    {
        EXPECT_FALSE(m_socket.open({0x7F000001u, 0}, {}));
    }
    void send(uint16_t id, const std::vector<uint8_t>& payload, size_t extra = 0)
    {
        std::vector<uint8_t> datagram{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                                      static_cast<uint8_t>(payload.size()),
                                      static_cast<uint8_t>(payload.size() >> 8)};
        datagram.insert(datagram.end(), payload.begin(), payload.end());
        datagram.resize(datagram.size() + extra, 0);  // trailing bytes beyond nDataBytes
        EXPECT_FALSE(m_socket.sendTo(datagram.data(), datagram.size(), m_server));
    }
    void sendRequest(const std::string& command)
    {
        send(kRequest, std::vector<uint8_t>(command.c_str(), command.c_str() + command.size() + 1));
    }
    // The ID of the next datagram that arrives within `timeout`, or -1.
    int nextId(std::vector<uint8_t>* payload = nullptr, uint16_t* fromPort = nullptr,
               std::chrono::milliseconds timeout = 2s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            size_t size = 0;
            NatNet::Net::Ipv4Endpoint from;
            uint32_t local = 0;
            if (!m_socket.receiveNow(m_buffer.data(), m_buffer.size(), size, from, local) && size >= 4) {
                if (payload != nullptr) {
                    payload->assign(m_buffer.begin() + 4, m_buffer.begin() + static_cast<long>(size));
                }
                if (fromPort != nullptr) {
                    *fromPort = from.port;
                }
                return m_buffer[0] | (m_buffer[1] << 8);
            }
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }

private:
    boost::asio::io_context m_io;
    NatNet::Net::UdpSocket m_socket;
    NatNet::Net::Ipv4Endpoint m_server;
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(65536);
};

TEST(SimulatorProtocol, EveryConnectLengthIsAnsweredAndKeepAlivesNeverAre)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    RawClient client(sim.commandPort());
    struct Row
    {
        const char* name;
        size_t length;
        size_t extra;
    };
    // Header only (ROS driver), "Ping" (Python 2.x/3.x), sender block (NatNetLib 3.0),
    // with options (libNatNet 4.x), the 4.x Python sample (+ NUL), PacketClient.
    const Row connects[] = {{"empty", 0, 0},     {"ping", 5, 0},         {"sender", 264, 0},
                            {"options", 269, 0}, {"python 4.x", 270, 1}, {"packet client", 273, 0}};
    for (const Row& row : connects) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> payload(row.length, 0);
        client.send(kConnect, payload, row.extra);
        std::vector<uint8_t> reply;
        ASSERT_EQ(client.nextId(&reply), kServerInfo);
        EXPECT_EQ(reply.size(), NatNet::Wire::kServerInfoSize);
    }
    // Keep-alives of every shape, then an echo: the echo's answer is the next
    // datagram only if nothing answered the keep-alives (one socket, in order).
    const Row keepAlives[] = {{"empty", 0, 0}, {"python NUL", 0, 1}, {"libNatNet 4.1", 264, 0}};
    for (const Row& row : keepAlives) {
        SCOPED_TRACE(row.name);
        client.send(kKeepAlive, std::vector<uint8_t>(row.length, 0), row.extra);
        client.send(kEchoRequest, {1, 2, 3, 4, 5, 6, 7, 8});
        std::vector<uint8_t> reply;
        ASSERT_EQ(client.nextId(&reply), kEchoResponse);
        ASSERT_EQ(reply.size(), 16u);
        EXPECT_EQ(reply[0], 1);
        EXPECT_EQ(reply[7], 8);
    }
    EXPECT_EQ(sim.counters().keepAlives, 3u);
    EXPECT_EQ(sim.counters().clientsConnected, 1u);  // every CONNECT replaced the one record
}

TEST(SimulatorProtocol, AClientGetsTheBitstreamItAsksFor)
{
    Simulator sim(simConfig(false));
    sim.setNatNetVersion({4, 1, 0, 0});
    ASSERT_TRUE(sim.start());
    RecordingClient receiver;
    ConnectParams connect(sim, false);
    connect.params.BitstreamVersion[0] = 3;  // in the CONNECT options
    connect.params.BitstreamVersion[1] = 0;
    ASSERT_EQ(receiver.client.Connect(connect.params), ErrorCode_OK);
    ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsConnected == 1; }, 2s));
    EXPECT_EQ(sim.clients().at(0).bitstreamVersion, (std::array<uint8_t, 4>{3, 0, 0, 0}));
    uint8_t version[4] = {};
    NatNetExt::GetDecodeVersion(receiver.client, version);
    EXPECT_EQ(version[0], 3);

    auto frame = newFrame();
    buildFrame(*frame, 1, 2);
    ASSERT_EQ(sim.sendFrame(*frame), 1);
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() == 1; }));

    // Mid-stream change: the next frame says so (params bit 3) and decodes in 4.0.
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(receiver.client.SendMessageAndWait("Bitstream,4.0", &response, &size), ErrorCode_OK);
    NatNetExt::GetDecodeVersion(receiver.client, version);
    EXPECT_EQ(version[0], 4);
    EXPECT_EQ(version[1], 0);
    buildFrame(*frame, 2, 2);
    sim.sendFrame(*frame);
    buildFrame(*frame, 3, 2);
    sim.sendFrame(*frame);
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() == 3; }));
    EXPECT_EQ(receiver.frames.frameNumbers(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(receiver.frames.last().params & 0x08, 0);
    EXPECT_EQ(countersOf(receiver.client).droppedBadFrame, 0u);

    // A version nobody knows is refused and changes nothing.
    ASSERT_EQ(receiver.client.SendMessageAndWait("Bitstream,9.9", &response, &size), ErrorCode_OK);
    int32_t result = 0;
    std::memcpy(&result, response, 4);
    EXPECT_EQ(result, -1);
    NatNetExt::GetDecodeVersion(receiver.client, version);
    EXPECT_EQ(version[1], 0);

    // The SDK sample client's three-part form switches both ends alike.
    ASSERT_EQ(receiver.client.SendMessageAndWait("Bitstream,3.1.0", &response, &size), ErrorCode_OK);
    std::memcpy(&result, response, 4);
    EXPECT_EQ(result, 0);
    NatNetExt::GetDecodeVersion(receiver.client, version);
    EXPECT_EQ(version[0], 3);
    EXPECT_EQ(version[1], 1);
    EXPECT_EQ(sim.clients().at(0).bitstreamVersion, (std::array<uint8_t, 4>{3, 1, 0, 0}));
}

TEST(SimulatorProtocol, TheChangeFlagIsOnTheFirstFrameAfterABitstreamChange)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    std::atomic<int> flagged{0};
    client.SetFrameReceivedCallback(
        [](sFrameOfMocapData* frame, void* context) {
            if (frame->params & 0x08) {
                static_cast<std::atomic<int>*>(context)->fetch_add(frame->iFrame);
            }
        },
        &flagged);
    ASSERT_EQ(connectTo(client, sim, false), ErrorCode_OK);
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(client.SendMessageAndWait("Bitstream,3.1", &response, &size), ErrorCode_OK);
    auto frame = newFrame();
    for (int32_t number = 10; number < 13; ++number) {
        buildFrame(*frame, number, 1);
        sim.sendFrame(*frame);
    }
    ASSERT_TRUE(eventually([&] { return countersOf(client).framesDecoded == 3; }));
    EXPECT_EQ(flagged.load(), 10);
}

TEST(SimulatorProtocol, MulticastClientsCannotChangeTheBitstream)
{
    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    ASSERT_EQ(connectTo(client, sim, true), ErrorCode_OK);
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(client.SendMessageAndWait("Bitstream,3.0", &response, &size), ErrorCode_OK);
    uint8_t version[4] = {};
    NatNetExt::GetDecodeVersion(client, version);
    EXPECT_EQ(version[0], 4);
    EXPECT_EQ(version[1], 1);
}

TEST(SimulatorStreaming, AScenarioStreamsEveryFrameAtItsRateOnOneClock)
{
    Simulator sim(simConfig(true));
    sim.setClockFrequency(10'000'000);
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(
        eventually([&] { return sim.ticksNow() > 3'000'000; }));  // the stream starts well after the server
    NatNetClient client;
    struct Seen
    {
        std::mutex mutex;
        std::vector<int32_t> numbers;
        std::vector<double> timestamps;
        std::vector<uint64_t> transmit;
        std::vector<uint64_t> exposure;
        std::vector<sRigidBodyData> bodies;  // the last body of each frame
        int16_t params = 0;
    } seen;
    client.SetFrameReceivedCallback(
        [](sFrameOfMocapData* frame, void* context) {
            auto* s = static_cast<Seen*>(context);
            std::lock_guard<std::mutex> lock(s->mutex);
            s->numbers.push_back(frame->iFrame);
            s->timestamps.push_back(frame->fTimestamp);
            s->transmit.push_back(frame->TransmitTimestamp);
            s->exposure.push_back(frame->CameraMidExposureTimestamp);
            s->bodies.push_back(frame->RigidBodies[frame->nRigidBodies - 1]);
            s->params = frame->params;
        },
        &seen);
    ASSERT_EQ(connectTo(client, sim, true), ErrorCode_OK);
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(client.SendMessageAndWait("StartRecording", &response, &size), ErrorCode_OK);

    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = 5;
    scenario.rateHz = 500.0;
    scenario.frameCount = 200;
    scenario.firstFrameNumber = 1000;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.startStreaming(scenario));
    ASSERT_TRUE(sim.waitForStreamEnd(5s));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GT(took, 0.39);  // 200 frames at 500 Hz: 0.4 s
    // Counted before the callback records the frame: both awaited.
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> lock(seen.mutex);
        return countersOf(client).framesDecoded == 200 && seen.numbers.size() == 200;
    }));

    std::lock_guard<std::mutex> lock(seen.mutex);
    // A machine that holds the simulator off the CPU for more than 100 ms makes it shift its
    // schedule by the stall rather than burst: such steps are the stall's, every other is a period.
    double stalled = 0.0;
    const NatNet::Sim::Scenario truth(scenario);
    for (size_t i = 0; i < seen.numbers.size(); ++i) {
        ASSERT_EQ(seen.numbers[i], 1000 + static_cast<int32_t>(i));
        // The pose is the scenario's at the frame's own timestamp, whenever the stream began.
        const sRigidBodyData expected = truth.pose(4, seen.timestamps[i]);
        EXPECT_EQ(seen.bodies[i].ID, 5);
        EXPECT_FLOAT_EQ(seen.bodies[i].x, expected.x);
        EXPECT_FLOAT_EQ(seen.bodies[i].z, expected.z);
        // Seconds since the server started and its ticks tell the same time.
        EXPECT_NEAR(static_cast<double>(seen.exposure[i]) / 1e7, seen.timestamps[i] - 0.003, 1e-4);
        EXPECT_GE(seen.transmit[i], seen.exposure[i]);
        const double step = i > 0 ? seen.timestamps[i] - seen.timestamps[i - 1] : 0.002;
        if (step > 0.1) {
            stalled += step - 0.002;
        } else {
            EXPECT_NEAR(step, 0.002, 1e-6);
        }
    }
    EXPECT_LT(took, 1.5 + stalled);
    EXPECT_EQ(seen.params & 0x01, 0x01);  // recording
    // The frame-rate answer follows the scenario.
    ASSERT_EQ(client.SendMessageAndWait("FrameRate", &response, &size), ErrorCode_OK);
    float rate = 0;
    std::memcpy(&rate, response, 4);
    EXPECT_EQ(rate, 500.0f);
}

TEST(SimulatorScenario, BodiesMoveSmoothlyWithTheirMarkersInTheChosenUnit)
{
    NatNet::Sim::ScenarioConfig metres;
    metres.rigidBodies = 3;
    metres.rateHz = 100.0;
    NatNet::Sim::ScenarioConfig millimetres = metres;
    millimetres.units = NatNet::Sim::Units::Millimetres;
    NatNet::Sim::Scenario m(metres);
    NatNet::Sim::Scenario mm(millimetres);
    EXPECT_EQ(m.unitsToMillimeters(), 1000.0f);
    EXPECT_EQ(mm.unitsToMillimeters(), 1.0f);
    EXPECT_EQ(NatNet::Sim::Scenario::bodyName(0), "Probe");
    EXPECT_EQ(NatNet::Sim::Scenario::bodyName(2), "Reference");

    auto frame = newFrame();
    m.fill(0, *frame);
    ASSERT_EQ(frame->nRigidBodies, 3);
    ASSERT_EQ(frame->nMarkerSets, 4);  // one per body and "all"
    EXPECT_STREQ(frame->MocapData[1].szName, "Pointer");
    EXPECT_STREQ(frame->MocapData[3].szName, "all");
    EXPECT_EQ(frame->nLabeledMarkers, 3 * NatNet::Sim::Scenario::kMarkersPerBody);
    EXPECT_EQ(frame->LabeledMarkers[4].ID, (2 << 16) | 1);  // body 2, marker 1

    for (int body = 0; body < 3; ++body) {
        for (int step = 0; step < 500; ++step) {  // 5 s in steps of 10 ms
            const double t = step * 0.01;
            const sRigidBodyData a = m.pose(body, t);
            const sRigidBodyData b = m.pose(body, t + 0.01);
            const sRigidBodyData scaled = mm.pose(body, t);
            // Smooth: at most a few millimetres per 10 ms; unit quaternion; scale.
            EXPECT_LT(std::hypot(b.x - a.x, b.y - a.y, b.z - a.z), 0.01f);
            EXPECT_NEAR(a.qx * a.qx + a.qy * a.qy + a.qz * a.qz + a.qw * a.qw, 1.0f, 1e-5f);
            EXPECT_NEAR(scaled.x, a.x * 1000.0f, 1e-3f);
            EXPECT_NEAR(scaled.y, a.y * 1000.0f, 1e-3f);
        }
    }
    // The markers ride on the body: their distances to its centre stay those of the model.
    const NatNet::Sim::Descriptions models = m.descriptions();
    const sDataDescriptions& list = models.view();
    ASSERT_EQ(list.arrDataDescriptions[1].type, Descriptor_RigidBody);
    const sRigidBodyDescription& model = *list.arrDataDescriptions[1].Data.RigidBodyDescription;
    for (uint64_t k = 0; k < 300; k += 37) {
        m.fill(k, *frame);
        const sRigidBodyData& body = frame->RigidBodies[0];
        for (int i = 0; i < model.nMarkers; ++i) {
            const MarkerData& marker = frame->MocapData[0].Markers[i];
            const float* offset = model.MarkerPositions[i];
            EXPECT_NEAR(std::hypot(marker[0] - body.x, marker[1] - body.y, marker[2] - body.z),
                        std::hypot(offset[0], offset[1], offset[2]), 1e-5);
        }
    }
}

TEST(SimulatorScenario, GapsClearTheTrackedFlagAndRemoveTheMarkers)
{
    NatNet::Sim::ScenarioConfig config;
    config.rigidBodies = 1;
    config.rateHz = 100.0;
    config.invalidGaps = true;
    NatNet::Sim::Scenario scenario(config);
    auto frame = newFrame();
    int tracked = 0;
    int lost = 0;
    for (uint64_t k = 0; k < 500; ++k) {  // one gap period of 5 s
        scenario.fill(k, *frame);
        const bool isTracked = (frame->RigidBodies[0].params & 1) != 0;
        EXPECT_EQ(isTracked, scenario.isTracked(0, static_cast<double>(k) / 100.0));
        EXPECT_EQ(frame->nLabeledMarkers, isTracked ? NatNet::Sim::Scenario::kMarkersPerBody : 0);
        (isTracked ? tracked : lost) += 1;
    }
    EXPECT_EQ(lost, 50);  // 0.5 s of 5 s
    EXPECT_EQ(tracked, 450);
}

TEST(SimulatorReplay, TheRealCaptureReplaysToAMulticastClient)
{
    const char* captures = std::getenv("NATNET_CAPTURES_DIR");
    ASSERT_NE(captures, nullptr);
    std::string error;
    const auto capture =
        NatNet::Sim::Capture::read(std::string(captures) + "/python_natnet/traffic.pcapng", &error);
    ASSERT_TRUE(capture) << error;
    ASSERT_EQ(capture->frames().size(), 518u);
    EXPECT_EQ(capture->serverNatNetVersion(), (std::array<uint8_t, 4>{3, 0, 0, 0}));
    ASSERT_TRUE(capture->modelDefinitionsPayload());
    const double span = capture->frames().back()->seconds - capture->frames().front()->seconds;
    EXPECT_NEAR(span, 517.0 / 120.0, 0.05);  // 120 Hz, as its FrameRate answer says

    Simulator sim(simConfig(true));
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim.startReplay(*capture));  // the server becomes the capture's: NatNet 3.0
    RecordingClient receiver;
    ASSERT_EQ(receiver.connectTo(sim, true), ErrorCode_OK);
    ASSERT_TRUE(eventually([&] { return receiver.frames.count() >= 30; }));
    sim.stopStreaming();
    const std::vector<int32_t> numbers = receiver.frames.frameNumbers();
    for (size_t i = 1; i < numbers.size(); ++i) {
        EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
    }
    EXPECT_GE(numbers.front(), 162734);
    EXPECT_LE(numbers.back(), 163251);
    EXPECT_EQ(countersOf(receiver.client).droppedBadFrame, 0u);
    // The capture's model definitions are served too.
    sDataDescriptions* list = nullptr;
    ASSERT_EQ(receiver.client.GetDataDescriptionList(&list), ErrorCode_OK);
    ASSERT_EQ(list->nDataDescriptions, 3);
    EXPECT_STREQ(list->arrDataDescriptions[0].Data.RigidBodyDescription->szName, "RaceQuad");
    NatNet_FreeDescriptions(list);
}

// ---- Misbehaviour ---------------------------------------------------------------------------

float responseFloat(const std::vector<uint8_t>& payload)
{
    float value = 0;
    EXPECT_GE(payload.size(), 4u);
    std::memcpy(&value, payload.data(), std::min<size_t>(payload.size(), 4));
    return value;
}

TEST(SimulatorMisbehaviour, LateAnswersKeepTheRequestOrderWhileEchoesAreAnsweredAtOnce)
{
    Simulator sim(simConfig(false));
    sim.setUnitsToMillimeters(1000.0f);
    sim.setFrameRate(240.0f);
    sim.setAnswerDelay(60ms, 90ms, 7);
    ASSERT_TRUE(sim.start());
    RawClient client(sim.commandPort());
    const auto sent = std::chrono::steady_clock::now();
    client.sendRequest("UnitsToMillimeters");
    client.sendRequest("FrameRate");
    client.send(kEchoRequest, {1, 2, 3, 4, 5, 6, 7, 8});
    // The command thread kept receiving: the echo overtakes both late answers.
    ASSERT_EQ(client.nextId(), kEchoResponse);
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    ASSERT_EQ(client.nextId(&first), kResponse);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 60ms);
    ASSERT_EQ(client.nextId(&second), kResponse);
    EXPECT_EQ(responseFloat(first), 1000.0f);
    EXPECT_EQ(responseFloat(second), 240.0f);
    EXPECT_EQ(sim.counters().answersDelayed, 2u);
}

TEST(SimulatorMisbehaviour, DuplicatedAnswersComeTwice)
{
    Simulator sim(simConfig(false));
    sim.setFrameRate(120.0f);
    sim.setDuplicateAnswers(true);
    ASSERT_TRUE(sim.start());
    RawClient client(sim.commandPort());
    client.sendRequest("FrameRate");
    for (int copy = 0; copy < 2; ++copy) {
        std::vector<uint8_t> answer;
        ASSERT_EQ(client.nextId(&answer), kResponse) << "copy " << copy;
        EXPECT_EQ(responseFloat(answer), 120.0f);
    }
    EXPECT_EQ(client.nextId(nullptr, nullptr, 100ms), -1);
    EXPECT_EQ(sim.counters().answersDuplicated, 1u);
}

TEST(SimulatorMisbehaviour, ShiftedAnswersGiveEachRequestTheAnswerOwedToTheOneBefore)
{
    Simulator sim(simConfig(false));
    sim.setUnitsToMillimeters(1000.0f);
    sim.setFrameRate(240.0f);
    sim.setShiftedAnswers(true);
    ASSERT_TRUE(sim.start());
    RawClient client(sim.commandPort());
    client.sendRequest("UnitsToMillimeters");
    EXPECT_EQ(client.nextId(nullptr, nullptr, 150ms), -1);  // the first request gets nothing
    client.sendRequest("FrameRate");
    std::vector<uint8_t> answer;
    ASSERT_EQ(client.nextId(&answer), kResponse);
    EXPECT_EQ(responseFloat(answer), 1000.0f);  // the units, owed to the request before
}

TEST(SimulatorMisbehaviour, UnsolicitedServerInfoReachesAConnectedClientWithTheClaimedVersion)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    RawClient client(sim.commandPort());
    EXPECT_EQ(sim.sendUnsolicitedServerInfo(), 0);  // nobody connected yet
    client.send(kConnect, {});
    ASSERT_EQ(client.nextId(), kServerInfo);
    ASSERT_EQ(sim.sendUnsolicitedServerInfo({3, 0, 0, 0}), 1);
    std::vector<uint8_t> info;
    ASSERT_EQ(client.nextId(&info), kServerInfo);
    ASSERT_EQ(info.size(), NatNet::Wire::kServerInfoSize);
    // The sender block: a 256-byte name, the app version, then the NatNet version.
    EXPECT_EQ(info[256 + 4], 3);
    EXPECT_EQ(info[256 + 5], 0);
    EXPECT_EQ(sim.counters().unsolicitedServerInfos, 1u);
}

TEST(SimulatorMisbehaviour, AFrameFromAnotherPortLeavesFromThatPort)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    ASSERT_NE(sim.otherDataPort(), 0);
    ASSERT_NE(sim.otherDataPort(), sim.dataPort());
    RawClient client(sim.commandPort());
    client.send(kConnect, {});
    ASSERT_EQ(client.nextId(), kServerInfo);
    sFrameOfMocapData frame{};
    frame.iFrame = 5;
    ASSERT_EQ(sim.sendFrameFromOtherPort(frame), 1);
    uint16_t fromPort = 0;
    ASSERT_EQ(client.nextId(nullptr, &fromPort), kFrame);
    EXPECT_EQ(fromPort, sim.otherDataPort());
    ASSERT_EQ(sim.sendFrame(frame), 1);
    ASSERT_EQ(client.nextId(nullptr, &fromPort), kFrame);
    EXPECT_EQ(fromPort, sim.dataPort());
    EXPECT_EQ(sim.counters().framesFromOtherPort, 1u);
}

TEST(SimulatorScenario, OddNamesReachTheDescriptionsAndTheFramesByteForByte)
{
    NatNet::Sim::ScenarioConfig config;
    config.rigidBodies = 3;
    config.bodyNames = {"Sond\xE9", "line\nbreak", std::string("esc\x1b[31m") + std::string(300, 'x')};
    NatNet::Sim::Scenario scenario(config);
    const std::string cut = config.bodyNames[2].substr(0, MAX_NAMELENGTH - 1);
    const NatNet::Sim::Descriptions descriptions = scenario.descriptions();
    const sDataDescriptions& models = descriptions.view();
    std::vector<std::string> rigidBodyNames;
    std::vector<std::string> markerSetNames;
    for (int i = 0; i < models.nDataDescriptions; ++i) {
        const sDataDescription& entry = models.arrDataDescriptions[i];
        if (entry.type == Descriptor_RigidBody) {
            rigidBodyNames.emplace_back(entry.Data.RigidBodyDescription->szName);
        } else if (entry.type == Descriptor_MarkerSet) {
            markerSetNames.emplace_back(entry.Data.MarkerSetDescription->szName);
        }
    }
    const std::vector<std::string> expected = {"Sond\xE9", "line\nbreak", cut};
    EXPECT_EQ(rigidBodyNames, expected);
    ASSERT_EQ(markerSetNames.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(markerSetNames.begin(), markerSetNames.begin() + 3), expected);
    auto frame = std::make_unique<sFrameOfMocapData>();
    scenario.fill(0, *frame);
    ASSERT_EQ(frame->nMarkerSets, 4);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(std::string(frame->MocapData[s].szName), expected[static_cast<size_t>(s)]);
    }
}

TEST(SimulatorScenario, PoseFaultsHitTheChosenBodyEveryNthFrameOnly)
{
    struct Row
    {
        const char* name;
        NatNet::Sim::PoseFault fault;
        std::function<bool(const sRigidBodyData&)> damaged;
    };
    const Row rows[] = {
        {"NaN position", NatNet::Sim::PoseFault::NaNPosition,
         [](const sRigidBodyData& b) { return std::isnan(b.x) && std::isnan(b.z); }},
        {"inf position", NatNet::Sim::PoseFault::InfinitePosition,
         [](const sRigidBodyData& b) { return std::isinf(b.x) && b.y < 0 && std::isinf(b.y); }},
        {"NaN mean error", NatNet::Sim::PoseFault::NaNMeanError,
         [](const sRigidBodyData& b) { return std::isnan(b.MeanError) && std::isfinite(b.x); }},
        {"NaN quaternion", NatNet::Sim::PoseFault::NaNQuaternion,
         [](const sRigidBodyData& b) { return std::isnan(b.qw) && std::isnan(b.qy); }},
        {"inf quaternion", NatNet::Sim::PoseFault::InfiniteQuaternion,
         [](const sRigidBodyData& b) { return std::isinf(b.qw); }},
        {"non-unit quaternion", NatNet::Sim::PoseFault::NonUnitQuaternion,
         [](const sRigidBodyData& b) {
             const double n = std::sqrt(double(b.qx) * b.qx + double(b.qy) * b.qy + double(b.qz) * b.qz +
                                        double(b.qw) * b.qw);
             return std::abs(n - 3.0) < 1e-4;
         }},
        {"zero quaternion", NatNet::Sim::PoseFault::ZeroQuaternion,
         [](const sRigidBodyData& b) { return b.qx == 0 && b.qy == 0 && b.qz == 0 && b.qw == 0; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NatNet::Sim::ScenarioConfig config;
        config.rigidBodies = 3;
        config.poseFaults = {{1, row.fault, 4}};
        NatNet::Sim::Scenario scenario(config);
        auto frame = std::make_unique<sFrameOfMocapData>();
        for (uint64_t k = 0; k < 12; ++k) {
            scenario.fill(k, *frame);
            EXPECT_EQ(row.damaged(frame->RigidBodies[1]), k % 4 == 3) << "frame " << k;
            EXPECT_TRUE(std::isfinite(frame->RigidBodies[0].x) && std::isfinite(frame->RigidBodies[2].qw));
        }
    }
}

TEST(SimulatorScenario, NewIdsPerFrameAreNeverSeenBeforeAndStayWithinTheFrame)
{
    NatNet::Sim::ScenarioConfig config;
    config.rigidBodies = 2;
    config.newIdsPerFrame = 1000;  // more than fits beside the two bodies: capped
    NatNet::Sim::Scenario scenario(config);
    auto frame = std::make_unique<sFrameOfMocapData>();
    std::set<int32_t> seen;
    for (uint64_t k = 0; k < 5; ++k) {
        scenario.fill(k, *frame);
        ASSERT_EQ(frame->nRigidBodies, MAX_RIGIDBODIES);
        EXPECT_EQ(frame->RigidBodies[0].ID, 1);
        EXPECT_EQ(frame->RigidBodies[1].ID, 2);
        for (int i = 2; i < frame->nRigidBodies; ++i) {
            EXPECT_TRUE(seen.insert(frame->RigidBodies[i].ID).second) << frame->RigidBodies[i].ID;
            EXPECT_EQ(frame->RigidBodies[i].params & 1, 1);
        }
    }
    EXPECT_EQ(seen.size(), 5u * (MAX_RIGIDBODIES - 2));
}

}  // namespace
