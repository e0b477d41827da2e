#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/Properties.h>
#include <Quorvane/Lib/AlgorithmControllerFactory.h>
#include <Quorvane/Lib/AlgorithmDescriptor.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/DataAnnotationFactory.h>
#include <Quorvane/Lib/DataList.h>
#include <Quorvane/Lib/LibExport.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quorvane {

class Algorithm;
class AlgorithmController;

/// The host application's hub: owns the factories that plugins register and answers
/// the host programs' questions over all of them, in registration order.
///
/// The first controller constructed while none exists becomes current() until it is
/// destroyed; IoAlgorithm::configureFromGlobalSettings() reads its globalSettings().
/// Called on the host's calling (or user-interface) thread; not thread-safe.
///
/// Destroy it after the PluginLoader that uses it, and destroy every algorithm,
/// panel and data made by plugin code before either.
class QUORVANE_LIB_EXPORT ApplicationController : private Utils::NotCopyable
{
public:
    /// The factories one owner (usually a plugin) registered with one call.
    struct FactorySet
    {
        std::uintptr_t owner = 0;  ///< opaque owner token (a plugin's address); 0 for the host itself
        std::unique_ptr<AlgorithmFactory> algorithmFactory;
        std::unique_ptr<AlgorithmControllerFactory> controllerFactory;
        std::unique_ptr<DataAnnotationFactory> annotationFactory;
    };

    ApplicationController();
    ~ApplicationController();

    static ApplicationController* current();

    /// Takes ownership of the factories (any may be null). Sets of one owner are kept
    /// in the order they arrive.
    void addFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
                      std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
                      std::unique_ptr<DataAnnotationFactory> annotationFactory, std::uintptr_t owner = 0);
    /// Destroys the factories of `owner` (newest first, within a set the annotation,
    /// controller, then algorithm factory); returns how many sets there were.
    std::size_t removeFactories(std::uintptr_t owner);
    const std::vector<FactorySet>& factorySets() const { return m_sets; }

    /// All algorithm descriptors of all factories, in registration order.
    std::vector<AlgorithmDescriptor> algorithmDescriptors() const;
    std::vector<AlgorithmDescriptor> ioAlgorithmDescriptors() const;
    /// The descriptor of a registered name (the first factory that has it).
    std::optional<AlgorithmDescriptor> algorithmDescriptor(const std::string& name) const;
    /// Creates the algorithm registered as `name` (the first factory that has it);
    /// nullptr, with a level-4 message (category "ApplicationController"), when no
    /// factory has it or creation failed. Never throws.
    std::unique_ptr<Algorithm> instantiateAlgorithm(const std::string& name, const DataList& data = {}) const;
    /// A panel for `algorithm` from the first controller factory that makes one;
    /// nullptr when none does. Never throws (a throwing factory is logged and skipped).
    std::unique_ptr<AlgorithmController> createController(Algorithm* algorithm) const;

    /// Host-wide settings; see IoAlgorithm::configureFromGlobalSettings().
    Properties& globalSettings() { return m_globalSettings; }
    const Properties& globalSettings() const { return m_globalSettings; }

private:
    std::vector<FactorySet> m_sets;
    Properties m_globalSettings{"Global settings"};
};

}  // namespace Quorvane
