#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/Data.h>
#include <Quorvane/Lib/DataAnnotationFactory.h>
#include <Quorvane/Lib/QuorvaneLibPlugin.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

/// Remembers what configure() received, in order.
class Stream : public IoAlgorithm
{
public:
    void execute() override {}
    void configure(const Properties* p) override
    {
        if (p != nullptr) {
            received.push_back(*p);
        }
    }
    std::vector<Properties> received;
};

class Factory : public AlgorithmFactory
{
public:
    explicit Factory(const std::string& name, const Properties* props = nullptr) : AlgorithmFactory(name)
    {
        registerAlgorithm<Stream>("Stream", "IO;" + name + ";Stream", 0, props);
    }
};

class Panel : public AlgorithmController
{
public:
    Panel(Algorithm* a, std::vector<std::string>* log) : AlgorithmController(a), m_log(log) {}
    ~Panel() override { m_log->push_back("panel destroyed"); }

private:
    std::vector<std::string>* m_log;
};

class PanelFactory : public AlgorithmControllerFactory
{
public:
    enum class Mode { Decline, Throw, Make };
    PanelFactory(std::string name, Mode mode, std::vector<std::string>* log)
        : AlgorithmControllerFactory(std::move(name)), m_mode(mode), m_log(log)
    {
    }
    ~PanelFactory() override { m_log->push_back(name() + " controller factory destroyed"); }
    AlgorithmController* createController(Algorithm* a) const override
    {
        if (m_mode == Mode::Throw) {
            throw std::runtime_error("panel broken");
        }
        return m_mode == Mode::Make ? new Panel(a, m_log) : nullptr;
    }

private:
    Mode m_mode;
    std::vector<std::string>* m_log;
};

TEST(ApplicationController, GlobalSettingsReachNewIoAlgorithmsBeforeTheirOwnProperties)
{
    ApplicationController app;
    ASSERT_EQ(ApplicationController::current(), &app);
    app.globalSettings().setParam("G.Stream/serverAddress", "127.0.0.2");
    app.globalSettings().setParam("G.Stream/commandPort", static_cast<unsigned short>(1600));
    app.globalSettings().setParam("Other.Stream/serverAddress", "127.0.0.9");  // another algorithm's
    app.globalSettings().setParam("G.Stream/", 1);                             // no key: ignored
    Properties own;
    own.setParam("open", true);
    app.addFactories(std::make_unique<Factory>("G", &own), nullptr, nullptr);

    std::unique_ptr<Algorithm> algorithm = app.instantiateAlgorithm("G.Stream");
    ASSERT_NE(algorithm, nullptr);
    const auto& received = dynamic_cast<Stream&>(*algorithm).received;
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].keys(), (std::vector<std::string>{"serverAddress", "commandPort"}));
    unsigned short port = 0;
    EXPECT_TRUE(received[0].param("commandPort", port));  // the value kept its type
    EXPECT_EQ(port, 1600);
    EXPECT_EQ(received[1].keys(), (std::vector<std::string>{"open"}));
}

TEST(ApplicationController, WithoutGlobalDefaultsNothingIsConfigured)
{
    ApplicationController app;
    app.addFactories(std::make_unique<Factory>("G"), nullptr, nullptr);
    std::unique_ptr<Algorithm> algorithm = app.instantiateAlgorithm("G.Stream");
    ASSERT_NE(algorithm, nullptr);
    EXPECT_TRUE(dynamic_cast<Stream&>(*algorithm).received.empty());
}

TEST(ApplicationController, OnlyTheFirstLiveControllerIsCurrent)
{
    EXPECT_EQ(ApplicationController::current(), nullptr);
    {
        ApplicationController first;
        {
            ApplicationController second;
            EXPECT_EQ(ApplicationController::current(), &first);
        }
        EXPECT_EQ(ApplicationController::current(), &first);
    }
    EXPECT_EQ(ApplicationController::current(), nullptr);
}

TEST(ApplicationController, AnswersAcrossFactoriesInRegistrationOrder)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    app.addFactories(std::make_unique<Factory>("A"), nullptr, nullptr);
    app.addFactories(std::make_unique<Factory>("B"), nullptr, nullptr);
    const std::vector<AlgorithmDescriptor> all = app.algorithmDescriptors();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "A.Stream");
    EXPECT_EQ(all[1].name, "B.Stream");
    EXPECT_EQ(app.ioAlgorithmDescriptors().size(), 2u);
    EXPECT_EQ(app.algorithmDescriptor("B.Stream")->factoryName, "B");
    EXPECT_FALSE(app.algorithmDescriptor("C.Stream").has_value());

    EXPECT_EQ(app.instantiateAlgorithm("C.Stream"), nullptr);
    EXPECT_EQ(capture.sink().count(4, "ApplicationController", "No algorithm is registered as C.Stream"), 1u);
    Data item;
    EXPECT_EQ(app.instantiateAlgorithm("A.Stream", DataList{&item}), nullptr);
    EXPECT_EQ(capture.sink().count(4, "ApplicationController",
                                   "Algorithm A.Stream could not be created for 1 data item(s)"),
              1u);
}

TEST(ApplicationController, AsksControllerFactoriesInOrderSkippingDeclinesAndFailures)
{
    ScopedLogCapture capture(0);
    std::vector<std::string> log;
    {
        ApplicationController app;
        app.addFactories(
            nullptr, std::make_unique<PanelFactory>("declines", PanelFactory::Mode::Decline, &log), nullptr);
        app.addFactories(nullptr, std::make_unique<PanelFactory>("throws", PanelFactory::Mode::Throw, &log),
                         nullptr);
        app.addFactories(nullptr, std::make_unique<PanelFactory>("makes", PanelFactory::Mode::Make, &log),
                         nullptr);
        Stream algorithm;
        EXPECT_EQ(app.createController(nullptr), nullptr);
        {
            std::unique_ptr<AlgorithmController> panel = app.createController(&algorithm);
            ASSERT_NE(panel, nullptr);
            EXPECT_EQ(panel->algorithm(), &algorithm);
        }
        EXPECT_EQ(capture.sink().count(4, "ApplicationController",
                                       "Controller factory throws failed: panel broken"),
                  1u);
    }
    // Destroyed with the controller, newest set first.
    EXPECT_EQ(log, (std::vector<std::string>{"panel destroyed", "makes controller factory destroyed",
                                             "throws controller factory destroyed",
                                             "declines controller factory destroyed"}));
}

TEST(ApplicationController, RemovesTheFactoriesOfOneOwnerOnly)
{
    std::vector<std::string> log;
    ApplicationController app;
    app.addFactories(std::make_unique<Factory>("A"),
                     std::make_unique<PanelFactory>("a", PanelFactory::Mode::Make, &log), nullptr, 1);
    app.addFactories(std::make_unique<Factory>("B"), nullptr, nullptr, 2);
    app.addFactories(nullptr, std::make_unique<PanelFactory>("a2", PanelFactory::Mode::Make, &log), nullptr,
                     1);
    EXPECT_EQ(app.removeFactories(1), 2u);
    EXPECT_EQ(
        log, (std::vector<std::string>{"a2 controller factory destroyed", "a controller factory destroyed"}));
    ASSERT_EQ(app.factorySets().size(), 1u);
    EXPECT_EQ(app.factorySets()[0].owner, 2u);
    EXPECT_EQ(app.removeFactories(1), 0u);
}

class KeepingPlugin : public QuorvaneLibPlugin
{
public:
    int initialize() override
    {
        registerFactories(std::make_unique<Factory>("K"), nullptr,
                          std::make_unique<DataAnnotationFactory>("K"));
        return 0;
    }
};

TEST(QuorvaneLibPlugin, HandsFactoriesToItsControllerOrKeepsThemForCollection)
{
    KeepingPlugin alone;
    EXPECT_EQ(alone.initialize(), 0);
    std::vector<ApplicationController::FactorySet> kept = alone.takeFactories();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].algorithmFactory->factoryName(), "K");
    EXPECT_EQ(kept[0].controllerFactory, nullptr);
    EXPECT_EQ(kept[0].annotationFactory->name(), "K");
    EXPECT_TRUE(alone.takeFactories().empty());

    ApplicationController app;
    KeepingPlugin connected;
    connected.setApplicationController(app);
    EXPECT_EQ(connected.applicationController(), &app);
    EXPECT_EQ(connected.initialize(), 0);
    EXPECT_TRUE(connected.takeFactories().empty());
    ASSERT_EQ(app.factorySets().size(), 1u);
    EXPECT_EQ(app.factorySets()[0].owner, connected.ownerToken());
    EXPECT_EQ(app.algorithmDescriptors()[0].name, "K.Stream");
}

}  // namespace
}  // namespace Quorvane
