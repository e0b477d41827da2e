// What the client takes from the network, against a stand-in server that
// misbehaves on purpose: an answer only for the request it belongs to (late
// answers, answers to retries, duplicated answers), server information only in
// answer to a connect, frames only from the data port, in order, at most once.
#include "NetworkTestSupport.h"
#include "StandInServer.h"

#include "natnet_ext/NatNetExt.h"

#include "NatNetClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace NatNetTest;
using std::chrono::milliseconds;

float asFloat(const void* bytes)
{
    float value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

// A query and the value its command is answered with.
struct Query
{
    const char* command;
    float value;
};

// Connects `client` in unicast to the stand-in; no echoes, so its inbox holds only what a test sends.
void connectToStandIn(NatNetClient& client, const StandInServer& server)
{
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.echoMs = 60'000;
    NatNetExt::SetClientTimeouts(client, timeouts);
    ASSERT_EQ(client.Connect(loopbackUnicast(server.commandPort(), server.dataPort())), ErrorCode_OK);
    ASSERT_TRUE(eventually([&] { return server.clientKnown(); }));
}

class ReceivePathTest : public testing::Test
{
protected:
    void connect(StandInServer& server)
    {
        m_client.SetFrameReceivedCallback(&FrameRecorder::onFrame, &m_frames);
        connectToStandIn(m_client, server);
    }

    // The module's queries with the SDK's default 10 tries of 20 ms: each
    // either fails or returns the value of its own command.
    int askEach(const std::vector<Query>& queries)
    {
        int answered = 0;
        for (const Query& query : queries) {
            SCOPED_TRACE(query.command);
            void* response = nullptr;
            int size = 0;
            if (m_client.SendMessageAndWait(query.command, &response, &size) == ErrorCode_OK) {
                ++answered;
                EXPECT_EQ(size, 4);
                EXPECT_EQ(asFloat(response), query.value);
            }
        }
        return answered;
    }

    FrameRecorder m_frames;  // outlives the client's receive thread
    NatNetClient m_client;
};

const std::vector<Query> kQueries = {
    {"FrameRate", 120.0f}, {"UnitsToMillimeters", 1000.0f}, {"AnalogSamplesPerMocapFrame", 7.0f},
    {"FrameRate", 120.0f}, {"UnitsToMillimeters", 1000.0f},
};

void scriptAnswers(StandInServer& server)
{
    for (const auto& query : kQueries) {
        server.answerFloat(query.command, query.value);
    }
}

// Asks every query with `tries` tries of `tryMs`: each is answered, with its own command's value.
void expectEachAnswered(NatNetClient& client, int tries, int tryMs)
{
    for (const auto& query : kQueries) {
        SCOPED_TRACE(query.command);
        void* response = nullptr;
        int size = 0;
        ASSERT_EQ(client.SendMessageAndWait(query.command, tries, tryMs, &response, &size), ErrorCode_OK);
        EXPECT_EQ(asFloat(response), query.value);
    }
}

TEST_F(ReceivePathTest, AnswersLaterThanTheTimeoutAreNeverTakenByTheNextRequest)
{
    // A loaded server: 140 to 230 ms per answer, across the 200 ms that ten tries of 20 ms wait.
    StandInServer server;
    scriptAnswers(server);
    server.setDelays([](int n) { return milliseconds(140 + (n * 37) % 91); });
    connect(server);

    askEach(kQueries);
    const NatNetExt::ClientCounters counters = countersOf(m_client);
    // Every try of a slow request is answered: the answers to tries that were not waited for were dropped.
    EXPECT_GT(counters.droppedLateAnswer, 0u);
    EXPECT_EQ(counters.droppedUnsolicited, 0u);

    // Patient requests still get their own answers afterwards.
    expectEachAnswered(m_client, 1, 1000);
}

TEST_F(ReceivePathTest, AnswersThatAlwaysComeAfterTheTimeoutFailEveryRequestButNeverMislead)
{
    // Each answer comes only once the client has given up on the request it answers (the SDK's
    // ten tries each): a fixed delay past the ten tries' 200 ms is outlasted by a loaded client.
    constexpr int kTries = 10;
    StandInServer server;
    scriptAnswers(server);
    server.holdAnswersUntil(
        [this](int n) { return countersOf(m_client).requestTimeouts > static_cast<uint64_t>(n / kTries); });
    connect(server);
    EXPECT_EQ(askEach(kQueries), 0);
    EXPECT_EQ(server.requestsReceived(), static_cast<int>(kQueries.size()) * kTries);
    EXPECT_GT(countersOf(m_client).droppedLateAnswer, 0u);
}

TEST_F(ReceivePathTest, EveryAnswerToARetriedOrDuplicatedRequestIsTakenOnce)
{
    struct Row
    {
        const char* name;
        int copies;
        int delayMs;
    };
    // 30 ms: the first try is answered after the second was sent, and both answers come. Fifty
    // tries of 20 ms: a loaded machine that holds the stand-in off the CPU still has its answer
    // taken, by a later try (the tries after the answer are never sent).
    for (const Row row : {Row{"answers to two tries", 1, 30}, Row{"each answer three times", 3, 0},
                          Row{"retried and duplicated", 2, 30}}) {
        SCOPED_TRACE(row.name);
        StandInServer server;
        scriptAnswers(server);
        server.setCopiesPerAnswer(row.copies);
        server.setDelays([delay = row.delayMs](int) { return milliseconds(delay); });
        NatNetClient client;
        connectToStandIn(client, server);
        expectEachAnswered(client, 50, 20);
    }
}

TEST(ReceivePathShifted, AServerThatAnswersEachRequestWithThePreviousAnswerNeverMisleads)
{
    // Each request gets the answer owed to the one before: answers that come only when
    // the next request arrives, however long that takes.
    NatNet::Sim::Simulator sim(simConfig(false));
    sim.setFrameRate(250.0f);
    sim.setAnalogSamplesPerFrame(7);
    sim.setUnitsToMillimeters(1000.0f);
    sim.setShiftedAnswers(true);
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.lateAnswerMs = 100;  // keep the test short: each request waits this long first
    NatNetExt::SetClientTimeouts(client, timeouts);
    ASSERT_EQ(connectTo(client, sim, false), ErrorCode_OK);
    int answered = 0;
    for (int round = 0; round < 2; ++round) {
        void* response = nullptr;
        int size = 0;
        if (client.SendMessageAndWait("FrameRate", &response, &size) == ErrorCode_OK) {
            ++answered;
            EXPECT_EQ(asFloat(response), 250.0f);
        }
        if (client.SendMessageAndWait("AnalogSamplesPerMocapFrame", &response, &size) == ErrorCode_OK) {
            ++answered;
            int32_t samples = 0;
            std::memcpy(&samples, response, 4);
            EXPECT_EQ(samples, 7);
        }
        if (client.SendMessageAndWait("UnitsToMillimeters", &response, &size) == ErrorCode_OK) {
            ++answered;
            EXPECT_EQ(asFloat(response), 1000.0f);
        }
    }
    // Every request is answered by its own second try.
    EXPECT_EQ(answered, 6);
}

TEST_F(ReceivePathTest, ServerInformationNobodyAskedForChangesNothing)
{
    StandInServer server({4, 1, 0, 0});
    connect(server);
    server.sendFrame(1, 0.5f);
    ASSERT_TRUE(eventually([&] { return m_frames.count() == 1; }));

    // A NatNet 2.5 layout would misread every 4.1 frame that follows.
    server.sendServerInfo(2, 5);
    ASSERT_TRUE(eventually([&] { return countersOf(m_client).droppedUnsolicited == 1; }));
    uint8_t version[4] = {};
    NatNetExt::GetDecodeVersion(m_client, version);
    EXPECT_EQ(version[0], 4);
    EXPECT_EQ(version[1], 1);
    server.sendFrame(2, 0.5f);
    ASSERT_TRUE(eventually([&] { return m_frames.count() == 2; }));
    EXPECT_EQ(countersOf(m_client).droppedBadFrame, 0u);
}

TEST_F(ReceivePathTest, FramesComeOnlyFromTheServersDataPort)
{
    StandInServer server;
    connect(server);
    for (int i = 0; i < 20; ++i) {
        server.sendFrame(100 + i, 9999.0f, StandInServer::From::OtherPort);
        server.sendFrame(200 + i, 9999.0f, StandInServer::From::CommandPort);
    }
    server.sendFrame(1, 0.5f);
    ASSERT_TRUE(eventually([&] { return m_frames.count() == 1; }));
    ASSERT_TRUE(eventually([&] { return countersOf(m_client).droppedForeignSender == 40; }));
    EXPECT_EQ(m_frames.frameNumbers(), std::vector<int32_t>{1});
    EXPECT_EQ(m_frames.last().rigidBodies.at(0).x, 0.5f);
}

TEST_F(ReceivePathTest, FramesAreDeliveredInOrderOnceAndARestartIsFollowed)
{
    StandInServer server;
    connect(server);
    // 2 twice, 3 overtaken by 4, 6 never sent, 8 to 1499 lost in an outage; then the server restarts at 20.
    const std::vector<int32_t> sent = {1, 2, 2, 4, 3, 5, 7, 7, 1500, 20, 21};
    for (const int32_t number : sent) {
        server.sendFrame(number, 0.5f);
    }
    ASSERT_TRUE(eventually([&] { return countersOf(m_client).datagramsReceived >= sent.size() + 1; }));
    ASSERT_TRUE(eventually([&] { return m_frames.count() == 8; }));
    EXPECT_EQ(m_frames.frameNumbers(), (std::vector<int32_t>{1, 2, 4, 5, 7, 1500, 20, 21}));
    const NatNetExt::ClientCounters counters = countersOf(m_client);
    EXPECT_EQ(counters.droppedOldFrame, 3u);        // 2, 3, 7
    EXPECT_EQ(counters.framesMissing, 1u + 1492u);  // 6 and 8...1499 (3 came, late)
    EXPECT_EQ(counters.frameNumberRestarts, 1u);    // back to 20
    EXPECT_EQ(counters.framesDecoded, 8u);
}

}  // namespace
