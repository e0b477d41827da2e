// The module's controller factory, reached as the host reaches it: through the plugin that the
// module's exported creation function makes.

#include "PanelTestSupport.h"

#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/PluginExports.h>

#include <gtest/gtest.h>

namespace Quorvane {
namespace {

class OtherTrackingStream : public TrackingStream
{
public:
    OtherTrackingStream() : TrackingStream("Other stream") {}
    ~OtherTrackingStream() override
    {
        announceDestruction();
        close();
    }
};

class ControllerFactoryTest : public Support::PanelTest
{
};

TEST_F(ControllerFactoryTest, OnlyTheOptiTrackIoAlgorithmGetsAPanelAndEachTimeANewOne)
{
    std::unique_ptr<QuorvaneLibPlugin> plugin(quorvaneCreatePlugin());
    ASSERT_EQ(plugin->initialize(), 0);
    std::vector<ApplicationController::FactorySet> sets = plugin->takeFactories();
    ASSERT_EQ(sets.size(), 1u);
    const AlgorithmControllerFactory& factory = *sets[0].controllerFactory;

    std::unique_ptr<Algorithm> created =
        sets[0].algorithmFactory->instantiateAlgorithm("OptiTrack.OptiTrackStream", {});
    ASSERT_NE(created, nullptr);
    created->execute();
    std::unique_ptr<AlgorithmController> first(factory.createController(created.get()));
    std::unique_ptr<AlgorithmController> second(factory.createController(created.get()));
    auto* panel = dynamic_cast<OptiTrackController*>(first.get());
    ASSERT_NE(panel, nullptr);
    EXPECT_NE(dynamic_cast<OptiTrackController*>(second.get()), nullptr);
    EXPECT_NE(first.get(), second.get());
    panel->init();
    EXPECT_EQ(static_cast<StreamControllerBase*>(panel)->stream(),
              dynamic_cast<StreamIoAlgorithm&>(*created).currentStream());

    CreateStreamIoAlgorithm<OtherTrackingStream, 0, 0> otherStream;
    CreateStreamIoAlgorithm<OptiTrackStream, 1, 0> otherVariant;
    EXPECT_EQ(factory.createController(nullptr), nullptr);
    EXPECT_EQ(factory.createController(&otherStream), nullptr);
    EXPECT_EQ(factory.createController(&otherVariant), nullptr);
}

}  // namespace
}  // namespace Quorvane
