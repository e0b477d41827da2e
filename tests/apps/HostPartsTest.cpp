// The host's own pieces, without a running program: the bounded frame queue, the output that a
// stuck reader cannot block, text from the server in JSON and on a terminal, the listener
// guard, and the levels the NatNet library's messages get in the host log.

#include "FrameQueue.h"
#include "JsonLinesPrinter.h"
#include "LiveTablePrinter.h"
#include "OutputWriter.h"
#include "TerminalText.h"

#include <common/ListenerFailures.h>
#include <common/NatNetLogBridge.h>

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <NatNetTypes.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Host::FrameQueue;
using Host::FrameSnapshot;
using Host::OutputWriter;

std::vector<TrackingInstrument> instruments(int count, const std::string& name = "Probe")
{
    std::vector<TrackingInstrument> out;
    for (int i = 0; i < count; ++i) {
        out.emplace_back(TrackerID("optitrack-" + std::to_string(i + 1), "", name), true);
    }
    return out;
}

TEST(FrameQueue, HoldsAtMostItsBytesDropsTheRestUncopiedAndKeepsOrder)
{
    const std::size_t frameBytes = FrameQueue::bytesOf(FrameSnapshot{0, {}, instruments(3)});
    FrameQueue queue(10 * frameBytes);
    int copies = 0;
    for (int i = 0; i < 25; ++i) {
        queue.push(Clock::now(), [&] {
            ++copies;
            return instruments(3);
        });
        EXPECT_LE(queue.bytesHeld(), 10 * frameBytes);
    }
    EXPECT_EQ(queue.framesSeen(), 25u);
    EXPECT_EQ(queue.framesDropped(), 15u);
    EXPECT_EQ(copies, 10) << "a frame that cannot be kept is not copied";

    FrameSnapshot snapshot;
    for (std::uint64_t expected = 1; expected <= 10; ++expected) {
        ASSERT_TRUE(queue.pop(snapshot));
        EXPECT_EQ(snapshot.frame, expected);
        EXPECT_EQ(snapshot.instruments.size(), 3u);
    }
    EXPECT_FALSE(queue.pop(snapshot));
    EXPECT_EQ(queue.bytesHeld(), 0u);
    queue.push(Clock::now(), [] { return instruments(3); });
    ASSERT_TRUE(queue.pop(snapshot));
    EXPECT_EQ(snapshot.frame, 26u) << "numbers go on across drops";
}

TEST(FrameQueue, AFrameLargerThanTheWholeBudgetStillPassesAlone)
{
    FrameQueue queue(64);
    queue.push(Clock::now(), [] { return instruments(50); });
    queue.push(Clock::now(), [] { return instruments(50); });
    EXPECT_EQ(queue.framesDropped(), 1u);
    FrameSnapshot snapshot;
    ASSERT_TRUE(queue.pop(snapshot));
    EXPECT_EQ(snapshot.instruments.size(), 50u);
}

class Pipe
{
public:
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }
    void closeEnd(int end)
    {
        if (fds[end] >= 0) {
            ::close(fds[end]);
            fds[end] = -1;
        }
    }
    int fds[2] = {-1, -1};
};

TEST(OutputWriter, AReaderThatNeverReadsHoldsNeitherFlushNorDestruction)
{
    std::signal(SIGPIPE, SIG_IGN);  // as quorvane-host does; the thread left behind ends with EPIPE
    Pipe pipe;
    const Clock::time_point start = Clock::now();
    {
        OutputWriter output(pipe.fds[1], 1 << 16);
        EXPECT_TRUE(output.hasRoom());
        output.write(std::string(1 << 20, 'x'));  // far more than the pipe holds
        EXPECT_FALSE(output.hasRoom());
        EXPECT_FALSE(output.flush(Clock::now() + 100ms));
        EXPECT_GT(output.pendingBytes(), 0u);
        EXPECT_FALSE(output.failed());
    }  // the writer thread, stuck in write(), is left behind
    EXPECT_LT(Clock::now() - start, 2s);
    pipe.closeRead();  // lets the thread that was left behind end (its write fails)
}

TEST(OutputWriter, WritesEverythingInOrderToAReader)
{
    Pipe pipe;
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(pipe.fds[0], buffer, sizeof buffer)) > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    std::string sent;
    {
        OutputWriter output(pipe.fds[1], 1 << 12);
        for (int i = 0; i < 2000; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            sent += line;
            output.write(line);
        }
        EXPECT_TRUE(output.flush(Clock::now() + 10s));
    }
    pipe.closeWrite();  // the reader's end of file
    reader.join();
    EXPECT_EQ(received, sent);
}

TEST(OutputWriter, AClosedReaderMakesItFailInsteadOfKillingTheProcess)
{
    std::signal(SIGPIPE, SIG_IGN);  // as quorvane-host does
    Pipe pipe;
    pipe.closeRead();
    OutputWriter output(pipe.fds[1], 1 << 12);
    output.write("lost\n");
    EXPECT_FALSE(output.flush(Clock::now() + 10s));
    EXPECT_TRUE(output.failed());
    output.write("ignored\n");
    EXPECT_EQ(output.pendingBytes(), 0u);
}

TEST(TerminalText, ControlsAndBytesThatAreNotUtf8AreEscapedTheRestKept)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Probe", "Probe"},
        {"Esc\x1b[2J", "Esc\\x1B[2J"},
        {"a\rb\nc\td", "a\\x0Db\\x0Ac\\x09d"},
        {"del\x7f", "del\\x7F"},
        {"Sond\xE9", "Sond\\xE9"},                 // Latin-1, not UTF-8
        {"Sond\xC3\xA9", "Sond\xC3\xA9"},          // UTF-8 "é" stays
        {"csi\xC2\x9B", "csi\\u009B"},             // C1 control written as UTF-8
        {"raw\x9B", "raw\\x9B"},                   // C1 byte on its own
        {"cut\xE2\x82", "cut\\xE2\\x82"},          // a sequence cut short
        {"over\xC0\xAF", "over\\xC0\\xAF"},        // overlong "/"
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four bytes
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(Host::terminalSafe(text), expected) << text;
    }
}

TEST(TerminalText, ColumnsAreCutAtCharacterBoundaries)
{
    EXPECT_EQ(Host::fitColumn("short", 8), "short");
    EXPECT_EQ(Host::fitColumn("exactly8", 8), "exactly8");
    EXPECT_EQ(Host::fitColumn("longer than eight", 8), "longer ~");
    EXPECT_EQ(Host::fitColumn("abcdef\xC3\xA9xyz", 8), "abcdef~") << "not inside the two bytes of \"é\"";
}

TEST(LiveTablePrinter, TableCellsCarryNoRawControls)
{
    std::vector<TrackingInstrument> list = instruments(1, "Esc\x1b[2J\rX");
    const std::vector<std::string> lines = Host::LiveTablePrinter::formatTable(list, 1, Clock::now());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].find('\x1b'), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("Esc\\x1B[2J\\x0DX"), std::string::npos) << lines[2];
}

TEST(JsonLinesPrinter, NamesThatAreNotUtf8BecomeReplacementCharacters)
{
    std::ostringstream out;
    Host::JsonLinesPrinter printer(out);
    FrameSnapshot snapshot{1, Clock::now(), instruments(1, "Sond\xE9")};
    snapshot.instruments[0].updateCount = 1;
    Host::FrameChanges changes;
    changes.added = {0};
    changes.updated = {0};
    ASSERT_NO_THROW(printer.frame(snapshot, changes));
    Host::RunSummary summary;
    summary.instruments.push_back({"optitrack-1", "Sond\xE9", 1, 0.0, 0.5});
    ASSERT_NO_THROW(printer.finish(summary, Clock::now()));

    std::istringstream lines(out.str());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const nlohmann::json parsed = nlohmann::json::parse(line);
        const nlohmann::json& named = parsed.at("type") == "summary" ? parsed.at("instruments")[0] : parsed;
        EXPECT_EQ(named.at("name"), "Sond\xEF\xBF\xBD") << line;
        ++count;
    }
    EXPECT_EQ(count, 3);  // added, pose, summary
}

TEST(ListenerFailures, CatchesCountsAndLogsTheFirstOnly)
{
    ScopedLogCapture capture(0);
    AppsCommon::ListenerFailures failures("quorvane-host", "the update listener");
    int ran = 0;
    failures.guard([&] { ++ran; });
    failures.guard([] { throw std::runtime_error("[json.exception.type_error.316] invalid UTF-8 byte"); });
    failures.guard([] { throw 42; });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(failures.count(), 2u);
    ASSERT_EQ(capture.sink().size(), 1u);
    const RecordingLogSink::Record record = capture.sink().records()[0];
    EXPECT_EQ(record.level, 4);
    EXPECT_EQ(record.category, "quorvane-host");
    EXPECT_NE(record.text.find("the update listener failed: [json.exception.type_error.316]"),
              std::string::npos)
        << record.text;
}

TEST(NatNetLogBridge, LibraryVerbositiesMapToHostLevels)
{
    EXPECT_EQ(AppsCommon::hostLogLevel(Verbosity_Error), 4);
    EXPECT_EQ(AppsCommon::hostLogLevel(Verbosity_Warning), 3);
    EXPECT_EQ(AppsCommon::hostLogLevel(Verbosity_Info), 2);
    EXPECT_EQ(AppsCommon::hostLogLevel(Verbosity_Debug), 0);
    EXPECT_EQ(AppsCommon::hostLogLevel(Verbosity_None), -1);
    EXPECT_EQ(AppsCommon::hostLogLevel(17), -1);
}

}  // namespace
}  // namespace Quorvane
