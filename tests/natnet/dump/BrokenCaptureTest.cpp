// Captures that libpcap cannot read to the end, and captures crafted to make a
// reader keep or redo work: each is reported, and none costs more than its size.
#include "CaptureDump.h"
#include "CaptureFile.h"
#include "CaptureReader.h"
#include "DatagramDescriber.h"
#include "ExitCode.h"

#include "natnet/sim/Capture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

using namespace NatNet;
using NatNetTest::CaptureFile;
using NatNetTest::cooked;
using NatNetTest::ipv4;
using NatNetTest::recordHeader;
using NatNetTest::udp;

namespace {

const std::vector<uint8_t> kKeepAlive = {10, 0, 0, 0};  // a NatNet keep-alive, no payload

struct BrokenCase
{
    std::string name;
    std::vector<uint8_t> tail;  // raw bytes after two good records
    std::string message;        // part of libpcap's text
};

std::vector<BrokenCase> brokenCases()
{
    std::vector<uint8_t> cutRecord = recordHeader(100, 100);
    cutRecord.insert(cutRecord.end(), 10, 0x45);
    return {
        {"a record length of 0xFFFFFFFF", recordHeader(0xFFFFFFFFu, 0xFFFFFFFFu),
         "invalid packet capture length"},
        {"a record past the end of the file", cutRecord, "truncated dump file"},
        {"a record header cut short", std::vector<uint8_t>(7, 0), "truncated dump file"},
    };
}

void writeBroken(CaptureFile& file, const std::vector<uint8_t>& tail)
{
    file.add(cooked(ipv4(1, 0, false, udp(1510, 50000, kKeepAlive))), 1.0);
    file.add(cooked(ipv4(2, 0, false, udp(50000, 1510, kKeepAlive))), 2.0);
    file.close();
    file.appendRaw(tail);
}

// Each broken capture, read by the capture reader, by natnet-dump and by the replay.
class BrokenCaptureFile : public ::testing::TestWithParam<BrokenCase>
{
protected:
    void SetUp() override { writeBroken(m_file, GetParam().tail); }

    CaptureFile m_file{DLT_LINUX_SLL, "natnet-broken"};
};

TEST_P(BrokenCaptureFile, TheReaderStopsWithLibpcapsMessage)
{
    Dump::CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(m_file.path(), error)) << error;
    Dump::UdpDatagram datagram;
    int read = 0;
    while (reader.next(datagram)) {
        ++read;
    }
    EXPECT_EQ(read, 2) << "the records before the broken one are read";
    ASSERT_TRUE(reader.failed());
    EXPECT_NE(reader.error().find(GetParam().message), std::string::npos) << reader.error();
    EXPECT_FALSE(reader.next(datagram)) << "nothing after the break";
}

TEST_P(BrokenCaptureFile, NatNetDumpPrintsWhatCameBeforeAndExitsWithItsCode)
{
    Dump::DatagramDescriber describer(Wire::Version(3, 0), false);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(Dump::dumpCapture(m_file.path(), {{1510, 1511}, 0}, describer, out, err),
              Dump::kExitBrokenCapture);
    EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(m_file.path()), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("\"source\":\"127.0.0.2:50000\""), std::string::npos) << out.str();
}

TEST_P(BrokenCaptureFile, TheReplayRefusesTheFile)
{
    std::string error;
    EXPECT_FALSE(Sim::Capture::read(m_file.path(), &error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenCaptureFile, ::testing::ValuesIn(brokenCases()),
                         [](const ::testing::TestParamInfo<BrokenCase>& row) {
                             std::string name = row.param.name;
                             for (char& ch : name) {
                                 if (std::isalnum(static_cast<unsigned char>(ch)) == 0) ch = '_';
                             }
                             return name;
                         });

// The same two records without the broken tail: natnet-dump reads to the end and counts them.
TEST(BrokenCapture, NatNetDumpReadsTheSameRecordsUnbrokenToTheEnd)
{
    CaptureFile whole(DLT_LINUX_SLL, "natnet-whole-dump");
    writeBroken(whole, {});
    Dump::DatagramDescriber describer(Wire::Version(3, 0), false);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(Dump::dumpCapture(whole.path(), {{1510}, 0}, describer, out, err), Dump::kExitOk) << err.str();
    EXPECT_NE(err.str().find("2 records, 2 NatNet datagrams"), std::string::npos) << err.str();
    std::ostringstream none;
    std::ostringstream counted;
    EXPECT_EQ(Dump::dumpCapture(whole.path(), {{1511}, 0}, describer, none, counted), Dump::kExitOk);
    EXPECT_EQ(none.str(), "");
    EXPECT_NE(counted.str().find("0 NatNet datagrams (0 undecodable), 2 UDP datagrams on other ports"),
              std::string::npos)
        << counted.str();
}

// A capture of nothing but fragments that never complete, each datagram in
// many pieces with its first piece missing: read in one pass, within the caps,
// and every dropped datagram counted in natnet-dump's summary.
TEST(BrokenCapture, NeverCompletingFragmentsAreReadInLinearWork)
{
    constexpr uint16_t kDatagrams = 300;
    constexpr size_t kPieces = 20;
    constexpr size_t kPiece = 200;
    CaptureFile file(DLT_LINUX_SLL, "natnet-fragment-flood");
    const std::vector<uint8_t> piece(kPiece, 0xA5);
    for (uint16_t id = 0; id < kDatagrams; ++id) {
        file.add(cooked(ipv4(id, kPieces * kPiece, false, piece)));
        for (size_t i = 1; i < kPieces; ++i) {
            file.add(cooked(ipv4(id, i * kPiece, true, piece)));
        }
    }
    file.add(cooked(ipv4(9999, 0, false, udp(1511, 1511, kKeepAlive))));
    file.close();

    Dump::CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file.path(), error)) << error;
    Dump::UdpDatagram datagram;
    ASSERT_TRUE(reader.next(datagram));
    EXPECT_EQ(datagram.payload, kKeepAlive);
    EXPECT_FALSE(reader.next(datagram));
    EXPECT_FALSE(reader.failed());
    const Pcap::FragmentCounters& counters = reader.fragments().counters();
    const Pcap::FragmentLimits limits;
    EXPECT_EQ(counters.fragments, size_t{kDatagrams} * kPieces);
    EXPECT_EQ(counters.bytesExamined, size_t{kDatagrams} * kPieces * kPiece) << "each byte looked at once";
    EXPECT_EQ(counters.reassembled, 0u);
    EXPECT_EQ(counters.evicted + reader.fragments().pendingDatagrams(), kDatagrams);
    EXPECT_LE(counters.peakDatagrams, limits.maxDatagrams);
    EXPECT_LE(counters.peakBytes, limits.maxTotalBytes);

    Dump::DatagramDescriber describer(Wire::Version(3, 0), false);
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(Dump::dumpCapture(file.path(), {{1511}, 0}, describer, out, err), Dump::kExitOk) << err.str();
    EXPECT_NE(err.str().find(std::to_string(kDatagrams - limits.maxDatagrams) + " evicted"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(std::to_string(limits.maxDatagrams) + " at the end"), std::string::npos)
        << err.str();
}

}  // namespace
