// The module's controller factory: a panel for the OptiTrack stream IO algorithm, none for
// anything else. The factory is reached the way the host reaches it, through the plugin that
// the module's exported creation function makes.

#include "PanelTestSupport.h"

#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/PluginExports.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace Quorvane {
namespace {

/// Any other tracking stream.
class OtherTrackingStream : public TrackingStream
{
public:
    OtherTrackingStream() : TrackingStream("Other stream") {}
    ~OtherTrackingStream() override { close(); }
};

class ControllerFactoryTest : public Support::PanelTest
{
protected:
    void SetUp() override
    {
        Support::PanelTest::SetUp();
        plugin.reset(quorvaneCreatePlugin());
        ASSERT_NE(plugin, nullptr);
        ASSERT_EQ(plugin->initialize(), 0);
        sets = plugin->takeFactories();
        ASSERT_EQ(sets.size(), 1u);
        ASSERT_NE(sets[0].controllerFactory, nullptr);
        ASSERT_NE(sets[0].algorithmFactory, nullptr);
    }

    AlgorithmControllerFactory& factory() const { return *sets[0].controllerFactory; }

    std::unique_ptr<QuorvaneLibPlugin> plugin;
    std::vector<ApplicationController::FactorySet> sets;
};

TEST_F(ControllerFactoryTest, TheOptiTrackIoAlgorithmGetsAPanelOfItsOwnEachTime)
{
    // Created by name, as the host creates it.
    std::unique_ptr<Algorithm> created = sets[0].algorithmFactory->instantiateAlgorithm("OptiTrack.OptiTrackStream", {});
    ASSERT_NE(created, nullptr);
    created->execute();

    std::unique_ptr<AlgorithmController> first(factory().createController(created.get()));
    std::unique_ptr<AlgorithmController> second(factory().createController(created.get()));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());

    auto* panel = dynamic_cast<OptiTrackController*>(first.get());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->algorithm(), created.get());
    panel->init();
    auto* streamAlgorithm = dynamic_cast<StreamIoAlgorithm*>(created.get());
    ASSERT_NE(streamAlgorithm, nullptr);
    EXPECT_EQ(static_cast<StreamControllerBase*>(panel)->stream(), streamAlgorithm->currentStream());
    EXPECT_NE(panel->findChild<QPushButton*>("connectPushButton"), nullptr);

    // The same for an algorithm made directly from the template.
    std::unique_ptr<AlgorithmController> direct(factory().createController(&algorithm));
    EXPECT_NE(dynamic_cast<OptiTrackController*>(direct.get()), nullptr);
}

TEST_F(ControllerFactoryTest, EveryOtherAlgorithmAndNullGetNone)
{
    CreateStreamIoAlgorithm<OtherTrackingStream, 0, 0> otherStream;
    CreateStreamIoAlgorithm<OptiTrackStream, 1, 0> otherVariant;
    EXPECT_EQ(factory().createController(nullptr), nullptr);
    EXPECT_EQ(factory().createController(&otherStream), nullptr);
    EXPECT_EQ(factory().createController(&otherVariant), nullptr);
}

}  // namespace
}  // namespace Quorvane
