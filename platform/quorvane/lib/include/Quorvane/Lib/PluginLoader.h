#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Lib/LibExport.h>
#include <Quorvane/Lib/PluginDescriptor.h>
#include <Quorvane/Lib/PluginLoadResult.h>

#include <memory>
#include <string>
#include <vector>

namespace Quorvane {

class ApplicationController;
class QuorvaneLibPlugin;

/// Loads plugin modules into an ApplicationController and unloads them again.
///
/// Loading one module: check that the file is a complete ELF shared object for this
/// machine (a truncated one would crash the dynamic linker); dlopen (RTLD_NOW |
/// RTLD_LOCAL); resolve quorvaneCreatePlugin, quorvanePluginId and
/// quorvanePluginDescriptor; parse and check the descriptor; check that the module's
/// PluginAutoRegistrationGuard carries the identifier that quorvanePluginId() returns;
/// create the plugin; check its dependencies (the host's own parts, builtInParts(), or
/// plugins loaded before); give it the application controller; initialize() it, which
/// registers its factories with the controller. Every failure undoes what was done
/// (plugin deleted, factories destroyed, module closed), is logged at level 4 in
/// category "PluginLoader", and comes back as a PluginLoadResult. Nothing is thrown.
///
/// Unloading runs in reverse load order; for each module: delete the plugin, destroy
/// its factories, dlclose. Everything made from a plugin's code (algorithms, panels,
/// streams) must be gone before (the loader cannot know about them).
/// Called on the host's calling thread; not thread-safe.
class QUORVANE_LIB_EXPORT PluginLoader : private Utils::NotCopyable
{
public:
    /// A loaded module.
    struct PluginInfo
    {
        std::string identifier;
        std::string path;
        std::string vendor;
        std::string description;
        std::vector<std::string> dependencies;
        PluginDescriptor descriptor;
        QuorvaneLibPlugin* plugin = nullptr;  ///< owned by the loader
    };

    explicit PluginLoader(ApplicationController& controller);
    /// Unloads everything (unloadAll()).
    ~PluginLoader();

    PluginLoadResult load(const std::string& path);
    /// Loads every "*.so" file directly in `directory`, in name order; modules whose
    /// only problem was a dependency provided by another module of the directory are
    /// retried after it. One result per file; a missing directory gives none (logged).
    std::vector<PluginLoadResult> loadDirectory(const std::string& directory);

    /// Unloads the plugin with this identifier; false when none is loaded. Refused (false,
    /// logged) while another loaded plugin depends on it.
    bool unload(const std::string& identifier);
    void unloadAll();

    bool isLoaded(const std::string& identifier) const;
    std::vector<PluginInfo> plugins() const;
    ApplicationController& applicationController() const { return m_controller; }

    /// Dependencies every plugin may name without another plugin providing them.
    static const std::vector<std::string>& builtInParts();

private:
    struct Module;
    /// With `deferMissingDependencies`, a missing dependency is logged at level 0 only
    /// (loadDirectory() retries it).
    PluginLoadResult loadModule(const std::string& path, bool deferMissingDependencies);
    void unloadModule(Module& module);

    ApplicationController& m_controller;
    std::vector<std::unique_ptr<Module>> m_modules;
};

}  // namespace Quorvane
