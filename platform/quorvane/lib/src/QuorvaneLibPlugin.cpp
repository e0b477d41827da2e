#include <Quorvane/Lib/QuorvaneLibPlugin.h>

namespace Quorvane {

QuorvaneLibPlugin::QuorvaneLibPlugin() = default;

// Factories still kept here are destroyed with the plugin (their code is still loaded).
QuorvaneLibPlugin::~QuorvaneLibPlugin() = default;

void QuorvaneLibPlugin::setApplicationController(ApplicationController& controller)
{
    m_controller = &controller;
}

std::vector<ApplicationController::FactorySet> QuorvaneLibPlugin::takeFactories()
{
    std::vector<ApplicationController::FactorySet> out;
    out.swap(m_kept);
    return out;
}

std::uintptr_t QuorvaneLibPlugin::ownerToken() const
{
    return reinterpret_cast<std::uintptr_t>(this);
}

void QuorvaneLibPlugin::registerFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
                                          std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
                                          std::unique_ptr<DataAnnotationFactory> annotationFactory)
{
    if (m_controller != nullptr) {
        m_controller->addFactories(std::move(algorithmFactory), std::move(controllerFactory),
                                   std::move(annotationFactory), ownerToken());
        return;
    }
    ApplicationController::FactorySet set;
    set.owner = ownerToken();
    set.algorithmFactory = std::move(algorithmFactory);
    set.controllerFactory = std::move(controllerFactory);
    set.annotationFactory = std::move(annotationFactory);
    m_kept.push_back(std::move(set));
}

}  // namespace Quorvane
