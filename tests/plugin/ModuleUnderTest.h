#pragma once

// The module's plugin created through its exported entry point and initialised without an
// application controller, so its factories come back through takeFactories().

#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/PluginExports.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace Quorvane {
namespace Testing {

struct ModuleUnderTest
{
    ModuleUnderTest() : plugin(quorvaneCreatePlugin())
    {
        if (plugin) {
            initializeResult = plugin->initialize();
            sets = plugin->takeFactories();
        }
    }

    AlgorithmFactory* algorithmFactory() const
    {
        return sets.empty() ? nullptr : sets[0].algorithmFactory.get();
    }
    AlgorithmControllerFactory* controllerFactory() const
    {
        return sets.empty() ? nullptr : sets[0].controllerFactory.get();
    }

    std::unique_ptr<QuorvaneLibPlugin> plugin;
    int initializeResult = -1;
    std::vector<ApplicationController::FactorySet> sets;
};

}  // namespace Testing
}  // namespace Quorvane
