// The stream's identity and configuration without a server: the six keys, their order, types and
// defaults, partial configuration, and the connection-parameter record.

#include "stream/OptiTrackStream.h"

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane::Testing {
namespace {

using Keys = std::vector<std::string>;
const Keys kKeys = {"localAddress", "serverAddress",    "commandPort",
                    "dataPort",     "multicastAddress", "connectionType"};

Properties configurationOf(const OptiTrackStream& stream)
{
    Properties properties;
    stream.configuration(&properties);
    return properties;
}

TEST(StreamConfiguration, AFreshStreamWritesExactlyTheDefaults)
{
    OptiTrackStream stream;
    const Properties p = configurationOf(stream);
    EXPECT_EQ(p.keys(), kKeys);
    using Type = Properties::Type;
    const std::vector<std::pair<std::string, Type>> types = {
        {"localAddress", Type::String},       {"serverAddress", Type::String},
        {"commandPort", Type::UnsignedShort}, {"dataPort", Type::UnsignedShort},
        {"multicastAddress", Type::String},   {"connectionType", Type::Int}};
    for (const auto& [key, type] : types) {
        ASSERT_NE(p.value(key), nullptr) << key;
        EXPECT_EQ(Properties::typeOf(*p.value(key)), type) << key;
    }
    std::string text;
    unsigned short port = 0;
    int type = -1;
    EXPECT_TRUE(p.param("localAddress", text));
    EXPECT_EQ(text, "127.0.0.1");
    EXPECT_TRUE(p.param("serverAddress", text));
    EXPECT_EQ(text, "127.0.0.1");
    EXPECT_TRUE(p.param("commandPort", port));
    EXPECT_EQ(port, 1510);
    EXPECT_TRUE(p.param("dataPort", port));
    EXPECT_EQ(port, 1511);
    EXPECT_TRUE(p.param("multicastAddress", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(p.param("connectionType", type));
    EXPECT_EQ(type, 0);
}

TEST(StreamConfiguration, ConfigureThenConfigurationReproducesTheValues)
{
    Properties in;
    in.setParam("connectionType", 7);
    in.setParam("multicastAddress", "239.1.2.3");
    in.setParam("dataPort", static_cast<unsigned short>(3883));
    in.setParam("commandPort", static_cast<unsigned short>(65535));
    in.setParam("serverAddress", "10.0.0.2");
    in.setParam("localAddress", "192.168.1.20");

    OptiTrackStream stream;
    stream.configure(&in);
    const Properties out = configurationOf(stream);
    EXPECT_EQ(out.keys(), kKeys);  // written in its own order, whatever the input's
    for (const auto& key : kKeys) EXPECT_EQ(out.valueText(key), in.valueText(key)) << key;
}

TEST(StreamConfiguration, OnlyTheGivenKeysChange)
{
    OptiTrackStream stream;
    Properties full;
    full.setParam("connectionType", 1);
    full.setParam("commandPort", static_cast<unsigned short>(2000));
    stream.configure(&full);

    Properties partial;
    partial.setParam("serverAddress", "10.0.0.9");
    stream.configure(&partial);

    const Properties out = configurationOf(stream);
    EXPECT_EQ(out.valueText("serverAddress"), "10.0.0.9");
    EXPECT_EQ(out.valueText("connectionType"), "1");
    EXPECT_EQ(out.valueText("commandPort"), "2000");
    EXPECT_EQ(out.valueText("dataPort"), "1511");
    EXPECT_EQ(out.valueText("localAddress"), "127.0.0.1");
    EXPECT_EQ(out.valueText("multicastAddress"), "");
}

TEST(StreamConfiguration, ValuesOfTheWrongTypeLeaveTheirFields)
{
    OptiTrackStream stream;
    Properties bad;
    bad.setParam("commandPort", 70000);      // does not fit an unsigned short
    bad.setParam("connectionType", "many");  // not a number
    bad.setParam("serverAddress", 5);        // not a text
    ScopedLogCapture quiet(4);
    stream.configure(&bad);
    const Properties out = configurationOf(stream);
    EXPECT_EQ(out.valueText("commandPort"), "1510");
    EXPECT_EQ(out.valueText("connectionType"), "0");
    EXPECT_EQ(out.valueText("serverAddress"), "127.0.0.1");
}

struct StreamProbe : OptiTrackStream
{
    using OptiTrackStream::doWork;
};

TEST(StreamIdentity, NameUuidWorkAndStateAfterConstruction)
{
    StreamProbe a;
    OptiTrackStream b;
    EXPECT_EQ(a.uuid(), "OptiTrackStream");
    EXPECT_EQ(b.uuid(), "OptiTrackStream");
    EXPECT_EQ(a.name(), "Tracking Stream");
    EXPECT_FALSE(a.doWork().has_value());
    EXPECT_FALSE(a.doWork().has_value());
    EXPECT_FALSE(a.isRunning());
    EXPECT_TRUE(a.openImpl());
    EXPECT_TRUE(a.closeImpl());
    EXPECT_TRUE(a.stopImpl());  // also when it never connected
}

TEST(StreamIdentity, OpenAndCloseChangeOnlyTheHostsState)
{
    ScopedLogCapture log(0);
    OptiTrackStream stream;
    EXPECT_TRUE(stream.open());
    EXPECT_TRUE(stream.isStateOneOf({2}));
    EXPECT_TRUE(stream.close());
    EXPECT_TRUE(log.sink().records().empty());
}

TEST(StreamIdentity, ItsDestructionIsAnnouncedWhileItIsStillAnOptiTrackStream)
{
    // A listener on another thread may still be inside a virtual call when the signal comes; the
    // dynamic type must not have changed under it by then.
    auto stream = std::make_unique<OptiTrackStream>();
    ASSERT_TRUE(stream->open());
    const Stream* announced = stream.get();
    std::string uuidSeen;
    bool stillOpen = false;
    stream->aboutToBeDestroyed.connect([&] {
        uuidSeen = announced->uuid();
        stillOpen = announced->isStateOneOf({Stream::State::Open});
    });
    stream.reset();
    EXPECT_EQ(uuidSeen, "OptiTrackStream");
    EXPECT_TRUE(stillOpen) << "announced before the stream closes itself";
}

}  // namespace
}  // namespace Quorvane::Testing
