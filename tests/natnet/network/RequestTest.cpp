// Requests and their failures: answers by command, retries, unrecognized
// requests, silence, short answers, stale replies, model definitions, and
// the argument checks of Connect.
#include "NetworkTestSupport.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/Messages.h"
#include "natnet/sim/Descriptions.h"
#include "natnet/transport/UdpSocket.h"

#include "NatNetCAPI.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using namespace NatNetTest;
using NatNet::Sim::Answer;
using NatNet::Sim::Simulator;

class RequestTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start());
        NatNetExt::SetClientTimeouts(m_client, fastTimeouts());
    }

    void connect() { ASSERT_EQ(connectTo(m_client, m_sim, false), ErrorCode_OK); }

    Simulator m_sim{simConfig(false)};
    NatNetClient m_client;
};

float asFloat(const void* bytes)
{
    float value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

int32_t asInt(const void* bytes)
{
    int32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

TEST_F(RequestTest, TheQueriesOfTheStreamAreAnsweredWithScriptedValues)
{
    m_sim.setUnitsToMillimeters(1.0f);
    m_sim.setFrameRate(240.0f);
    m_sim.setAnalogSamplesPerFrame(7);
    connect();
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(m_client.SendMessageAndWait("UnitsToMillimeters", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 4);
    EXPECT_EQ(asFloat(response), 1.0f);
    ASSERT_EQ(m_client.SendMessageAndWait("FrameRate", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 4);
    EXPECT_EQ(asFloat(response), 240.0f);
    ASSERT_EQ(m_client.SendMessageAndWait("AnalogSamplesPerMocapFrame", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 4);
    EXPECT_EQ(asInt(response), 7);
    ASSERT_EQ(m_client.SendMessageAndWait("Bitstream", &response, &size), ErrorCode_OK);
    EXPECT_STREQ(static_cast<const char*>(response), "Bitstream,4.1.0.0");
    EXPECT_EQ(m_sim.counters().requestsFor("FrameRate"), 1u);
}

TEST_F(RequestTest, FailuresAreReportedAsTheSdkDoes)
{
    struct Row
    {
        const char* name;
        Answer answer;
        ErrorCode expected;
        uint64_t triesSeen;  // with 3 tries
    };
    const Row rows[] = {
        {"Unrecognized", Answer::Unrecognized, ErrorCode_Other, 1},
        {"NoAnswer", Answer::None, ErrorCode_Network, 3},
    };
    connect();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string command = std::string("Cmd") + row.name;
        m_sim.setCommandAnswer(command, row.answer);
        void* response = reinterpret_cast<void*>(1);
        int size = -1;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(m_client.SendMessageAndWait(command.c_str(), 3, 30, &response, &size), row.expected);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(response, nullptr);
        EXPECT_EQ(size, 0);
        EXPECT_EQ(m_sim.counters().requestsFor(command), row.triesSeen);
        EXPECT_LT(took, 2s);
    }
    // A command the server does not know at all is unrecognized too.
    void* response = nullptr;
    int size = 0;
    EXPECT_EQ(m_client.SendMessageAndWait("TestRequest", &response, &size), ErrorCode_Other);
}

TEST_F(RequestTest, DroppedTriesAreRetriedUntilTheTriesRunOut)
{
    connect();
    void* response = nullptr;
    int size = 0;
    m_sim.dropNextRequests("FrameRate", 3);
    ASSERT_EQ(m_client.SendMessageAndWait("FrameRate", 5, 40, &response, &size), ErrorCode_OK);
    EXPECT_EQ(asFloat(response), 120.0f);
    EXPECT_EQ(m_sim.counters().requestsFor("FrameRate"), 4u);  // three dropped, the fourth answered

    m_sim.dropNextRequests("FrameRate", 3);
    EXPECT_EQ(m_client.SendMessageAndWait("FrameRate", 2, 40, &response, &size), ErrorCode_Network);
    EXPECT_EQ(countersOf(m_client).requestTimeouts, 1u);
}

TEST_F(RequestTest, AShortAnswerIsPaddedWithZerosNotReadPast)
{
    m_sim.setCommandResponse("UnitsToMillimeters", {0x12, 0x34});
    connect();
    void* response = nullptr;
    int size = 0;
    ASSERT_EQ(m_client.SendMessageAndWait("UnitsToMillimeters", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 2);
    // A caller that reads 4 bytes regardless (as the SDK samples do) reads defined zeros.
    const auto* bytes = static_cast<const uint8_t*>(response);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 0);
}

TEST_F(RequestTest, RequestsFromTwoThreadsAreSerialisedAndEachGetsItsOwnAnswer)
{
    connect();
    std::atomic<int> wrong{0};
    // The answers differ in size ("Bitstream" is text), and the size is the
    // caller's own output: a reply taken by the wrong request shows there. (The
    // bytes themselves live in the client's one response buffer, as in the SDK.)
    const auto ask = [&](const char* command, int expectedSize) {
        for (int i = 0; i < 40; ++i) {
            void* response = nullptr;
            int size = 0;
            const ErrorCode result = m_client.SendMessageAndWait(command, 10, 200, &response, &size);
            wrong += (result != ErrorCode_OK || size != expectedSize) ? 1 : 0;
        }
    };
    std::thread a(ask, "FrameRate", 4);
    std::thread b(ask, "Bitstream", static_cast<int>(sizeof("Bitstream,4.1.0.0")));
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(m_sim.counters().requests, 80u);
}

TEST_F(RequestTest, RequestsNeedAConnectionAndValidArguments)
{
    void* response = nullptr;
    int size = 0;
    EXPECT_EQ(m_client.SendMessageAndWait("FrameRate", &response, &size),
              ErrorCode_Network);  // not connected
    connect();
    EXPECT_EQ(m_client.SendMessageAndWait(nullptr, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(m_client.SendMessageAndWait("FrameRate", 0, 20, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(m_client.SendMessageAndWait("FrameRate", 1, 0, &response, &size), ErrorCode_InvalidArgument);
    const std::string tooLong(MAX_PACKETSIZE, 'x');
    EXPECT_EQ(m_client.SendMessageAndWait(tooLong.c_str(), &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(m_client.Disconnect(), ErrorCode_OK);
    EXPECT_EQ(m_client.SendMessageAndWait("FrameRate", &response, &size), ErrorCode_Network);
}

TEST_F(RequestTest, DataDescriptionsArriveDecodedAndFilteredByTheMask)
{
    NatNet::Sim::Descriptions models;
    models.addMarkerSet({"Probe", {"Probe_1", "Probe_2", "Probe_3"}});
    models.addRigidBody({"Probe",
                         7,
                         -1,
                         {0.0f, 0.0f, 0.0f},
                         {{0.01f, 0.0f, 0.0f}, {0.0f, 0.02f, 0.0f}, {0.0f, 0.0f, 0.03f}},
                         {0, 5, 0},
                         {"M1", "M2", "M3"}});
    ASSERT_TRUE(m_sim.setDataDescriptions(models.view()));
    connect();

    sDataDescriptions* list = nullptr;
    ASSERT_EQ(m_client.GetDataDescriptionList(&list), ErrorCode_OK);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->nDataDescriptions, 2);
    EXPECT_EQ(list->arrDataDescriptions[0].type, Descriptor_MarkerSet);
    EXPECT_STREQ(list->arrDataDescriptions[0].Data.MarkerSetDescription->szName, "Probe");
    ASSERT_EQ(list->arrDataDescriptions[1].type, Descriptor_RigidBody);
    const sRigidBodyDescription& body = *list->arrDataDescriptions[1].Data.RigidBodyDescription;
    EXPECT_EQ(body.ID, 7);
    ASSERT_EQ(body.nMarkers, 3);
    EXPECT_EQ(body.MarkerPositions[2][2], 0.03f);
    EXPECT_EQ(body.MarkerRequiredLabels[1], 5);
    EXPECT_STREQ(body.szMarkerNames[2], "M3");
    EXPECT_EQ(NatNet_FreeDescriptions(list), ErrorCode_OK);

    list = nullptr;
    ASSERT_EQ(m_client.GetDataDescriptionList(&list, 1u << Descriptor_RigidBody), ErrorCode_OK);
    ASSERT_EQ(list->nDataDescriptions, 1);
    EXPECT_EQ(list->arrDataDescriptions[0].type, Descriptor_RigidBody);
    NatNet_FreeDescriptions(list);

    m_sim.dropNext(NatNet::Sim::MessageKind::ModelDefRequest, 10);
    list = reinterpret_cast<sDataDescriptions*>(1);
    EXPECT_EQ(m_client.GetDataDescriptionList(&list), ErrorCode_Network);
    EXPECT_EQ(list, nullptr);
}

// A stand-in server on a raw socket: it answers CONNECT, then does what the test says.
class RawServer
{
public:
    RawServer() : m_socket(m_io) { EXPECT_FALSE(m_socket.open({0x7F000001u, 0}, {})); }
    uint16_t port() const { return m_socket.localEndpoint().port; }

    // Receives the next datagram (blocking up to 2 s); returns its message ID or -1.
    int receive(NatNet::Net::Ipv4Endpoint& from)
    {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (std::chrono::steady_clock::now() < deadline) {
            size_t size = 0;
            uint32_t local = 0;
            if (!m_socket.receiveNow(m_buffer, sizeof(m_buffer), size, from, local) && size >= 4) {
                return m_buffer[0] | (m_buffer[1] << 8);
            }
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }
    void sendServerInfo(NatNet::Net::Ipv4Endpoint to)
    {
        NatNet::Wire::ServerInfo info;
        info.sender.setName("Motive");
        info.sender.natNetVersion[0] = 4;
        info.sender.natNetVersion[1] = 1;
        info.hasConnectionInfo = true;
        info.highResClockFrequency = 10'000'000;
        send(to, [&](NatNet::Wire::ByteWriter& out) { NatNet::Wire::encodeServerInfo(out, info); });
    }
    void sendFloat(NatNet::Net::Ipv4Endpoint to, float value)
    {
        send(to, [&](NatNet::Wire::ByteWriter& out) { NatNet::Wire::encodeResponseFloat(out, value); });
    }

private:
    template <class Encode>
    void send(NatNet::Net::Ipv4Endpoint to, Encode&& encode)
    {
        uint8_t bytes[512];
        NatNet::Wire::ByteWriter out(bytes, sizeof(bytes));
        encode(out);
        EXPECT_FALSE(m_socket.sendTo(bytes, out.size(), to));
    }

    boost::asio::io_context m_io;
    NatNet::Net::UdpSocket m_socket;
    uint8_t m_buffer[65536]{};
};

TEST(RequestStaleReplies, AReplyWhileNoRequestWaitsIsDroppedNotTakenByTheNextRequest)
{
    RawServer server;
    NatNetClient client;
    NatNetExt::ClientTimeouts timeouts = fastTimeouts();
    timeouts.echoMs = 60'000;  // keep the stand-in's inbox to what the test sends
    NatNetExt::SetClientTimeouts(client, timeouts);
    const sNatNetClientConnectParams params = loopbackUnicast(server.port());
    NatNet::Net::Ipv4Endpoint clientEndpoint;
    std::thread answer([&] {
        if (server.receive(clientEndpoint) == 0) {
            server.sendServerInfo(clientEndpoint);
        }
    });
    ASSERT_EQ(client.Connect(params), ErrorCode_OK);
    answer.join();

    // A late answer to some earlier request: nobody waits for it.
    server.sendFloat(clientEndpoint, 1.0f);
    ASSERT_TRUE(eventually([&] { return countersOf(client).droppedUnsolicited == 1; }));

    std::thread reply([&] {
        NatNet::Net::Ipv4Endpoint from;
        for (int id = server.receive(from); id != -1; id = server.receive(from)) {
            if (id == 2) {  // NAT_REQUEST
                server.sendFloat(from, 2.0f);
                return;
            }
        }
    });
    void* response = nullptr;
    int size = 0;
    EXPECT_EQ(client.SendMessageAndWait("FrameRate", 5, 200, &response, &size), ErrorCode_OK);
    reply.join();
    ASSERT_EQ(size, 4);
    EXPECT_EQ(asFloat(response), 2.0f);
}

TEST(RequestConnect, ASilentServerFailsWithinItsBoundAndLeavesNoHost)
{
    Simulator sim(simConfig(false));
    sim.setSilent(true);
    ASSERT_TRUE(sim.start());
    struct Row
    {
        const char* name;
        int tries;
        int tryMs;
    };
    for (const Row row : {Row{"fast", 3, 100}, Row{"default", 0, 0}}) {
        SCOPED_TRACE(row.name);
        NatNetClient client;
        if (row.tries > 0) {
            NatNetExt::ClientTimeouts timeouts;
            timeouts.connectTries = row.tries;
            timeouts.connectTryMs = row.tryMs;
            NatNetExt::SetClientTimeouts(client, timeouts);
        }
        NatNetExt::ClientTimeouts used;
        NatNetExt::GetClientTimeouts(client, &used);
        const auto bound = std::chrono::milliseconds(used.connectTries * used.connectTryMs);
        ConnectParams connect(sim, false);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Connect(connect.params), ErrorCode_Network);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_GE(took, bound - 10ms);
        EXPECT_LT(took, bound + 500ms);
        sServerDescription description;
        std::memset(&description, 0xFF, sizeof(description));
        EXPECT_EQ(client.GetServerDescription(&description), ErrorCode_OK);
        EXPECT_FALSE(description.HostPresent);
        EXPECT_EQ(client.Disconnect(), ErrorCode_InvalidOperation);  // never connected
    }
    EXPECT_EQ(sim.counters().connects, 3u + 4u);
}

TEST(RequestConnect, AServerThatDescribesNoHostConnectsWithoutHostPresent)
{
    Simulator sim(simConfig(false));
    sim.setNoHostPresent(true);
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    ASSERT_EQ(connectTo(client, sim, false), ErrorCode_OK);
    sServerDescription description;
    ASSERT_EQ(client.GetServerDescription(&description), ErrorCode_OK);
    EXPECT_FALSE(description.HostPresent);
}

TEST(RequestConnect, BadParametersAreInvalidArguments)
{
    struct Row
    {
        const char* name;
        int type;
        const char* server;
        const char* local;
        const char* group;
    };
    const Row rows[] = {
        {"null server", 1, nullptr, "127.0.0.1", nullptr},
        {"empty server", 1, "", "127.0.0.1", nullptr},
        {"octet too large", 1, "300.1.1.1", "127.0.0.1", nullptr},
        {"three octets", 1, "127.0.1", "127.0.0.1", nullptr},
        {"host name", 1, "localhost", "127.0.0.1", nullptr},
        {"trailing text", 1, "127.0.0.1x", "127.0.0.1", nullptr},
        {"group as server", 1, "239.255.42.99", "127.0.0.1", nullptr},
        {"broadcast as server", 1, "255.255.255.255", "127.0.0.1", nullptr},
        {"bad local", 1, "127.0.0.1", "127.0.0.256", nullptr},
        {"unicast group as group", 0, "127.0.0.1", "127.0.0.1", "127.0.0.5"},
        {"malformed group", 0, "127.0.0.1", "127.0.0.1", "239.255"},
        {"connection type 7", 7, "127.0.0.1", "127.0.0.1", nullptr},
    };
    NatNetClient client;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sNatNetClientConnectParams params;
        static_assert(sizeof(params.connectionType) == sizeof(int));
        std::memcpy(&params.connectionType, &row.type, sizeof(int));  // 7 is no enumerator: store the bytes
        params.serverAddress = row.server;
        params.localAddress = row.local;
        params.multicastAddress = row.group;
        params.serverCommandPort = 9;  // nothing is sent: the arguments fail first
        EXPECT_EQ(client.Connect(params), ErrorCode_InvalidArgument);
    }
    EXPECT_EQ(countersOf(client).requestsSent, 0u);
}

TEST(RequestConnect, DisconnectIsIdempotentAndConnectReplacesTheSession)
{
    Simulator sim(simConfig(false));
    ASSERT_TRUE(sim.start());
    NatNetClient client;
    ConnectParams connect(sim, false);
    ASSERT_EQ(client.Connect(connect.params), ErrorCode_OK);
    ASSERT_EQ(client.Connect(connect.params), ErrorCode_OK);  // replaces the first session
    ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.connects == 2 && n.clientsConnected == 1; }, 2s));
    EXPECT_EQ(client.Disconnect(), ErrorCode_OK);
    EXPECT_EQ(client.Disconnect(), ErrorCode_OK);
    ASSERT_TRUE(sim.waitFor([](const auto& n) { return n.clientsConnected == 0; }, 2s));
}

}  // namespace
