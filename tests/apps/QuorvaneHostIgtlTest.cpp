// quorvane-host's OpenIGTLink server, end to end: clients written with the same library receive
// the poses the host's --json output shows; a client that never reads, one that leaves and
// several at once cost neither the stream nor the other clients.

#include "HostProcess.h"
#include "HostTestSupport.h"
#include "IgtlClientQueue.h"
#include "IgtlServer.h"

#include "natnet/sim/Scenario.h"
#include "natnet/sim/Simulator.h"

#include <igtlClientSocket.h>
#include <igtlMessageHeader.h>
#include <igtlTimeStamp.h>
#include <igtlTransformMessage.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Quorvane::Testing {
namespace {

using namespace std::chrono_literals;
using Host::IgtlClientQueue;
using Host::igtlDeviceName;
using Host::IgtlPose;

/// A free TCP port on loopback, read back from a socket bound to port 0 (port 0 itself turns the
/// server off).
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(where);
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof(where)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length) == 0) {
        port = ntohs(where.sin_port);
    }
    ::close(fd);
    return port;
}

struct ReceivedTransform
{
    std::string name;
    float matrix[4][4] = {};
    double timestampS = 0.0;
};

/// An OpenIGTLink client on its own thread: takes TRANSFORMs until the host closes the
/// connection or `keep` of them arrived (then it leaves).
class IgtlTestClient
{
public:
    explicit IgtlTestClient(int port, std::size_t keep = SIZE_MAX) : m_keep(keep)
    {
        m_socket = igtl::ClientSocket::New();
        m_connected = m_socket->ConnectToServer("127.0.0.1", port) == 0;
        if (m_connected) {
            m_thread = std::thread([this] { run(); });
        }
    }
    ~IgtlTestClient()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        m_socket->CloseSocket();
    }
    bool connected() const { return m_connected; }
    std::size_t count() const { return m_count.load(); }
    /// Waits for the connection to end; then `received` is complete.
    const std::vector<ReceivedTransform>& received()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_received;
    }

private:
    void run()
    {
        igtl::MessageHeader::Pointer header = igtl::MessageHeader::New();
        igtl::TimeStamp::Pointer stamp = igtl::TimeStamp::New();
        while (m_received.size() < m_keep) {
            header->InitPack();
            if (m_socket->Receive(header->GetPackPointer(), header->GetPackSize()) != header->GetPackSize()) {
                return;  // the host closed the connection
            }
            header->Unpack();
            if (std::strcmp(header->GetDeviceType(), "TRANSFORM") != 0) {
                m_socket->Skip(static_cast<int>(header->GetBodySizeToRead()), 0);
                continue;
            }
            igtl::TransformMessage::Pointer message = igtl::TransformMessage::New();
            message->SetMessageHeader(header);
            message->AllocatePack();
            if (m_socket->Receive(message->GetPackBodyPointer(), message->GetPackBodySize()) !=
                message->GetPackBodySize()) {
                return;
            }
            if ((message->Unpack(1) & igtl::MessageHeader::UNPACK_BODY) == 0) {
                ADD_FAILURE() << "a TRANSFORM whose body does not unpack (CRC)";
                return;
            }
            ReceivedTransform transform;
            transform.name = message->GetDeviceName();
            message->GetMatrix(transform.matrix);
            message->GetTimeStamp(stamp);
            transform.timestampS = stamp->GetTimeStamp();
            m_received.push_back(transform);
            m_count.store(m_received.size());
        }
    }

    igtl::ClientSocket::Pointer m_socket;
    const std::size_t m_keep;
    bool m_connected = false;
    std::vector<ReceivedTransform> m_received;  // the client thread's until it ended
    std::atomic<std::size_t> m_count{0};
    std::thread m_thread;
};

/// A client that connects and never reads, with a small receive buffer so that its connection
/// fills up quickly.
class StuckClient
{
public:
    explicit StuckClient(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
        sockaddr_in where = {};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(port));
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&where), sizeof(where)) == 0;
    }
    ~StuckClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }

private:
    int m_fd = -1;
    bool m_connected = false;
};

bool serving(const std::string& err)
{
    return err.find("OpenIGTLink server on") != std::string::npos &&
           err.find("Units to MM") != std::string::npos;
}

/// The --json pose lines by instrument name and timestamp (ms).
std::map<std::pair<std::string, std::uint64_t>, nlohmann::json> posesByNameAndTime(
    const std::vector<nlohmann::json>& lines)
{
    std::map<std::pair<std::string, std::uint64_t>, nlohmann::json> poses;
    for (const nlohmann::json& line : lines) {
        if (line.at("type") == "pose") {
            poses[{line.at("name").get<std::string>(), line.at("timestamp").get<std::uint64_t>()}] = line;
        }
    }
    return poses;
}

IgtlPose poseOf(const std::string& key, float x)
{
    IgtlPose pose;
    pose.key = key;
    pose.deviceName = key;
    pose.matrix[0][3] = x;
    return pose;
}

TEST(IgtlClientQueueTest, KeepsTheNewestPosePerInstrumentWithinItsBoundAndCountsTheRest)
{
    IgtlClientQueue queue(2);
    queue.offer({poseOf("a", 1.0f), poseOf("b", 1.0f)});
    queue.offer({poseOf("a", 2.0f), poseOf("c", 1.0f)});  // a replaced; c finds the queue full
    std::vector<IgtlPose> taken;
    ASSERT_TRUE(queue.take(taken, std::chrono::steady_clock::now()));
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].key, "a");
    EXPECT_EQ(taken[0].matrix[0][3], 2.0f);
    EXPECT_EQ(taken[1].key, "b");
    EXPECT_EQ(queue.missed(), 2u);
    EXPECT_FALSE(queue.take(taken, std::chrono::steady_clock::now())) << "nothing left";
    queue.offer({poseOf("c", 3.0f)});
    ASSERT_TRUE(queue.take(taken, std::chrono::steady_clock::now()));
    EXPECT_EQ(taken.size(), 1u);
    queue.close();
    queue.offer({poseOf("a", 4.0f)});
    EXPECT_FALSE(queue.take(taken, std::chrono::steady_clock::now() + 10s)) << "closed: returns at once";
}

TEST(IgtlDeviceNameTest, CutsToTwentyBytesBetweenCharacters)
{
    struct Row
    {
        std::string name;
        std::string device;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"Pointer", "Pointer"},
        {"exactly-twenty-bytes", "exactly-twenty-bytes"},
        {"twenty-one-bytes-long", "twenty-one-bytes-lon"},
        {"nineteen-bytes-long\xC3\xA9", "nineteen-bytes-long"},         // the 2-byte character would straddle
        {"eighteen-bytes-lon\xC3\xA9x", "eighteen-bytes-lon\xC3\xA9"},  // it fits exactly
        {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",
         "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(igtlDeviceName(row.name), row.device) << row.name;
    }
}

class QuorvaneHostIgtlTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_sim.start()); }

    std::vector<std::string> hostArguments(int port, double durationS)
    {
        return connectTo(m_sim) + std::vector<std::string>{"--json", "--duration", std::to_string(durationS),
                                                           "--igtl-port", std::to_string(port)};
    }

    NatNet::Sim::Simulator m_sim;
    NatNet::Sim::ScenarioConfig m_scenario;
};

TEST_F(QuorvaneHostIgtlTest, TwoClientsReceiveTheJsonPosesOfValidInstrumentsOnly)
{
    m_scenario.rigidBodies = 3;
    m_scenario.rateHz = 100.0;
    m_scenario.markers = true;      // the module names instruments after their marker sets
    m_scenario.invalidGaps = true;  // tracking lost now and then: those frames send nothing
    m_scenario.durationSeconds = 20.0;
    // The long name is cut to 20 bytes, inside a two-byte character: the cut goes before it.
    const std::string longName = "Instrument-long-nam\xC3\xA9-and-more";
    m_scenario.bodyNames = {"Pointer", longName, "Ref"};
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));

    const int port = freePort();
    HostProcess host(HostProcess::buildProgram("quorvane-host"), hostArguments(port, 3.0));
    ASSERT_TRUE(host.waitForError(serving, 10s));
    IgtlTestClient first(port);
    IgtlTestClient second(port);
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(second.connected());
    const HostProcess::Result result = host.finish(15s);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::vector<nlohmann::json> lines = jsonLines(result.out);
    const auto poses = posesByNameAndTime(lines);
    const bool someInvalid = std::any_of(poses.begin(), poses.end(),
                                         [](const auto& entry) { return entry.second.at("quality") <= 0.0; });
    EXPECT_TRUE(someInvalid) << "the run saw tracking lost, so that it shows nothing is sent then";
    std::map<std::string, std::string> fullName = {
        {"Pointer", "Pointer"}, {"Instrument-long-nam", longName}, {"Ref", "Ref"}};
    for (IgtlTestClient* client : {&first, &second}) {
        const std::vector<ReceivedTransform>& received = client->received();
        EXPECT_GT(received.size(), 300u) << "some 3 instruments x 100 Hz x 2.5 s";
        std::map<std::string, int> perName;
        for (const ReceivedTransform& transform : received) {
            ASSERT_EQ(fullName.count(transform.name), 1u) << "device name " << transform.name;
            ++perName[transform.name];
            const auto ms = static_cast<std::uint64_t>(std::llround(transform.timestampS * 1000.0));
            const auto line = poses.find({fullName[transform.name], ms});
            ASSERT_NE(line, poses.end()) << transform.name << " at " << ms << " ms is in no --json pose line";
            EXPECT_GT(line->second.at("quality").get<double>(), 0.0)
                << "a pose without valid tracking was sent";
            const nlohmann::json& pose = line->second.at("pose");  // column-major
            for (std::size_t row = 0; row < 4; ++row) {
                for (std::size_t column = 0; column < 4; ++column) {
                    const double expected = pose.at(column * 4 + row).get<double>();
                    EXPECT_NEAR(transform.matrix[row][column], expected,
                                1e-6 * std::max(1.0, std::fabs(expected)))
                        << transform.name << " [" << row << "][" << column << "]";
                }
            }
        }
        EXPECT_EQ(perName.size(), 3u) << "every instrument reached the client";
    }
    const nlohmann::json& summary = lines.back();
    ASSERT_EQ(summary.at("type"), "summary");
    EXPECT_EQ(summary.at("igtl").at("clients"), 2);
    EXPECT_EQ(summary.at("igtl").at("posesSent").get<std::uint64_t>(),
              first.received().size() + second.received().size());
}

TEST_F(QuorvaneHostIgtlTest, ClientThatNeverReadsOrLeavesCostsNeitherTheStreamNorTheOtherClient)
{
    constexpr double kRateHz = 1000.0;
    constexpr double kDurationS = 5.0;
    m_scenario.rigidBodies = 3;
    m_scenario.rateHz = kRateHz;
    m_scenario.markers = false;
    m_scenario.durationSeconds = 20.0;
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));

    const int port = freePort();
    HostProcess host(HostProcess::buildProgram("quorvane-host"), hostArguments(port, kDurationS));
    ASSERT_TRUE(host.waitForError(serving, 10s));
    StuckClient stuck(port);
    IgtlTestClient reader(port);
    IgtlTestClient leaver(port, 50);  // takes 50 transforms, then leaves mid-stream
    ASSERT_TRUE(stuck.connected());
    ASSERT_TRUE(reader.connected());
    ASSERT_TRUE(leaver.connected());
    EXPECT_EQ(leaver.received().size(), 50u);
    const HostProcess::Result result = host.finish(15s);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::vector<nlohmann::json> lines = jsonLines(result.out);
    const nlohmann::json& summary = lines.back();
    ASSERT_EQ(summary.at("type"), "summary");
    const auto frames = summary.at("frames").get<std::uint64_t>();
    // The frame path: the host took nearly every frame and printed them all.
    EXPECT_GT(frames, static_cast<std::uint64_t>(0.8 * kRateHz * kDurationS));
    EXPECT_EQ(summary.at("framesDropped"), 0);
    // The reading client: poses in every second from its first to the run's last, although another
    // client never read (a sender held up by that one would have starved it within a second). How
    // many it gets depends on the CPU the host's threads get (the newest pose wins when they fall
    // behind), so the claim is that the poses kept coming, not how many came.
    std::uint64_t runLastMs = 0;
    for (const nlohmann::json& line : lines) {
        if (line.at("type") == "pose") {
            runLastMs = std::max(runLastMs, line.at("timestamp").get<std::uint64_t>());
        }
    }
    std::set<std::uint64_t> secondsBeforeTheEnd;
    for (const ReceivedTransform& transform : reader.received()) {
        const auto ms = static_cast<std::uint64_t>(std::llround(transform.timestampS * 1000.0));
        secondsBeforeTheEnd.insert(ms <= runLastMs ? (runLastMs - ms) / 1000 : 0);
    }
    ASSERT_FALSE(secondsBeforeTheEnd.empty());
    for (std::uint64_t second = 0; second <= *secondsBeforeTheEnd.rbegin(); ++second) {
        EXPECT_EQ(secondsBeforeTheEnd.count(second), 1u)
            << "the reader got no pose " << second << " to " << second + 1 << " s before the run's last";
    }
    const nlohmann::json& igtl = summary.at("igtl");
    EXPECT_EQ(igtl.at("clients"), 3);
    EXPECT_GT(igtl.at("posesMissed").get<std::uint64_t>(), 0u) << "the stuck client missed poses";
}

TEST_F(QuorvaneHostIgtlTest, RateCapSendsAtMostTheNewestPosesAtThatRate)
{
    m_scenario.rigidBodies = 3;
    m_scenario.rateHz = 200.0;
    m_scenario.markers = false;
    m_scenario.durationSeconds = 20.0;
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));

    const int port = freePort();
    HostProcess host(HostProcess::buildProgram("quorvane-host"),
                     hostArguments(port, 2.0) + std::vector<std::string>{"--igtl-rate", "10"});
    ASSERT_TRUE(host.waitForError(serving, 10s));
    IgtlTestClient reader(port);
    ASSERT_TRUE(reader.connected());
    const HostProcess::Result result = host.finish(15s);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::size_t read = reader.received().size();
    // At most 10 batches a second of 3 instruments in some 2 s, plus the first batch.
    EXPECT_LE(read, 3u * (10u * 2u + 2u));
    EXPECT_GE(read, 3u * 5u) << "the newest poses still arrive";
    const nlohmann::json igtl = jsonLines(result.out).back().at("igtl");
    EXPECT_GT(igtl.at("posesMissed").get<std::uint64_t>(), read) << "most poses were replaced by newer ones";
}

TEST_F(QuorvaneHostIgtlTest, PortInUseEndsTheRunWithAClearError)
{
    m_scenario.markers = false;
    m_scenario.durationSeconds = 20.0;
    ASSERT_TRUE(m_sim.startStreaming(m_scenario));
    // Holds a port the host cannot listen on.
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(where);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&where), sizeof(where)), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&where), &length), 0);

    HostProcess host(HostProcess::buildProgram("quorvane-host"), hostArguments(ntohs(where.sin_port), 5.0));
    const HostProcess::Result result = host.finish(15s);
    ::close(taken);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("OpenIGTLink server: cannot listen on 127.0.0.1:"), std::string::npos)
        << result.err;
}

}  // namespace
}  // namespace Quorvane::Testing
