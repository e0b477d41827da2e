// natnet-dump's pieces: the capture reader (link types, fragments, padding),
// the JSON description of a whole real session, and the live listener.
#include "CaptureFile.h"
#include "CaptureReader.h"
#include "DatagramDescriber.h"
#include "TestData.h"
#include "UdpListener.h"
#include "natnet/transport/Ipv4Text.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace NatNet;
using NatNetTest::CaptureFile;
using NatNetTest::cooked;
using NatNetTest::ipv4;
using NatNetTest::udp;
using nlohmann::json;

namespace {

TEST(NatNetDump, TrafficCaptureSession)
{
    Dump::CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(NatNetTest::capturePath("python_natnet/traffic.pcapng"), error)) << error;
    Dump::DatagramDescriber describer(Wire::Version(2, 5), false);  // the server info must correct this
    std::map<std::string, int> kinds;
    std::vector<json> frames;
    json modelDef;
    Dump::UdpDatagram udp;
    while (reader.next(udp)) {
        if (udp.sourcePort != 1510 && udp.sourcePort != 1511 && udp.destinationPort != 1510 &&
            udp.destinationPort != 1511) {
            continue;
        }
        EXPECT_FALSE(udp.truncated);
        json line = describer.describe(udp.payload.data(), udp.payload.size());
        EXPECT_FALSE(line.contains("status")) << line.dump();
        const std::string kind = line["message"];
        ++kinds[kind];
        if (kind == "frameOfData") frames.push_back(line);
        if (kind == "modelDef") modelDef = line;
    }
    EXPECT_EQ(describer.version().major, 3);
    EXPECT_EQ(describer.badDatagrams(), 0u);
    EXPECT_EQ(kinds["discovery"], 1);
    EXPECT_EQ(kinds["connect"], 1);
    EXPECT_EQ(kinds["serverInfo"], 2);
    EXPECT_EQ(kinds["request"], 4);
    EXPECT_EQ(kinds["response"], 3);
    EXPECT_EQ(kinds["unrecognizedRequest"], 1);
    EXPECT_EQ(kinds["requestModelDef"], 1);
    EXPECT_EQ(kinds["modelDef"], 1);
    EXPECT_EQ(kinds["echoRequest"], 9);
    EXPECT_EQ(kinds["echoResponse"], 9);
    ASSERT_EQ(frames.size(), 518u);
    EXPECT_EQ(frames.front()["frameNumber"], 162734);
    EXPECT_EQ(frames.back()["frameNumber"], 163251);
    EXPECT_DOUBLE_EQ(frames.front()["timestamp"].get<double>(), 1356.1166666666666);
    const json& body = frames.front()["rigidBodies"][0];
    EXPECT_EQ(body["id"], 2);
    EXPECT_FLOAT_EQ(body["x"].get<float>(), 0.1744466f);
    EXPECT_FLOAT_EQ(body["qw"].get<float>(), -0.8573577f);
    EXPECT_FLOAT_EQ(body["meanError"].get<float>(), 0.0005152203f);
    EXPECT_EQ(body["tracked"], true);
    ASSERT_EQ(modelDef["descriptions"].size(), 3u);
    EXPECT_EQ(modelDef["descriptions"][0]["name"], "RaceQuad");
    EXPECT_EQ(modelDef["descriptions"][2]["markers"][4], "RaceQuad_5");
}

TEST(NatNetDump, BadDatagramsNameTheirStatus)
{
    Dump::DatagramDescriber describer(Wire::Version(3, 0), false);
    const std::vector<uint8_t> frame = NatNetTest::readCapture("python_natnet/mocapframe_packet_v3.bin");

    const uint8_t tiny[2] = {7, 0};
    json line = describer.describe(tiny, sizeof tiny);
    EXPECT_EQ(line["message"], "invalid");
    EXPECT_EQ(line["status"], "Truncated");

    std::vector<uint8_t> cut(frame.begin(), frame.end() - 10);  // header still claims 332 bytes
    EXPECT_EQ(describer.describe(cut.data(), cut.size())["status"], "Truncated");

    std::vector<uint8_t> badTag = frame;
    badTag.back() = 1;
    EXPECT_EQ(describer.describe(badTag.data(), badTag.size())["status"], "MissingEndTag");

    const uint8_t unknown[4] = {77, 0, 0, 0};
    line = describer.describe(unknown, sizeof unknown);
    EXPECT_EQ(line["message"], "unknown");
    EXPECT_EQ(line["status"], "UnknownMessage");
    EXPECT_EQ(describer.badDatagrams(), 4u);

    // The same frame read with a forced 4.1 layout does not decode; server
    // information cannot change a forced version.
    Dump::DatagramDescriber forced(Wire::Version(4, 1), true);
    const std::vector<uint8_t> info = NatNetTest::readCapture("python_natnet/serverinfo_packet_v3.bin");
    forced.describe(info.data(), info.size());
    EXPECT_EQ(forced.version().minor, 1);
    EXPECT_TRUE(forced.describe(frame.data(), frame.size()).contains("status"));
}

TEST(NatNetDump, VersionFollowsTheServerInformation)
{
    Dump::DatagramDescriber describer(Wire::Version(3, 0), false);
    const std::vector<uint8_t> info = NatNetTest::readCapture("python-optirx/frame-motive-1.9.0-000.bin");
    const std::vector<uint8_t> frame = NatNetTest::readCapture("python-optirx/frame-motive-1.9.0-001.bin");
    EXPECT_TRUE(describer.describe(frame.data(), frame.size()).contains("status"))
        << "3.0 rules misread a 2.9 frame";
    describer.describe(info.data(), info.size());
    const json line = describer.describe(frame.data(), frame.size());
    EXPECT_FALSE(line.contains("status")) << line.dump();
    EXPECT_EQ(line["frameNumber"], 11823217);
    EXPECT_EQ(line["bitstream"], "2.9");
}

TEST(NatNetDump, CaptureReaderLinkTypesFragmentsAndPadding)
{
    std::vector<uint8_t> payload(3000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
    const std::vector<uint8_t> whole = udp(1511, 1511, payload);

    // Linux cooked capture: a datagram in three fragments, the last one first,
    // then a short datagram whose frame carries padding after the UDP length.
    CaptureFile file(DLT_LINUX_SLL, "natnet-dump-sll");
    const std::vector<uint8_t> a(whole.begin(), whole.begin() + 1480);
    const std::vector<uint8_t> b(whole.begin() + 1480, whole.begin() + 2960);
    const std::vector<uint8_t> c(whole.begin() + 2960, whole.end());
    file.add(cooked(ipv4(42, 2960, false, c)));
    file.add(cooked(ipv4(42, 0, true, a)));
    file.add(cooked(ipv4(42, 1480, true, b)));
    std::vector<uint8_t> small = cooked(ipv4(43, 0, false, udp(1510, 50000, {0x0A, 0, 0, 0})));
    small.insert(small.end(), 20, 0xEE);  // capture padding
    file.add(small);
    file.add(cooked(std::vector<uint8_t>(20, 0x60)));  // IPv6-shaped garbage
    file.close();

    Dump::CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file.path(), error)) << error;
    Dump::UdpDatagram d;
    ASSERT_TRUE(reader.next(d));
    EXPECT_EQ(d.payload, payload);
    EXPECT_EQ(Net::formatIpv4(d.sourceAddress), "127.0.0.2");
    EXPECT_EQ(d.destinationPort, 1511);
    ASSERT_TRUE(reader.next(d));
    EXPECT_EQ(d.payload, (std::vector<uint8_t>{0x0A, 0, 0, 0})) << "padding is not payload";
    EXPECT_EQ(d.sourcePort, 1510);
    EXPECT_FALSE(reader.next(d));
    EXPECT_EQ(reader.packetsSkipped(), 1u);

    CaptureFile unsupported(DLT_IEEE802_11, "natnet-dump-wifi");
    unsupported.close();
    Dump::CaptureReader wifi;
    EXPECT_FALSE(wifi.open(unsupported.path(), error));
    EXPECT_FALSE(wifi.open("/nonexistent/capture.pcap", error));
}

TEST(NatNetDump, ListenerReceivesOnLoopback)
{
    Dump::UdpListener listener;
    std::string error;
    ASSERT_TRUE(listener.open(0, "", "127.0.0.1", error)) << error;
    ASSERT_NE(listener.boundPort(), 0);

    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(sender, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(listener.boundPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::vector<uint8_t> keepAlive = {10, 0, 0, 0};
    ASSERT_EQ(::sendto(sender, keepAlive.data(), keepAlive.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to),
              4);
    std::vector<uint8_t> received;
    uint32_t from = 0;
    uint16_t fromPort = 0;
    ASSERT_TRUE(listener.receive(received, from, fromPort, 3000));
    EXPECT_EQ(received, keepAlive);
    EXPECT_EQ(Net::formatIpv4(from), "127.0.0.1");
    EXPECT_FALSE(listener.receive(received, from, fromPort, 10)) << "nothing else arrives";
    ::close(sender);

    Dump::UdpListener bad;
    EXPECT_FALSE(bad.open(0, "not-an-address", "", error));
}

}  // namespace
