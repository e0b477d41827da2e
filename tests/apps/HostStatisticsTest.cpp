// The arithmetic and the input checks of quorvane-host: run statistics over frames (with gaps
// and updates the printer never saw), --set parsing of bad input, and the frame queue's drop
// counting when frames grow.

#include "FrameQueue.h"
#include "RunStatistics.h"
#include "SettingParser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Host::FrameSnapshot;

TrackingInstrument instrument(const std::string& id, std::uint64_t updates, double quality)
{
    TrackingInstrument out(TrackerID(id, "", "Name of " + id), true);
    out.updateCount = updates;
    out.quality = quality;
    return out;
}

TEST(RunStatistics, CountsFramesUpdatesAndRatesAcrossGaps)
{
    const Clock::time_point start = Clock::now();
    Host::RunStatistics statistics(start);
    // Frame numbers 1, 2 and 5 (3 and 4 dropped before printing); the store's counters go on.
    const Host::FrameChanges first =
        statistics.apply(FrameSnapshot{1, start + 1s, {instrument("a", 10, 0.5)}});
    EXPECT_EQ(first.added, std::vector<std::size_t>{0});
    EXPECT_EQ(first.updated, std::vector<std::size_t>{0}) << "the pose this frame shows counts";
    const Host::FrameChanges second = statistics.apply(
        FrameSnapshot{2, start + 1500ms, {instrument("a", 10, 0.5), instrument("b", 0, 0.0)}});
    EXPECT_EQ(second.added, std::vector<std::size_t>{1});
    EXPECT_TRUE(second.updated.empty()) << "a not updated, b never";
    const Host::FrameChanges third =
        statistics.apply(FrameSnapshot{5, start + 3s, {instrument("a", 13, 0.25), instrument("b", 2, 0.75)}});
    EXPECT_TRUE(third.added.empty());
    EXPECT_EQ(third.updated, (std::vector<std::size_t>{0, 1}));
    statistics.setFrameCounts(6, 1);

    const Host::RunSummary summary = statistics.summary(start + 4s);
    EXPECT_EQ(summary.frames, 6u);
    EXPECT_EQ(summary.framesDropped, 1u);
    EXPECT_DOUBLE_EQ(summary.durationS, 4.0);
    EXPECT_DOUBLE_EQ(summary.frameRateHz, 2.0) << "frames 1 to 5 in 2 s: 4 intervals";
    ASSERT_EQ(summary.instruments.size(), 2u);
    EXPECT_EQ(summary.instruments[0].id, "a");
    EXPECT_EQ(summary.instruments[0].name, "Name of a");
    EXPECT_EQ(summary.instruments[0].updates, 4u) << "1 seen, then 3 more by the counter";
    EXPECT_DOUBLE_EQ(summary.instruments[0].rateHz, 1.5) << "4 updates in 2 s: 3 intervals";
    EXPECT_DOUBLE_EQ(summary.instruments[0].lastQuality, 0.25);
    EXPECT_EQ(summary.instruments[1].id, "b");
    EXPECT_EQ(summary.instruments[1].updates, 2u);
    EXPECT_DOUBLE_EQ(summary.instruments[1].rateHz, 0.0) << "both updates seen at one moment";
    EXPECT_DOUBLE_EQ(summary.instruments[1].lastQuality, 0.75);
}

TEST(RunStatistics, FewerThanTwoFramesHaveNoRate)
{
    const Clock::time_point start = Clock::now();
    Host::RunStatistics none(start);
    Host::RunSummary summary = none.summary(start + 2s);
    EXPECT_EQ(summary.frames, 0u);
    EXPECT_EQ(summary.frameRateHz, 0.0);
    EXPECT_TRUE(summary.instruments.empty());

    Host::RunStatistics one(start);
    one.apply(FrameSnapshot{1, start, {instrument("a", 1, 1.0)}});
    one.setFrameCounts(0, 0);  // a smaller count from the listener never lowers what was seen
    summary = one.summary(start + 1s);
    EXPECT_EQ(summary.frames, 1u);
    EXPECT_EQ(summary.frameRateHz, 0.0);
    EXPECT_EQ(summary.instruments.at(0).rateHz, 0.0);
}

TEST(SettingParser, BadInputIsRefusedWithTheKeyAndNothingStored)
{
    // The assignment, and what the error must say.
    const std::pair<const char*, const char*> rows[] = {
        {"", "expected key=value"},
        {"commandPort", "expected key=value"},
        {"=1510", "expected key=value"},
        {"commandport=1510", "unknown key \"commandport\""},
        {"nosuchkey=1", "known keys: localAddress"},
        {"commandPort=70000", "\"commandPort\" expects an unsigned short"},
        {"commandPort=-1", "\"commandPort\" expects an unsigned short"},
        {"dataPort=", "\"dataPort\" expects an unsigned short"},
        {"dataPort=1511x", "\"dataPort\" expects an unsigned short"},
        {"dataPort=0x5E7", "\"dataPort\" expects an unsigned short"},
        {"connectionType=broadcast", R"("unicast" (1) or "multicast" (0))"},
        {"connectionType=99999999999", "\"connectionType\" expects an int"},
        {"open=yes", "\"open\" expects a bool"},
        {"start=", "\"start\" expects a bool"},
    };
    for (const auto& [assignment, inError] : rows) {
        SCOPED_TRACE(assignment);
        Properties out;
        std::string error;
        EXPECT_FALSE(Host::parseSetting(assignment, out, error));
        EXPECT_NE(error.find(inError), std::string::npos) << error;
        EXPECT_EQ(out.size(), 0u);
    }
}

TEST(SettingParser, GoodInputIsStoredWithTheKeysType)
{
    Properties out;
    std::string error;
    for (const char* assignment : {"commandPort=65535", "dataPort=0", "connectionType=Multicast",
                                   "serverAddress=", "open=0", "localAddress=a=b"}) {
        EXPECT_TRUE(Host::parseSetting(assignment, out, error)) << assignment << ": " << error;
    }
    unsigned short port = 0;
    EXPECT_TRUE(out.param("commandPort", port));
    EXPECT_EQ(port, 65535);
    int connection = -1;
    EXPECT_TRUE(out.param("connectionType", connection));
    EXPECT_EQ(connection, 0);
    std::string text = "x";
    EXPECT_TRUE(out.param("serverAddress", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(out.param("localAddress", text));
    EXPECT_EQ(text, "a=b") << "only the first '=' splits";
    bool open = true;
    EXPECT_TRUE(out.param("open", open));
    EXPECT_FALSE(open);

    Host::addDefaultFlags(out);
    EXPECT_FALSE(out.param("open", open) && open) << "a given flag is kept";
    bool start = false;
    EXPECT_TRUE(out.param("start", start) && start);
}

TEST(FrameQueue, FramesThatGrowAreDroppedAndCountedWithoutPassingTheBudget)
{
    const auto list = [](int count) {
        std::vector<TrackingInstrument> out(static_cast<std::size_t>(count));
        return out;
    };
    const std::size_t small = Host::FrameQueue::bytesOf(FrameSnapshot{0, {}, list(2)});
    Host::FrameQueue queue(3 * small);
    int copies = 0;
    for (int count : {2, 2, 8, 2, 2}) {
        queue.push(Clock::now(), [&] {
            ++copies;
            return list(count);
        });
        EXPECT_LE(queue.bytesHeld(), 3 * small);
    }
    // 2, 2 kept; 8 copied but too large for what is left; the next ones are expected to be as
    // large as that one and are dropped uncopied while the reader has not made room.
    EXPECT_EQ(queue.framesSeen(), 5u);
    EXPECT_EQ(queue.framesDropped(), 3u);
    EXPECT_EQ(copies, 3);
    FrameSnapshot snapshot;
    std::vector<std::uint64_t> kept;
    while (queue.pop(snapshot)) {
        kept.push_back(snapshot.frame);
    }
    EXPECT_EQ(kept, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(queue.bytesHeld(), 0u);
    queue.push(Clock::now(), [&] { return list(8); });  // an empty queue takes any frame
    ASSERT_TRUE(queue.pop(snapshot));
    EXPECT_EQ(snapshot.frame, 6u);
}

}  // namespace
}  // namespace Quorvane
