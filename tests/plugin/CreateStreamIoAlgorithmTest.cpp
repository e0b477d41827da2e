// The stream IO algorithm template over a scripted stream: flag keys, configuration, ownership
// of the stream across execute/takeOutput/destruction, and failures.

#include "ScriptedStream.h"

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

using Testing::ScriptedStream;
using ScriptedAlgorithm = CreateStreamIoAlgorithm<ScriptedStream, 0, 0>;

Properties flags(const std::vector<std::pair<std::string, bool>>& values)
{
    Properties p;
    for (const auto& [key, value] : values) {
        p.setParam(key, value);
    }
    return p;
}

class CreateStreamIoAlgorithmTest : public ::testing::Test
{
protected:
    void SetUp() override { ScriptedStream::resetScript(); }
    ScriptedStream::Journal& journal() { return ScriptedStream::journal(); }
    ScriptedStream::Script& script() { return ScriptedStream::script(); }

    ScopedLogCapture m_log{0};
    ScriptedAlgorithm m_algorithm;
};

struct FlagRow
{
    const char* name;
    std::vector<std::pair<std::string, bool>> keys;
    int opened;
    int started;
};

void PrintTo(const FlagRow& row, std::ostream* out)
{
    *out << row.name;
}

class FlagKeys : public CreateStreamIoAlgorithmTest, public ::testing::WithParamInterface<FlagRow>
{
};

TEST_P(FlagKeys, DecideWhetherExecuteOpensAndStarts)
{
    const Properties properties = flags(GetParam().keys);
    m_algorithm.configure(&properties);
    m_algorithm.execute();

    EXPECT_EQ(m_algorithm.status(), 0);
    EXPECT_EQ(journal().constructed, 1);
    EXPECT_EQ(journal().opened, GetParam().opened);
    EXPECT_EQ(journal().started, GetParam().started);
    ASSERT_NE(m_algorithm.currentStream(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FlagKeys,
    ::testing::Values(
        FlagRow{"none", {}, 0, 0}, FlagRow{"openAndStart", {{"open", true}, {"start", true}}, 1, 1},
        FlagRow{"openOnly", {{"open", true}}, 1, 0}, FlagRow{"autoOpen", {{"autoOpen", true}}, 1, 0},
        FlagRow{"connect", {{"connect", true}, {"autoStart", true}}, 1, 1},
        FlagRow{"firstOpenKeyWins", {{"autoOpen", true}, {"open", false}, {"start", true}}, 0, 0},
        FlagRow{"openBeatsConnect", {{"open", true}, {"connect", false}}, 1, 0},
        FlagRow{"firstStartKeyWins", {{"open", true}, {"autoStart", true}, {"start", false}}, 1, 0},
        FlagRow{"startWithoutOpen", {{"start", true}}, 0, 0}),
    [](const ::testing::TestParamInfo<FlagRow>& row) { return std::string(row.param.name); });

TEST_F(CreateStreamIoAlgorithmTest, FlagsKeepTheirValueWhenALaterConfigureOmitsThem)
{
    const Properties on = flags({{"open", true}, {"start", true}});
    m_algorithm.configure(&on);
    Properties other;
    other.setParam("serverAddress", "127.0.0.20");
    m_algorithm.configure(&other);
    m_algorithm.execute();
    EXPECT_EQ(journal().opened, 1);
    EXPECT_EQ(journal().started, 1);

    const Properties off = flags({{"connect", false}});
    m_algorithm.configure(&off);
    m_algorithm.execute();
    EXPECT_EQ(journal().opened, 1) << "connect=false must switch opening off again";
}

TEST_F(CreateStreamIoAlgorithmTest, StartWithoutOpenMakesAClosedStreamConfiguredAtExecute)
{
    Properties properties = flags({{"start", true}});
    properties.setParam("serverAddress", "127.0.0.20");
    m_algorithm.configure(&properties);
    EXPECT_EQ(journal().constructed, 0);
    m_algorithm.execute();

    EXPECT_EQ(m_algorithm.status(), 0);
    ASSERT_EQ(journal().configured.size(), 1u);
    std::string server;
    EXPECT_TRUE(journal().configured[0].param("serverAddress", server));
    EXPECT_EQ(server, "127.0.0.20");
    ASSERT_NE(m_algorithm.currentStream(), nullptr);
    EXPECT_EQ(m_algorithm.currentStream()->state(), Stream::State::Closed);
}

TEST_F(CreateStreamIoAlgorithmTest, FailingOpenNeverStartsAndFailingStartFails)
{
    const Properties properties = flags({{"open", true}, {"start", true}});
    m_algorithm.configure(&properties);
    script().openSucceeds = false;
    m_algorithm.execute();
    EXPECT_EQ(m_algorithm.status(), 1);
    EXPECT_EQ(journal().opened, 1);
    EXPECT_EQ(journal().started, 0);
    // The stream reported its own failure and stays, so a panel could retry it.
    ASSERT_NE(m_algorithm.currentStream(), nullptr);

    script().openSucceeds = true;
    script().startSucceeds = false;
    m_algorithm.execute();
    EXPECT_EQ(m_algorithm.status(), 1);
    EXPECT_EQ(journal().started, 1);
    EXPECT_EQ(m_algorithm.currentStream()->state(), Stream::State::Open);
    EXPECT_EQ(m_log.sink().countContaining("Could not instantiate"), 0u);
}

TEST_F(CreateStreamIoAlgorithmTest, ConfigureAfterExecuteReachesTheStreamAtOnceAndTheNextOne)
{
    m_algorithm.execute();
    EXPECT_TRUE(journal().configured.empty()) << "nothing was configured yet";

    Properties properties;
    properties.setParam("serverAddress", "127.0.0.3");
    m_algorithm.configure(&properties);
    ASSERT_EQ(journal().configured.size(), 1u);

    Properties fromStream;
    m_algorithm.configuration(&fromStream);
    std::string server;
    EXPECT_TRUE(fromStream.param("serverAddress", server));
    EXPECT_EQ(server, "127.0.0.3");

    m_algorithm.execute();
    ASSERT_EQ(journal().configured.size(), 2u);
    EXPECT_EQ(journal().configured[1], properties);
}

TEST_F(CreateStreamIoAlgorithmTest, ConfigurationWithoutStreamIsTheLastConfigurationOnly)
{
    Properties target;
    target.setParam("sentinel", 1);
    m_algorithm.configuration(&target);
    EXPECT_EQ(target.keys(), std::vector<std::string>{"sentinel"}) << "a fresh algorithm writes nothing";
    m_algorithm.configuration(nullptr);
    m_algorithm.configure(nullptr);

    Properties first;
    first.setParam("serverAddress", "127.0.0.4");
    first.setParam("open", true);
    Properties second;
    second.setParam("dataPort", static_cast<unsigned short>(1600));
    m_algorithm.configure(&first);
    m_algorithm.configure(&second);

    Properties stored;
    m_algorithm.configuration(&stored);
    EXPECT_EQ(stored.keys(), std::vector<std::string>{"dataPort"})
        << "each configure replaces the stored copy";
}

TEST_F(CreateStreamIoAlgorithmTest, SecondExecuteDestroysTheFirstStreamUnlessItWasTakenOut)
{
    m_algorithm.execute();
    m_algorithm.execute();
    EXPECT_EQ(journal().destroyed, 1);
    journal() = ScriptedStream::Journal();

    Stream* first = m_algorithm.currentStream();
    OwningDataList taken = m_algorithm.takeOutput();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken.at(0), first);
    EXPECT_TRUE(m_algorithm.takeOutput().empty()) << "a stream has one owner";

    m_algorithm.execute();
    EXPECT_EQ(journal().destroyed, 0) << "the host owns the first stream now";
    OwningDataList second = m_algorithm.takeOutput();
    EXPECT_EQ(second.size(), 1u) << "the new stream can be handed out";

    taken = OwningDataList();
    second = OwningDataList();
    EXPECT_EQ(journal().destroyed, 2);
}

TEST(CreateStreamIoAlgorithmLifetime, ClearStreamAndDestructionDestroyOnlyAStreamNotHandedOut)
{
    ScriptedStream::resetScript();
    ScriptedAlgorithm cleared;
    cleared.execute();
    OwningDataList handedOut = cleared.takeOutput();
    cleared.clearStream();
    EXPECT_EQ(ScriptedStream::journal().destroyed, 0);
    EXPECT_FALSE(cleared.outputTaken());
    cleared.execute();
    cleared.clearStream();
    EXPECT_EQ(ScriptedStream::journal().destroyed, 1);
    EXPECT_EQ(cleared.currentStream(), nullptr);
    handedOut = OwningDataList();
    ScriptedStream::resetScript();

    auto kept = std::make_unique<ScriptedAlgorithm>();
    kept->execute();
    kept.reset();
    EXPECT_EQ(ScriptedStream::journal().destroyed, 1);

    auto handing = std::make_unique<ScriptedAlgorithm>();
    handing->execute();
    OwningDataList taken = handing->takeOutput();
    handing.reset();
    EXPECT_EQ(ScriptedStream::journal().destroyed, 1) << "a stream handed out belongs to the host";
    taken = OwningDataList();
    EXPECT_EQ(ScriptedStream::journal().destroyed, 2);
}

struct ThrowRow
{
    const char* name;
    bool inConstructor;
    const char* message;
};

void PrintTo(const ThrowRow& row, std::ostream* out)
{
    *out << row.name;
}

class ThrowingStream : public CreateStreamIoAlgorithmTest, public ::testing::WithParamInterface<ThrowRow>
{
};

TEST_P(ThrowingStream, IsLoggedDestroyedAndFails)
{
    m_algorithm.execute();  // a previous stream, not handed out
    ASSERT_EQ(journal().constructed, 1);

    Properties properties;
    properties.setParam("serverAddress", "127.0.0.5");
    m_algorithm.configure(&properties);
    script().throwInConstructor = GetParam().inConstructor;
    script().throwInConfigure = !GetParam().inConstructor;
    m_log.sink().clear();

    m_algorithm.execute();

    EXPECT_EQ(m_algorithm.status(), 1);
    EXPECT_EQ(m_algorithm.currentStream(), nullptr);
    EXPECT_EQ(m_log.sink().count(4, "CreateStreamIoAlgorithm",
                                 std::string("Could not instantiate a new Stream: ") + GetParam().message),
              1u);
    // Nothing leaked: the previous stream and a half-made new one are both gone.
    EXPECT_EQ(journal().destroyed, journal().constructed);
    EXPECT_TRUE(m_algorithm.takeOutput().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ThrowingStream,
                         ::testing::Values(ThrowRow{"constructor", true, "no device"},
                                           ThrowRow{"configure", false, "bad setting"}),
                         [](const ::testing::TestParamInfo<ThrowRow>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(CreateStreamIoAlgorithmTest, ThrowingConfigureOfTheCurrentStreamIsLoggedNotThrown)
{
    m_algorithm.execute();
    script().throwInConfigure = true;
    Properties properties = flags({{"open", true}});
    EXPECT_NO_THROW(m_algorithm.configure(&properties));
    EXPECT_EQ(m_log.sink().count(4, "CreateStreamIoAlgorithm", "Could not configure the Stream: bad setting"),
              1u);

    // The flags and the stored copy were still taken.
    script().throwInConfigure = false;
    m_algorithm.execute();
    EXPECT_EQ(journal().opened, 1);
}

}  // namespace
}  // namespace Quorvane
