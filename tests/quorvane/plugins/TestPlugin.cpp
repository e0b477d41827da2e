// A small plugin module for the loader tests, built several times from this one
// file. Each build switches on one deliberate fault with a definition:
//   TEST_PLUGIN_ID "x"       identifier returned by quorvanePluginId (required)
//   TEST_GUARD_ID "y"        identifier the registration guard reports (default: the same)
//   TEST_NO_GUARD            build no registration guard
//   TEST_OMIT_CREATE / TEST_OMIT_ID / TEST_OMIT_DESCRIPTOR   leave that export out
//   TEST_DESCRIPTOR "..."    descriptor text (default: the host's own form)
//   TEST_NULL_DESCRIPTOR     export a null descriptor pointer
//   TEST_CREATE_NULL         quorvaneCreatePlugin returns null
//   TEST_INIT_RESULT n       initialize() returns n after registering its factories
//   TEST_INIT_THROWS         initialize() throws after registering its factories
//   TEST_DEPENDENCY "z"      the plugin depends on "z" (besides "Quorvane.Stream")
//   TEST_UNDEFINED_SYMBOL    needs a function that nothing defines (dlopen refuses it)
// Every object logs its destruction (category "TestPlugin") so tests can check what
// was destroyed, and in which order, by the time the module is unloaded.

#include <Quorvane/Core/Log.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>
#include <Quorvane/Lib/PluginExports.h>

#include <memory>
#include <stdexcept>
#include <string>

#ifndef TEST_PLUGIN_ID
#error "TEST_PLUGIN_ID is required"
#endif
#ifndef TEST_GUARD_ID
#define TEST_GUARD_ID TEST_PLUGIN_ID
#endif
#ifndef TEST_DESCRIPTOR
#define TEST_DESCRIPTOR \
    "__QUORVANE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion="
#endif

namespace {

void note(const std::string& what)
{
    Quorvane::Log::log(2, "TestPlugin", std::string(TEST_PLUGIN_ID) + ": " + what, "", -1);
}

/// An IO algorithm that "loads" .echo files; its name shows which module made it.
class EchoAlgorithm : public Quorvane::IoAlgorithm
{
public:
    ~EchoAlgorithm() override { note("algorithm destroyed"); }
    void execute() override { setStatus(Success); }
    std::vector<std::string> supportedFileExtensions() const override { return {"echo"}; }
    void configure(const Quorvane::Properties* p) override
    {
        if (p != nullptr) {
            p->param("value", value);
        }
    }
    void configuration(Quorvane::Properties* p) const override
    {
        if (p != nullptr) {
            p->setParam("value", value);
        }
    }
    int value = 0;
};

class EchoAlgorithmFactory : public Quorvane::AlgorithmFactory
{
public:
    EchoAlgorithmFactory() : AlgorithmFactory(TEST_PLUGIN_ID)
    {
        registerAlgorithm<EchoAlgorithm>("Echo", "IO;Test;Echo", 7);
    }
    ~EchoAlgorithmFactory() override { note("algorithm factory destroyed"); }
};

class EchoController : public Quorvane::AlgorithmController
{
public:
    using AlgorithmController::AlgorithmController;
    ~EchoController() override { note("controller destroyed"); }
};

class EchoControllerFactory : public Quorvane::AlgorithmControllerFactory
{
public:
    EchoControllerFactory() : AlgorithmControllerFactory("Test") {}
    ~EchoControllerFactory() override { note("controller factory destroyed"); }
    Quorvane::AlgorithmController* createController(Quorvane::Algorithm* algorithm) const override
    {
        if (dynamic_cast<EchoAlgorithm*>(algorithm) == nullptr) {
            return nullptr;
        }
        return new EchoController(algorithm);
    }
};

class TestPlugin : public Quorvane::QuorvaneLibPlugin
{
public:
    ~TestPlugin() override { note("plugin destroyed"); }
    std::string vendor() const override { return "Test vendor"; }
    std::string description() const override { return "Loader test plugin"; }
    std::vector<std::string> dependencies() const override
    {
#ifdef TEST_DEPENDENCY
        return {"Quorvane.Stream", TEST_DEPENDENCY};
#else
        return {"Quorvane.Stream"};
#endif
    }
    int initialize() override
    {
        registerFactories(std::make_unique<EchoAlgorithmFactory>(), std::make_unique<EchoControllerFactory>(),
                          nullptr);
#ifdef TEST_INIT_THROWS
        throw std::runtime_error("initialize failed on purpose");
#endif
#ifdef TEST_INIT_RESULT
        return TEST_INIT_RESULT;
#else
        return 0;
#endif
    }
};

#ifndef TEST_NO_GUARD
const char* guardIdentifier()
{
    return TEST_GUARD_ID;
}

const Quorvane::PluginAutoRegistrationGuard g_guard(&guardIdentifier);
#endif

/// Destroyed during the module's static destruction, i.e. when dlclose unloads it.
struct ModuleLifetime
{
    ~ModuleLifetime() { note("module unloaded"); }
} g_moduleLifetime;

}  // namespace

extern "C" {

#ifdef TEST_UNDEFINED_SYMBOL
void quorvaneTestNobodyDefinesThis();
QUORVANE_PLUGIN_EXPORT void quorvaneTestUsesTheUndefinedSymbol();
QUORVANE_PLUGIN_EXPORT void quorvaneTestUsesTheUndefinedSymbol()
{
    quorvaneTestNobodyDefinesThis();
}
#endif

#ifndef TEST_OMIT_DESCRIPTOR
#ifdef TEST_NULL_DESCRIPTOR
QUORVANE_PLUGIN_EXPORT const char* quorvanePluginDescriptor = nullptr;
#else
QUORVANE_PLUGIN_EXPORT const char* quorvanePluginDescriptor = TEST_DESCRIPTOR;
#endif
#endif

#ifndef TEST_OMIT_CREATE
QUORVANE_PLUGIN_EXPORT Quorvane::QuorvaneLibPlugin* quorvaneCreatePlugin()
{
#ifdef TEST_CREATE_NULL
    return nullptr;
#else
    return new TestPlugin();
#endif
}
#endif

#ifndef TEST_OMIT_ID
QUORVANE_PLUGIN_EXPORT const char* quorvanePluginId()
{
    return TEST_PLUGIN_ID;
}
#endif

}  // extern "C"
