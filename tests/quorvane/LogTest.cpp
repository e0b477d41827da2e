#include <Quorvane/Core/ConsoleLogSink.h>
#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

using Record = RecordingLogSink::Record;

TEST(Log, DefaultsToLevelTwoWithTheConsoleInstalled)
{
    EXPECT_EQ(Log::g_globalLevel, 2);
    EXPECT_TRUE(Log::categoryLevels().empty());
    EXPECT_FALSE(Log::isAccepted(1, "Any"));
    EXPECT_TRUE(Log::isAccepted(2, "Any"));
    // The console sink is installed: removing it succeeds once.
    ASSERT_TRUE(Log::removeSink(Log::consoleSink()));
    EXPECT_FALSE(Log::removeSink(Log::consoleSink()));
    Log::addSink(Log::consoleSink());
}

TEST(Log, DeliversAcceptedMessagesWithLevelCategoryAndText)
{
    ScopedLogCapture capture(2);
    Log::log(1, "Cat", "too low", "", -1);
    Log::log(2, "Cat", "info", "", -1);
    Log::log(4, "", "failure", "file.cpp", 12);
    EXPECT_EQ(capture.sink().records(), (std::vector<Record>{{2, "Cat", "info"}, {4, "", "failure"}}));
}

TEST(Log, CategoryThresholdsOverrideTheGlobalLevel)
{
    ScopedLogCapture capture(2);
    Log::setCategoryLevel("Chatty", 4);
    Log::setCategoryLevel("Detailed", 0);

    EXPECT_FALSE(Log::isAccepted(3, "Chatty"));               // text overload
    EXPECT_FALSE(Log::isAccepted(3, std::string("Chatty")));  // string overload, same answer
    EXPECT_TRUE(Log::isAccepted(4, "Chatty"));
    EXPECT_TRUE(Log::isAccepted(2, static_cast<const char*>(nullptr)));  // null reads as ""
    EXPECT_TRUE(Log::isAccepted(0, "Detailed"));
    EXPECT_FALSE(Log::isAccepted(1, "Other"));  // others still follow the global level
    EXPECT_TRUE(Log::isAccepted(2, "Other"));

    Log::log(3, "Chatty", "dropped", "", -1);
    Log::log(0, "Detailed", "kept", "", -1);
    EXPECT_EQ(capture.sink().records(), (std::vector<Record>{{0, "Detailed", "kept"}}));

    Log::clearCategoryLevel("Chatty");
    EXPECT_TRUE(Log::isAccepted(3, "Chatty"));
    EXPECT_EQ(Log::categoryLevels(), (std::map<std::string, int>{{"Detailed", 0}}));
}

TEST(Log, TheGuardBuildsNothingWhenTheLevelIsOff)
{
    ScopedLogCapture capture(3);
    int built = 0;
    auto text = [&] {
        ++built;
        return std::string("expensive");
    };
    QUORVANE_LOG(2, "Cat", text());
    EXPECT_EQ(built, 0);
    QUORVANE_LOG(3, "Cat", text() << ' ' << 42);
    EXPECT_EQ(built, 1);
    EXPECT_EQ(capture.sink().count(3, "Cat", "expensive 42"), 1u);
}

TEST(ScopedLogCapture, RestoresLevelsThresholdsAndSinks)
{
    Log::g_globalLevel = 3;
    Log::setCategoryLevel("Kept", 1);
    {
        ScopedLogCapture capture(0);
        EXPECT_EQ(Log::g_globalLevel, 0);
        Log::setCategoryLevel("Temporary", 4);
        Log::clearCategoryLevel("Kept");
        // The console is silenced while the capture lives.
        EXPECT_FALSE(Log::removeSink(Log::consoleSink()));
        {
            ScopedLogCapture inner(1);  // nested: both sinks record
            Log::log(1, "X", "both", "", -1);
            EXPECT_EQ(inner.sink().count("both"), 1u);
        }
        EXPECT_EQ(capture.sink().count("both"), 1u);
        EXPECT_EQ(Log::g_globalLevel, 0);
    }
    EXPECT_EQ(Log::g_globalLevel, 3);
    EXPECT_EQ(Log::categoryLevels(), (std::map<std::string, int>{{"Kept", 1}}));
    EXPECT_TRUE(Log::removeSink(Log::consoleSink()));  // back in place
    Log::addSink(Log::consoleSink());
    Log::setCategoryLevels({});
    Log::g_globalLevel = 2;
}

class ThrowingSink : public LogSink
{
public:
    void write(const LogEntry&) override { throw std::runtime_error("sink broken"); }
};

TEST(Log, AThrowingSinkDoesNotStopTheOthersOrTheCaller)
{
    ScopedLogCapture capture(0);
    auto broken = std::make_shared<ThrowingSink>();
    Log::addSink(broken);
    Log::addSink(broken);  // kept once
    auto second = std::make_shared<RecordingLogSink>();
    Log::addSink(second);
    EXPECT_NO_THROW(Log::log(2, "", "still delivered", "", -1));
    EXPECT_EQ(capture.sink().count("still delivered"), 1u);
    EXPECT_EQ(second->count("still delivered"), 1u);
    EXPECT_TRUE(Log::removeSink(broken));
    EXPECT_FALSE(Log::removeSink(broken));
    EXPECT_TRUE(Log::removeSink(second));
}

/// What a console sink writes for `entries`, read back from a temporary file.
void writeToConsole(const std::vector<LogEntry>& entries, std::string& out)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        ConsoleLogSink sink(file);
        for (const LogEntry& entry : entries) sink.write(entry);
    }
    std::rewind(file);
    char buffer[512] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    out.assign(buffer, n);
}

TEST(ConsoleLogSink, WritesOneLineWithLevelCategoryTextAndLocation)
{
    const auto now = std::chrono::system_clock::now();
    std::string out;
    ASSERT_NO_FATAL_FAILURE(writeToConsole(
        {LogEntry{3, "AlgorithmFactory", "Algorithm already registered: X", "/work/src/f.cpp", 7, now},
         LogEntry{3, "", "second", "", 7, now}},
        out));
    // "HH:MM:SS.mmm WARNING [AlgorithmFactory] Algorithm already registered: X (f.cpp:7)\n"
    const std::size_t firstEnd = out.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    const std::string first = out.substr(0, firstEnd);
    ASSERT_GE(first.size(), 13u);
    EXPECT_EQ(first[2], ':');
    EXPECT_EQ(first[8], '.');
    EXPECT_EQ(first.substr(12), " WARNING [AlgorithmFactory] Algorithm already registered: X (f.cpp:7)");
    EXPECT_EQ(out.substr(firstEnd + 1 + 12), " WARNING second\n");
}

struct ConsoleRow
{
    const char* name;
    std::string category;
    std::string text;
    std::string file;
    std::string expected;  ///< the output after the clock ("HH:MM:SS.mmm")
};

void PrintTo(const ConsoleRow& row, std::ostream* os)
{
    *os << '"' << row.name << '"';
}

class ConsoleLogSinkEscapes : public ::testing::TestWithParam<ConsoleRow>
{
};

TEST_P(ConsoleLogSinkEscapes, ControlCharactersButKeepsTrailingLineFeeds)
{
    const ConsoleRow& row = GetParam();
    std::string out;
    ASSERT_NO_FATAL_FAILURE(writeToConsole(
        {LogEntry{3, row.category, row.text, row.file, 9, std::chrono::system_clock::now()}}, out));
    ASSERT_GE(out.size(), 12u);
    EXPECT_EQ(out.substr(12), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleLogSinkEscapes,
    ::testing::Values(ConsoleRow{"NewlineInAName", "OptiTrack", "Rigid body a\nINFO fake line", "",
                                 " WARNING [OptiTrack] Rigid body a\\nINFO fake line\n"},
                      ConsoleRow{"TerminalEscape", "", "\x1b[2J\x1b]0;title\x07name", "",
                                 " WARNING \\x1b[2J\\x1b]0;title\\x07name\n"},
                      ConsoleRow{"ZeroCarriageReturnTabDelete", "", std::string("a\0b\rc\td\x7f\x1f", 9), "",
                                 " WARNING a\\x00b\\rc\\td\\x7f\\x1f\n"},
                      ConsoleRow{"TrailingLineFeedStaysAsBefore", "OptiTrack",
                                 "Client initialized and ready.\n", "",
                                 " WARNING [OptiTrack] Client initialized and ready.\n\n"},
                      ConsoleRow{"TrailingLineFeedsAfterTheLocation", "", "done\n\n", "src/a.cpp",
                                 " WARNING done (a.cpp:9)\n\n\n"},
                      ConsoleRow{"InnerLineFeedBeforeTrailingOne", "", "a\nb\n", "", " WARNING a\\nb\n\n"},
                      ConsoleRow{"OnlyALineFeed", "", "\n", "", " WARNING \n\n"},
                      ConsoleRow{"EscapeInCategoryAndFile", "Cat\x1b", "x", "dir/f\n.cpp",
                                 " WARNING [Cat\\x1b] x (f\\n.cpp:9)\n"},
                      ConsoleRow{"Utf8AndBackslashUntouched", "", "K\xc3\xb6rper C:\\take", "",
                                 " WARNING K\xc3\xb6rper C:\\take\n"}),
    [](const ::testing::TestParamInfo<ConsoleRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace Quorvane
