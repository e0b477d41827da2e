#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/DataAnnotationFactory.h>
#include <Quorvane/Lib/LibExport.h>
#include <Quorvane/Lib/PluginBase.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvane {

/// Base of plugins that add factories. A plugin calls registerFactories() from its
/// initialize(). If the host gave it an application controller first (the loader
/// always does), the factories go straight there, marked as this plugin's, and the
/// loader destroys them after the plugin and before unloading the module; otherwise
/// the plugin keeps them until takeFactories() or its own destruction.
class QUORVANE_LIB_EXPORT QuorvaneLibPlugin : public PluginBase, private Utils::NotCopyable
{
public:
    QuorvaneLibPlugin();
    ~QuorvaneLibPlugin() override;

    virtual void setApplicationController(ApplicationController& controller);
    ApplicationController* applicationController() const { return m_controller; }

    /// Hands out (and forgets) the factory sets registered while no application
    /// controller was set, in registration order; empty when there are none.
    std::vector<ApplicationController::FactorySet> takeFactories();

    /// The owner token under which this plugin's factories are registered.
    std::uintptr_t ownerToken() const;

protected:
    /// Takes ownership of the factories (any may be null). May be called more than
    /// once; every call makes one set.
    void registerFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
                           std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
                           std::unique_ptr<DataAnnotationFactory> annotationFactory);

private:
    ApplicationController* m_controller = nullptr;
    std::vector<ApplicationController::FactorySet> m_kept;
};

}  // namespace Quorvane
