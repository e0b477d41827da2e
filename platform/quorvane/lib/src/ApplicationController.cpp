#include <Quorvane/Lib/ApplicationController.h>

#include "IoDescriptors.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/DataAnnotationFactory.h>

#include <atomic>

namespace Quorvane {

namespace Internal {
namespace {
constexpr const char* kCategory = "ApplicationController";
std::atomic<ApplicationController*> s_current{nullptr};

/// Destroys a set's factories, annotation and controller factories first: panels
/// are made for algorithms, so the algorithm factory goes last.
void destroySet(ApplicationController::FactorySet& set)
{
    set.annotationFactory.reset();
    set.controllerFactory.reset();
    set.algorithmFactory.reset();
}
}  // namespace
}  // namespace Internal

ApplicationController::ApplicationController()
{
    ApplicationController* expected = nullptr;
    Internal::s_current.compare_exchange_strong(expected, this);
}

ApplicationController::~ApplicationController()
{
    for (auto it = m_sets.rbegin(); it != m_sets.rend(); ++it) {
        Internal::destroySet(*it);
    }
    ApplicationController* expected = this;
    Internal::s_current.compare_exchange_strong(expected, nullptr);
}

ApplicationController* ApplicationController::current()
{
    return Internal::s_current.load();
}

void ApplicationController::addFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
                                         std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
                                         std::unique_ptr<DataAnnotationFactory> annotationFactory,
                                         std::uintptr_t owner)
{
    FactorySet set;
    set.owner = owner;
    set.algorithmFactory = std::move(algorithmFactory);
    set.controllerFactory = std::move(controllerFactory);
    set.annotationFactory = std::move(annotationFactory);
    m_sets.push_back(std::move(set));
}

std::size_t ApplicationController::removeFactories(std::uintptr_t owner)
{
    std::size_t removed = 0;
    for (std::size_t i = m_sets.size(); i-- > 0;) {
        if (m_sets[i].owner == owner) {
            Internal::destroySet(m_sets[i]);
            m_sets.erase(m_sets.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
        }
    }
    return removed;
}

std::vector<AlgorithmDescriptor> ApplicationController::algorithmDescriptors() const
{
    std::vector<AlgorithmDescriptor> out;
    for (const FactorySet& set : m_sets) {
        if (set.algorithmFactory) {
            for (AlgorithmDescriptor& d : set.algorithmFactory->algorithmDescriptors()) {
                out.push_back(std::move(d));
            }
        }
    }
    return out;
}

std::vector<AlgorithmDescriptor> ApplicationController::ioAlgorithmDescriptors() const
{
    return Internal::ioDescriptors(algorithmDescriptors());
}

std::optional<AlgorithmDescriptor> ApplicationController::algorithmDescriptor(const std::string& name) const
{
    for (const FactorySet& set : m_sets) {
        if (set.algorithmFactory) {
            if (std::optional<AlgorithmDescriptor> d =
                    set.algorithmFactory->algorithmDescriptor(name, false)) {
                return d;
            }
        }
    }
    return std::nullopt;
}

std::unique_ptr<Algorithm> ApplicationController::instantiateAlgorithm(const std::string& name,
                                                                       const DataList& data) const
{
    for (const FactorySet& set : m_sets) {
        if (!set.algorithmFactory || !set.algorithmFactory->algorithmDescriptor(name, false)) {
            continue;
        }
        std::unique_ptr<Algorithm> algorithm = set.algorithmFactory->instantiateAlgorithm(name, data);
        if (!algorithm) {
            QUORVANE_LOG(
                4, Internal::kCategory,
                "Algorithm " << name << " could not be created for " << data.size() << " data item(s)");
        }
        return algorithm;
    }
    QUORVANE_LOG(Log::Error, Internal::kCategory, "No algorithm is registered as " << name);
    return nullptr;
}

std::unique_ptr<AlgorithmController> ApplicationController::createController(Algorithm* algorithm) const
{
    if (algorithm == nullptr) {
        return nullptr;
    }
    for (const FactorySet& set : m_sets) {
        if (!set.controllerFactory) {
            continue;
        }
        try {
            if (AlgorithmController* controller = set.controllerFactory->createController(algorithm)) {
                return std::unique_ptr<AlgorithmController>(controller);
            }
        } catch (const std::exception& e) {
            QUORVANE_LOG(Log::Error, Internal::kCategory,
                         "Controller factory " << set.controllerFactory->name() << " failed: " << e.what());
        } catch (...) {
            QUORVANE_LOG(
                4, Internal::kCategory,
                "Controller factory " << set.controllerFactory->name() << " failed: unknown exception");
        }
    }
    return nullptr;
}

}  // namespace Quorvane
