#include <Quorvane/Lib/PluginLoader.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/String.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>
#include <Quorvane/Lib/QuorvaneLibPlugin.h>

#include "ElfModuleCheck.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

namespace Quorvane {

namespace Internal {
namespace {

constexpr const char* kCategory = "PluginLoader";

using CreateFunction = QuorvaneLibPlugin* (*)();
using IdFunction = const char* (*)();

/// Where the module holding `address` is loaded, or nullptr.
const void* moduleBaseOf(const void* address)
{
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

template <class F>
const void* functionAddress(F function)
{
    // dladdr wants an address; a function pointer's value is one on every ELF platform.
    return reinterpret_cast<const void*>(function);
}

std::string dlError()
{
    const char* e = dlerror();
    return e == nullptr ? std::string("unknown error") : std::string(e);
}

std::string currentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void deletePlugin(QuorvaneLibPlugin* plugin, const std::string& identifier)
{
    try {
        delete plugin;
    } catch (...) {
        QUORVANE_LOG(Log::Error, kCategory,
                     "The destructor of plugin " << identifier << " threw: " << currentExceptionText());
    }
}

/// Why a load stopped. A deferred missing dependency is logged at Debug only.
struct Failure
{
    PluginLoadResult::Code code;
    std::string why;
    int level = Log::Error;
};
/// The outcome of one step of a load: nothing, or why the load stops.
using StepResult = std::optional<Failure>;

/// The three entry points every plugin module exports.
struct Exports
{
    CreateFunction create = nullptr;
    IdFunction id = nullptr;
    const void* descriptor = nullptr;  ///< the symbol: one pointer to the descriptor text
};

/// What a load has acquired so far: the open module, then the plugin and the
/// factories registered under its owner token. undo() gives them back, plugin
/// first; the destructor does so unless the load dismissed the guard.
class LoadUndo : private Utils::NotCopyable
{
public:
    explicit LoadUndo(ApplicationController& controller) : m_controller(controller) {}
    ~LoadUndo() { undo(); }

    void holdModule(void* handle) { m_handle = handle; }
    void holdPlugin(QuorvaneLibPlugin* plugin, std::uintptr_t owner, const std::string& identifier)
    {
        m_plugin = plugin;
        m_owner = owner;
        m_identifier = identifier;
    }
    void undo()
    {
        if (m_plugin != nullptr) {
            deletePlugin(m_plugin, m_identifier);
            m_controller.removeFactories(m_owner);
            m_plugin = nullptr;
        }
        if (m_handle != nullptr) {
            dlclose(m_handle);
            m_handle = nullptr;
        }
    }
    /// The load succeeded: the loader owns everything now.
    void dismiss()
    {
        m_plugin = nullptr;
        m_handle = nullptr;
    }

private:
    ApplicationController& m_controller;
    void* m_handle = nullptr;
    QuorvaneLibPlugin* m_plugin = nullptr;
    std::uintptr_t m_owner = 0;
    std::string m_identifier;
};

StepResult checkFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return Failure{PluginLoadResult::Code::FileNotFound, "no such file"};
    }
    std::string notModule;
    if (!checkElfModule(path, notModule)) {
        return Failure{PluginLoadResult::Code::InvalidModuleFile,
                       "not a complete ELF shared object for this machine: " + notModule};
    }
    return std::nullopt;
}

StepResult openModule(const std::string& path, void*& handle)
{
    dlerror();
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return Failure{PluginLoadResult::Code::OpenFailed, dlError()};
    }
    return std::nullopt;
}

StepResult resolveExports(void* handle, Exports& exports)
{
    void* createSymbol = dlsym(handle, "quorvaneCreatePlugin");
    void* idSymbol = dlsym(handle, "quorvanePluginId");
    void* descriptorSymbol = dlsym(handle, "quorvanePluginDescriptor");
    if (createSymbol == nullptr) {
        return Failure{PluginLoadResult::Code::MissingCreateExport, "missing export quorvaneCreatePlugin"};
    }
    if (idSymbol == nullptr) {
        return Failure{PluginLoadResult::Code::MissingIdExport, "missing export quorvanePluginId"};
    }
    if (descriptorSymbol == nullptr) {
        return Failure{PluginLoadResult::Code::MissingDescriptorExport,
                       "missing export quorvanePluginDescriptor"};
    }
    exports.create = reinterpret_cast<CreateFunction>(createSymbol);
    exports.id = reinterpret_cast<IdFunction>(idSymbol);
    exports.descriptor = descriptorSymbol;
    return std::nullopt;
}

/// Parses the descriptor and checks that it was built for a host this one serves.
StepResult readDescriptor(const Exports& exports, PluginDescriptor& descriptor)
{
    const char* descriptorText = *static_cast<const char* const*>(exports.descriptor);
    if (descriptorText == nullptr) {
        return Failure{PluginLoadResult::Code::BadDescriptor, "the descriptor pointer is null"};
    }
    const std::size_t descriptorLength = strnlen(descriptorText, PluginDescriptor::maxLength + 1);
    if (descriptorLength > PluginDescriptor::maxLength) {
        return Failure{
            PluginLoadResult::Code::BadDescriptor,
            "the descriptor is longer than " + std::to_string(PluginDescriptor::maxLength) + " characters"};
    }
    std::string why;
    if (!PluginDescriptor::parse(std::string(descriptorText, descriptorLength), descriptor, &why)) {
        return Failure{PluginLoadResult::Code::BadDescriptor, why};
    }
    if (!PluginDescriptor::isCompatibleHostVersion(descriptor.major, descriptor.minor)) {
        return Failure{PluginLoadResult::Code::IncompatibleHostVersion,
                       "built for host " + std::to_string(descriptor.major) + "." +
                           std::to_string(descriptor.minor) + "." + std::to_string(descriptor.patch) +
                           ", this host is " + PluginDescriptor::hostVersionText()};
    }
    return std::nullopt;
}

StepResult readIdentifier(const Exports& exports, std::string& identifier)
{
    const char* idText = nullptr;
    try {
        idText = exports.id();
    } catch (...) {
        return Failure{PluginLoadResult::Code::MissingIdentifier,
                       "quorvanePluginId threw: " + currentExceptionText()};
    }
    if (idText == nullptr || *idText == '\0') {
        return Failure{PluginLoadResult::Code::MissingIdentifier, "quorvanePluginId returned no identifier"};
    }
    identifier = std::string(idText, strnlen(idText, PluginDescriptor::maxLength));
    return std::nullopt;
}

/// The guard built during the module's static initialisation must name the same plugin.
StepResult checkRegistrationGuard(const Exports& exports, const std::string& identifier)
{
    const void* moduleBase = moduleBaseOf(functionAddress(exports.id));
    std::vector<std::string> guardIds;
    for (const PluginAutoRegistrationGuard::Record& record : PluginAutoRegistrationGuard::registered()) {
        if (moduleBase != nullptr && moduleBaseOf(functionAddress(record.function)) == moduleBase) {
            guardIds.push_back(record.identifier);
        }
    }
    if (guardIds.empty()) {
        return Failure{PluginLoadResult::Code::NoRegistrationGuard,
                       "the module registered no PluginAutoRegistrationGuard"};
    }
    const auto other = std::find_if(guardIds.begin(), guardIds.end(),
                                    [&](const std::string& guardId) { return guardId != identifier; });
    if (other != guardIds.end()) {
        return Failure{
            PluginLoadResult::Code::IdentifierMismatch,
            "quorvanePluginId returns '" + identifier + "' but the module's guard says '" + *other + "'"};
    }
    return std::nullopt;
}

StepResult createPlugin(const Exports& exports, QuorvaneLibPlugin*& plugin)
{
    try {
        plugin = exports.create();
    } catch (...) {
        return Failure{PluginLoadResult::Code::CreateFailed,
                       "quorvaneCreatePlugin threw: " + currentExceptionText()};
    }
    if (plugin == nullptr) {
        return Failure{PluginLoadResult::Code::CreateFailed, "quorvaneCreatePlugin returned null"};
    }
    return std::nullopt;
}

/// What the plugin says about itself: vendor, description, dependencies.
StepResult describePlugin(QuorvaneLibPlugin& plugin, PluginLoader::PluginInfo& info)
{
    try {
        info.vendor = plugin.vendor();
        info.description = plugin.description();
        info.dependencies = plugin.dependencies();
    } catch (...) {
        return Failure{PluginLoadResult::Code::CreateFailed,
                       "the plugin's vendor, description or dependencies threw: " + currentExceptionText()};
    }
    return std::nullopt;
}

StepResult checkDependencies(const PluginLoader& loader, const PluginLoader::PluginInfo& info,
                             bool deferMissingDependencies)
{
    std::vector<std::string> missing;
    const auto& builtIn = PluginLoader::builtInParts();
    for (const std::string& dependency : info.dependencies) {
        if (std::find(builtIn.begin(), builtIn.end(), dependency) == builtIn.end() &&
            !loader.isLoaded(dependency)) {
            missing.push_back(dependency);
        }
    }
    if (!missing.empty()) {
        return Failure{PluginLoadResult::Code::MissingDependency,
                       "plugin " + info.identifier + " needs " + String::join(missing, ", ") +
                           ", which is neither part of the host nor loaded",
                       deferMissingDependencies ? Log::Debug : Log::Error};
    }
    return std::nullopt;
}

/// Hands the plugin the controller and initializes it, which registers its factories.
StepResult initializePlugin(QuorvaneLibPlugin& plugin, ApplicationController& controller,
                            const std::string& identifier, std::uintptr_t owner)
{
    plugin.setApplicationController(controller);
    int status = 0;
    try {
        status = plugin.initialize();
    } catch (...) {
        return Failure{PluginLoadResult::Code::InitializeThrew,
                       "initialize of plugin " + identifier + " threw: " + currentExceptionText()};
    }
    if (status != 0) {
        return Failure{PluginLoadResult::Code::InitializeFailed,
                       "initialize of plugin " + identifier + " returned " + std::to_string(status)};
    }
    // A plugin that kept its factories (it ignored the controller) still gets them registered.
    for (ApplicationController::FactorySet& set : plugin.takeFactories()) {
        controller.addFactories(std::move(set.algorithmFactory), std::move(set.controllerFactory),
                                std::move(set.annotationFactory), owner);
    }
    return std::nullopt;
}

/// Undoes the load so far, then logs and returns the failure.
PluginLoadResult failed(PluginLoadResult result, LoadUndo& undo, const Failure& failure)
{
    undo.undo();
    result.code = failure.code;
    result.message = "Cannot load plugin " + result.path + ": " + failure.why;
    QUORVANE_LOG(failure.level, kCategory, result.message << " [" << result.name() << "]");
    return result;
}

}  // namespace
}  // namespace Internal

struct PluginLoader::Module
{
    void* handle = nullptr;
    std::uintptr_t owner = 0;
    PluginInfo info;
};

PluginLoader::PluginLoader(ApplicationController& controller) : m_controller(controller) {}

PluginLoader::~PluginLoader()
{
    unloadAll();
}

const std::vector<std::string>& PluginLoader::builtInParts()
{
    static const std::vector<std::string> parts = {"Quorvane.Core", "Quorvane.Lib", "Quorvane.Stream"};
    return parts;
}

bool PluginLoader::isLoaded(const std::string& identifier) const
{
    return std::any_of(m_modules.begin(), m_modules.end(),
                       [&](const std::unique_ptr<Module>& m) { return m->info.identifier == identifier; });
}

std::vector<PluginLoader::PluginInfo> PluginLoader::plugins() const
{
    std::vector<PluginInfo> out;
    out.reserve(m_modules.size());
    for (const auto& m : m_modules) {
        out.push_back(m->info);
    }
    return out;
}

PluginLoadResult PluginLoader::load(const std::string& path)
{
    return loadModule(path, false);
}

PluginLoadResult PluginLoader::loadModule(const std::string& path, bool deferMissingDependencies)
{
    using Internal::Failure;
    PluginLoadResult result;
    result.path = path;
    Internal::LoadUndo undo(m_controller);

    if (auto failure = Internal::checkFile(path)) {
        return Internal::failed(result, undo, *failure);
    }
    void* handle = nullptr;
    if (auto failure = Internal::openModule(path, handle)) {
        return Internal::failed(result, undo, *failure);
    }
    undo.holdModule(handle);

    Internal::Exports exports;
    PluginDescriptor descriptor;
    if (auto failure = Internal::resolveExports(handle, exports)) {
        return Internal::failed(result, undo, *failure);
    }
    if (auto failure = Internal::readDescriptor(exports, descriptor)) {
        return Internal::failed(result, undo, *failure);
    }
    if (auto failure = Internal::readIdentifier(exports, result.identifier)) {
        return Internal::failed(result, undo, *failure);
    }
    if (auto failure = Internal::checkRegistrationGuard(exports, result.identifier)) {
        return Internal::failed(result, undo, *failure);
    }
    if (isLoaded(result.identifier)) {
        return Internal::failed(result, undo,
                                Failure{PluginLoadResult::Code::AlreadyLoaded,
                                        "plugin " + result.identifier + " is loaded already"});
    }

    QuorvaneLibPlugin* plugin = nullptr;
    if (auto failure = Internal::createPlugin(exports, plugin)) {
        return Internal::failed(result, undo, *failure);
    }
    const std::uintptr_t owner = plugin->ownerToken();
    undo.holdPlugin(plugin, owner, result.identifier);

    PluginInfo info;
    info.identifier = result.identifier;
    info.path = path;
    info.descriptor = descriptor;
    info.plugin = plugin;
    if (auto failure = Internal::describePlugin(*plugin, info)) {
        return Internal::failed(result, undo, *failure);
    }
    if (auto failure = Internal::checkDependencies(*this, info, deferMissingDependencies)) {
        return Internal::failed(result, undo, *failure);
    }
    if (auto failure = Internal::initializePlugin(*plugin, m_controller, result.identifier, owner)) {
        return Internal::failed(result, undo, *failure);
    }

    auto module = std::make_unique<Module>();
    module->handle = handle;
    module->owner = owner;
    module->info = std::move(info);
    m_modules.push_back(std::move(module));
    undo.dismiss();

    result.code = PluginLoadResult::Code::Loaded;
    result.message = "Loaded plugin " + result.identifier + " from " + path;
    QUORVANE_LOG(Log::Info, Internal::kCategory, result.message);
    return result;
}

std::vector<PluginLoadResult> PluginLoader::loadDirectory(const std::string& directory)
{
    std::vector<std::string> paths;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) {
        QUORVANE_LOG(Log::Error, Internal::kCategory,
                     "Cannot read plugin directory " << directory << ": " << ec.message());
        return {};
    }
    for (const std::filesystem::directory_entry& entry : it) {
        std::error_code fileError;
        if (entry.path().extension() == ".so" && entry.is_regular_file(fileError)) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());

    // Modules that need another module of the directory are retried once that one
    // has loaded; only the last attempt of each is reported as a failure.
    std::map<std::string, PluginLoadResult> results;
    std::vector<std::string> pending = paths;
    bool progress = true;
    while (progress && !pending.empty()) {
        progress = false;
        std::vector<std::string> retry;
        for (const std::string& path : pending) {
            PluginLoadResult r = loadModule(path, true);
            if (r.code == PluginLoadResult::Code::MissingDependency) {
                retry.push_back(path);
            } else {
                progress = progress || r.ok();
            }
            results[path] = std::move(r);
        }
        pending = std::move(retry);
    }
    for (const std::string& path : pending) {
        results[path] = loadModule(path, false);
    }

    std::vector<PluginLoadResult> out;
    out.reserve(paths.size());
    for (const std::string& path : paths) {
        out.push_back(std::move(results[path]));
    }
    return out;
}

void PluginLoader::unloadModule(Module& module)
{
    Internal::deletePlugin(module.info.plugin, module.info.identifier);
    module.info.plugin = nullptr;
    m_controller.removeFactories(module.owner);
    dlclose(module.handle);
    module.handle = nullptr;
    QUORVANE_LOG(Log::Info, Internal::kCategory, "Unloaded plugin " << module.info.identifier);
}

bool PluginLoader::unload(const std::string& identifier)
{
    const auto it = std::find_if(m_modules.begin(), m_modules.end(), [&](const std::unique_ptr<Module>& m) {
        return m->info.identifier == identifier;
    });
    if (it == m_modules.end()) {
        return false;
    }
    for (const auto& other : m_modules) {
        const auto& deps = other->info.dependencies;
        if (other.get() != it->get() && std::find(deps.begin(), deps.end(), identifier) != deps.end()) {
            QUORVANE_LOG(Log::Error, Internal::kCategory,
                         "Cannot unload plugin " << identifier << ": plugin " << other->info.identifier
                                                 << " depends on it");
            return false;
        }
    }
    unloadModule(**it);
    m_modules.erase(it);
    return true;
}

void PluginLoader::unloadAll()
{
    while (!m_modules.empty()) {
        unloadModule(*m_modules.back());
        m_modules.pop_back();
    }
}

}  // namespace Quorvane
