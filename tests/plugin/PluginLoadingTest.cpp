// The built module loaded the way the host loads it: by the host's PluginLoader, from the
// plugin folder, into a program that does not link it.

#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Core/String.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>
#include <Quorvane/Lib/PluginLoader.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane {
namespace {

std::string modulePath()
{
    const char* dir = std::getenv("QUORVANE_PLUGIN_DIR");
    return std::string(dir != nullptr ? dir : "") + "/libQuorvaneOptiTrack.so";
}

bool guardRegistered()
{
    for (const PluginAutoRegistrationGuard::Record& record : PluginAutoRegistrationGuard::registered()) {
        if (record.identifier == "Quorvane.OptiTrack") {
            return true;
        }
    }
    return false;
}

class PluginLoadingTest : public ::testing::Test
{
protected:
    ScopedLogCapture m_log{2};
    ApplicationController m_controller;
    PluginLoader m_loader{m_controller};
};

TEST_F(PluginLoadingTest, LoaderAcceptsTheModuleAndItsDescriptor)
{
    ASSERT_FALSE(guardRegistered());
    const PluginLoadResult result = m_loader.load(modulePath());
    ASSERT_TRUE(result.ok()) << result.name() << ": " << result.message;
    EXPECT_EQ(result.identifier, "Quorvane.OptiTrack");

    ASSERT_EQ(m_loader.plugins().size(), 1u);
    const PluginLoader::PluginInfo info = m_loader.plugins()[0];
    EXPECT_EQ(info.vendor, "Quorvane GmbH");
    EXPECT_EQ(info.description, "Plugin for real-time streaming from OptiTrack tracking systems");
    EXPECT_EQ(info.dependencies, std::vector<std::string>{"Quorvane.Stream"});
    EXPECT_EQ(info.descriptor.major, 4);
    EXPECT_EQ(info.descriptor.minor, 5);
    EXPECT_TRUE(info.descriptor.pluginVersion.empty());

    // The descriptor text as the module exports it: exactly four fields, the last one an
    // empty plugin version.
    EXPECT_EQ(
        info.descriptor.text,
        "__QUORVANE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=");
    const std::vector<std::string> fields = String::split(info.descriptor.text, "|", String::KeepEmptyParts);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(String::split(fields[3], "=", String::KeepEmptyParts),
              (std::vector<std::string>{"pluginversion", ""}));
    const std::vector<std::pair<std::string, std::string>> flags = {{"MSC_VER", "1929"}, {"IDL", "0"}};
    EXPECT_EQ(info.descriptor.buildFlags, flags);

    // The identifier the module exports is the very text its guard registered.
    void* handle = dlopen(modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    using IdFunction = const char* (*)();
    auto exported = reinterpret_cast<IdFunction>(dlsym(handle, "quorvanePluginId"));
    ASSERT_NE(exported, nullptr);
    int matching = 0;
    for (const PluginAutoRegistrationGuard::Record& record : PluginAutoRegistrationGuard::registered()) {
        matching += record.identifier == "Quorvane.OptiTrack" && record.function() == exported() ? 1 : 0;
    }
    EXPECT_EQ(matching, 1);
    dlclose(handle);

    EXPECT_TRUE(m_loader.unload("Quorvane.OptiTrack"));
    EXPECT_FALSE(guardRegistered()) << "the guard goes with the module";
    EXPECT_TRUE(m_controller.factorySets().empty());
}

TEST_F(PluginLoadingTest, StreamAlgorithmOfTheLoadedModuleWorksThroughHostTypes)
{
    ASSERT_TRUE(m_loader.load(modulePath()).ok());
    const auto descriptors = m_controller.ioAlgorithmDescriptors();
    ASSERT_EQ(descriptors.size(), 1u);
    EXPECT_EQ(descriptors[0].name, "OptiTrack.OptiTrackStream");
    EXPECT_EQ(descriptors[0].displayPath, "IO;OptiTrack;OptiTrack Duo/Trio");
    EXPECT_EQ(descriptors[0].factoryName, "OptiTrack");

    {
        std::unique_ptr<Algorithm> algorithm = m_controller.instantiateAlgorithm("OptiTrack.OptiTrackStream");
        ASSERT_NE(algorithm, nullptr);
        auto* io = dynamic_cast<StreamIoAlgorithm*>(algorithm.get());
        ASSERT_NE(io, nullptr) << "host base types must be one across host and module";
        algorithm->execute();
        ASSERT_EQ(algorithm->status(), 0);
        OwningDataList output = algorithm->takeOutput();
        ASSERT_EQ(output.size(), 1u);
        auto* stream = dynamic_cast<TrackingStream*>(output.at(0));
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->uuid(), "OptiTrackStream");
        EXPECT_EQ(stream->state(), Stream::State::Closed);
    }  // module objects go before the module
    m_loader.unloadAll();
}

}  // namespace
}  // namespace Quorvane
