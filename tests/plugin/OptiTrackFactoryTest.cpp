// The module's algorithm factory (its one registration, the creator) and controller factory
// (the run-time type test), reached through the plugin as the host reaches them.

#include "ModuleUnderTest.h"
#include "ScriptedStream.h"

#include "stream/OptiTrackStream.h"

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/Data.h>
#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <typeindex>

namespace Quorvane {
namespace {

using OptiTrackIoAlgorithm = CreateStreamIoAlgorithm<OptiTrackStream, 0, 0>;

/// The parameter `key` read as a T; nothing when it is missing or not readable as one.
template <class T>
std::optional<T> read(const Properties& properties, const std::string& key)
{
    T value{};
    if (!properties.param(key, value)) return std::nullopt;
    return value;
}

class OptiTrackFactoryTest : public ::testing::Test
{
protected:
    AlgorithmFactory& factory() { return *m_module.algorithmFactory(); }
    std::unique_ptr<Algorithm> create(const DataList& data = {})
    {
        return factory().entries().at(0).create(data);
    }

    ScopedLogCapture m_log{0};
    Testing::ModuleUnderTest m_module;
};

TEST_F(OptiTrackFactoryTest, RegistersTheOneStreamAlgorithm)
{
    ASSERT_NE(m_module.algorithmFactory(), nullptr);
    EXPECT_EQ(factory().factoryName(), "OptiTrack");
    ASSERT_EQ(factory().entries().size(), 1u);
    const AlgorithmFactory::Entry& entry = factory().entries()[0];
    EXPECT_EQ(entry.name, "OptiTrack.OptiTrackStream");
    EXPECT_EQ(entry.displayPath, "IO;OptiTrack;OptiTrack Duo/Trio");
    EXPECT_EQ(entry.tag, 0);
    EXPECT_TRUE(entry.valid);
    EXPECT_TRUE(entry.isCompatible(DataList()));
    // The class's type identity is one across the module and its users.
    EXPECT_EQ(factory().registeredName<OptiTrackIoAlgorithm>(), "OptiTrack.OptiTrackStream");
}

TEST_F(OptiTrackFactoryTest, RegisteringTheNameAgainKeepsTheFirstAndWarns)
{
    factory().registerAlgorithm<OptiTrackIoAlgorithm>("OptiTrackStream", "IO;Other", 7);
    ASSERT_EQ(factory().entries().size(), 1u);
    EXPECT_EQ(factory().entries()[0].displayPath, "IO;OptiTrack;OptiTrack Duo/Trio");
    EXPECT_EQ(
        m_log.sink().count(3, "AlgorithmFactory", "Algorithm already registered: OptiTrack.OptiTrackStream"),
        1u);
}

TEST_F(OptiTrackFactoryTest, CreatorRefusesInputDataQuietly)
{
    Data image("image");
    m_log.sink().clear();
    EXPECT_EQ(create(DataList{&image}), nullptr);
    EXPECT_FALSE(factory().entries()[0].isCompatible(DataList{&image}));
    EXPECT_EQ(m_log.sink().size(), 0u);
}

TEST_F(OptiTrackFactoryTest, CreatorGivesAnIoAlgorithmWhoseExecuteMakesAConfiguredOptiTrackStream)
{
    std::unique_ptr<Algorithm> algorithm = create();
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->factoryInfo().name, "OptiTrack.OptiTrackStream");
    EXPECT_EQ(algorithm->factoryInfo().displayName, "OptiTrack Duo/Trio");
    EXPECT_TRUE(algorithm->factoryInfo().data.empty());
    Properties properties;
    properties.setParam("serverAddress", "127.0.0.20");
    properties.setParam("connectionType", 1);
    algorithm->configure(&properties);
    algorithm->execute();
    ASSERT_EQ(algorithm->status(), 0);

    auto* io = dynamic_cast<OptiTrackIoAlgorithm*>(algorithm.get());
    ASSERT_NE(io->currentStream(), nullptr);
    EXPECT_EQ(io->currentStream()->uuid(), "OptiTrackStream");
    EXPECT_NE(dynamic_cast<OptiTrackStream*>(io->currentStream()), nullptr);

    // Later settings reach the running algorithm's stream at once.
    Properties later;
    later.setParam("commandPort", static_cast<unsigned short>(15510));
    algorithm->configure(&later);

    Properties fromStream;
    algorithm->configuration(&fromStream);
    EXPECT_EQ(read<std::string>(fromStream, "serverAddress"), "127.0.0.20");
    EXPECT_EQ(read<int>(fromStream, "connectionType"), 1);
    EXPECT_EQ(read<unsigned short>(fromStream, "commandPort"), 15510);
}

TEST(AlgorithmFactoryRegistration, EmptyFactoryNameAndPathWithoutSeparator)
{
    AlgorithmFactory plain("");
    plain.registerAlgorithm<CreateStreamIoAlgorithm<Testing::ScriptedStream, 0, 0>>("Scripted",
                                                                                    "Scripted stream", 0);
    ASSERT_EQ(plain.entries().size(), 1u);
    EXPECT_EQ(plain.entries()[0].name, "Scripted");

    Testing::ScriptedStream::resetScript();
    std::unique_ptr<Algorithm> algorithm = plain.entries()[0].create(DataList());
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->factoryInfo().displayName, "Scripted stream");
}

}  // namespace
}  // namespace Quorvane
