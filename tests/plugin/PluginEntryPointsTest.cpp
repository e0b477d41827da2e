// The module's exported C symbols, its registration guard and its plugin object, seen from a
// program that links the module.

#include "ModuleUnderTest.h"

#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>
#include <Quorvane/Lib/PluginExports.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

TEST(PluginEntryPoints, IdentifierIsOneStaticTextSharedWithTheGuard)
{
    const char* first = quorvanePluginId();
    const char* second = quorvanePluginId();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "Quorvane.OptiTrack");

    int guards = 0;
    for (const PluginAutoRegistrationGuard::Record& record : PluginAutoRegistrationGuard::registered()) {
        if (record.identifier == "Quorvane.OptiTrack") {
            ++guards;
            ASSERT_NE(record.function, nullptr);
            EXPECT_EQ(record.function(), first);
        }
    }
    EXPECT_EQ(guards, 1);
}

TEST(PluginEntryPoints, DescriptorSymbolIsOnePointer)
{
    Dl_info info = {};
    void* entry = nullptr;
    ASSERT_NE(dladdr1(static_cast<const void*>(&quorvanePluginDescriptor), &info, &entry, RTLD_DL_SYMENT), 0);
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    ASSERT_NE(symbol, nullptr);
    ASSERT_NE(info.dli_sname, nullptr);
    EXPECT_STREQ(info.dli_sname, "quorvanePluginDescriptor");
    EXPECT_EQ(symbol->st_size, sizeof(const char*));
}

TEST(PluginEntryPoints, PluginTellsWhoItIsAndRegistersNothingWhenCreated)
{
    std::unique_ptr<QuorvaneLibPlugin> plugin(quorvaneCreatePlugin());
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->vendor(), "Quorvane GmbH");
    EXPECT_EQ(plugin->description(), "Plugin for real-time streaming from OptiTrack tracking systems");
    EXPECT_EQ(plugin->dependencies(), std::vector<std::string>{"Quorvane.Stream"});
    EXPECT_TRUE(plugin->takeFactories().empty());

    std::unique_ptr<QuorvaneLibPlugin> another(quorvaneCreatePlugin());
    EXPECT_NE(another.get(), plugin.get()) << "every call creates a new plugin";
}

TEST(PluginEntryPoints, InitializeHandsOverAlgorithmFactoryControllerFactoryAndNoAnnotations)
{
    Testing::ModuleUnderTest module;
    EXPECT_EQ(module.initializeResult, 0);
    ASSERT_EQ(module.sets.size(), 1u);
    const ApplicationController::FactorySet& set = module.sets[0];
    EXPECT_EQ(set.owner, module.plugin->ownerToken());
    ASSERT_NE(set.algorithmFactory, nullptr);
    EXPECT_EQ(set.algorithmFactory->factoryName(), "OptiTrack");
    EXPECT_EQ(set.algorithmFactory->entries().size(), 1u);
    ASSERT_NE(set.controllerFactory, nullptr);
    EXPECT_EQ(set.controllerFactory->name(), "OptiTrack");
    EXPECT_EQ(set.annotationFactory, nullptr);
}

}  // namespace
}  // namespace Quorvane
