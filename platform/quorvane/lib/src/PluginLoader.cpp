#include <Quorvane/Lib/PluginLoader.h>

#include <Quorvane/Core/Log.h>
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
        QUORVANE_LOG(4, kCategory,
                     "The destructor of plugin " << identifier << " threw: " << currentExceptionText());
    }
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
    PluginLoadResult result;
    result.path = path;
    void* handle = nullptr;
    QuorvaneLibPlugin* plugin = nullptr;
    std::uintptr_t owner = 0;

    // Undoes what was done so far and reports the failure.
    auto fail = [&](PluginLoadResult::Code code, const std::string& why, int level = 4) {
        if (plugin != nullptr) {
            Internal::deletePlugin(plugin, result.identifier);
            m_controller.removeFactories(owner);
        }
        if (handle != nullptr) {
            dlclose(handle);
        }
        result.code = code;
        result.message = "Cannot load plugin " + path + ": " + why;
        QUORVANE_LOG(level, Internal::kCategory, result.message << " [" << result.name() << "]");
        return result;
    };

    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return fail(PluginLoadResult::Code::FileNotFound, "no such file");
    }
    std::string notModule;
    if (!Internal::checkElfModule(path, notModule)) {
        return fail(PluginLoadResult::Code::InvalidModuleFile,
                    "not a complete ELF shared object for this machine: " + notModule);
    }

    dlerror();
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return fail(PluginLoadResult::Code::OpenFailed, Internal::dlError());
    }

    void* createSymbol = dlsym(handle, "quorvaneCreatePlugin");
    void* idSymbol = dlsym(handle, "quorvanePluginId");
    void* descriptorSymbol = dlsym(handle, "quorvanePluginDescriptor");
    if (createSymbol == nullptr) {
        return fail(PluginLoadResult::Code::MissingCreateExport, "missing export quorvaneCreatePlugin");
    }
    if (idSymbol == nullptr) {
        return fail(PluginLoadResult::Code::MissingIdExport, "missing export quorvanePluginId");
    }
    if (descriptorSymbol == nullptr) {
        return fail(PluginLoadResult::Code::MissingDescriptorExport,
                    "missing export quorvanePluginDescriptor");
    }
    auto createFunction = reinterpret_cast<Internal::CreateFunction>(createSymbol);
    auto idFunction = reinterpret_cast<Internal::IdFunction>(idSymbol);

    // The descriptor symbol is one pointer to the text.
    const char* descriptorText = *static_cast<const char* const*>(descriptorSymbol);
    if (descriptorText == nullptr) {
        return fail(PluginLoadResult::Code::BadDescriptor, "the descriptor pointer is null");
    }
    const std::size_t descriptorLength = strnlen(descriptorText, PluginDescriptor::maxLength + 1);
    if (descriptorLength > PluginDescriptor::maxLength) {
        return fail(
            PluginLoadResult::Code::BadDescriptor,
            "the descriptor is longer than " + std::to_string(PluginDescriptor::maxLength) + " characters");
    }
    PluginDescriptor descriptor;
    std::string why;
    if (!PluginDescriptor::parse(std::string(descriptorText, descriptorLength), descriptor, &why)) {
        return fail(PluginLoadResult::Code::BadDescriptor, why);
    }
    if (!PluginDescriptor::isCompatibleHostVersion(descriptor.major, descriptor.minor)) {
        return fail(PluginLoadResult::Code::IncompatibleHostVersion,
                    "built for host " + std::to_string(descriptor.major) + "." +
                        std::to_string(descriptor.minor) + "." + std::to_string(descriptor.patch) +
                        ", this host is " + PluginDescriptor::hostVersionText());
    }

    const char* idText = nullptr;
    try {
        idText = idFunction();
    } catch (...) {
        return fail(PluginLoadResult::Code::MissingIdentifier,
                    "quorvanePluginId threw: " + Internal::currentExceptionText());
    }
    if (idText == nullptr || *idText == '\0') {
        return fail(PluginLoadResult::Code::MissingIdentifier, "quorvanePluginId returned no identifier");
    }
    result.identifier = std::string(idText, strnlen(idText, PluginDescriptor::maxLength));

    // The guard built during the module's static initialisation must name the same plugin.
    const void* moduleBase = Internal::moduleBaseOf(Internal::functionAddress(idFunction));
    std::vector<std::string> guardIds;
    for (const PluginAutoRegistrationGuard::Record& record : PluginAutoRegistrationGuard::registered()) {
        if (moduleBase != nullptr &&
            Internal::moduleBaseOf(Internal::functionAddress(record.function)) == moduleBase) {
            guardIds.push_back(record.identifier);
        }
    }
    if (guardIds.empty()) {
        return fail(PluginLoadResult::Code::NoRegistrationGuard,
                    "the module registered no PluginAutoRegistrationGuard");
    }
    for (const std::string& guardId : guardIds) {
        if (guardId != result.identifier) {
            return fail(PluginLoadResult::Code::IdentifierMismatch,
                        "quorvanePluginId returns '" + result.identifier + "' but the module's guard says '" +
                            guardId + "'");
        }
    }
    if (isLoaded(result.identifier)) {
        return fail(PluginLoadResult::Code::AlreadyLoaded,
                    "plugin " + result.identifier + " is loaded already");
    }

    try {
        plugin = createFunction();
    } catch (...) {
        return fail(PluginLoadResult::Code::CreateFailed,
                    "quorvaneCreatePlugin threw: " + Internal::currentExceptionText());
    }
    if (plugin == nullptr) {
        return fail(PluginLoadResult::Code::CreateFailed, "quorvaneCreatePlugin returned null");
    }
    owner = plugin->ownerToken();

    PluginInfo info;
    info.identifier = result.identifier;
    info.path = path;
    info.descriptor = descriptor;
    info.plugin = plugin;
    try {
        info.vendor = plugin->vendor();
        info.description = plugin->description();
        info.dependencies = plugin->dependencies();
    } catch (...) {
        return fail(
            PluginLoadResult::Code::CreateFailed,
            "the plugin's vendor, description or dependencies threw: " + Internal::currentExceptionText());
    }

    std::vector<std::string> missing;
    for (const std::string& dependency : info.dependencies) {
        const auto& builtIn = builtInParts();
        if (std::find(builtIn.begin(), builtIn.end(), dependency) == builtIn.end() && !isLoaded(dependency)) {
            missing.push_back(dependency);
        }
    }
    if (!missing.empty()) {
        return fail(PluginLoadResult::Code::MissingDependency,
                    "plugin " + result.identifier + " needs " + String::join(missing, ", ") +
                        ", which is neither part of the host nor loaded",
                    deferMissingDependencies ? 0 : 4);
    }

    plugin->setApplicationController(m_controller);
    int status = 0;
    try {
        status = plugin->initialize();
    } catch (...) {
        return fail(
            PluginLoadResult::Code::InitializeThrew,
            "initialize of plugin " + result.identifier + " threw: " + Internal::currentExceptionText());
    }
    if (status != 0) {
        return fail(PluginLoadResult::Code::InitializeFailed,
                    "initialize of plugin " + result.identifier + " returned " + std::to_string(status));
    }
    // A plugin that kept its factories (it ignored the controller) still gets them registered.
    for (ApplicationController::FactorySet& set : plugin->takeFactories()) {
        m_controller.addFactories(std::move(set.algorithmFactory), std::move(set.controllerFactory),
                                  std::move(set.annotationFactory), owner);
    }

    auto module = std::make_unique<Module>();
    module->handle = handle;
    module->owner = owner;
    module->info = std::move(info);
    m_modules.push_back(std::move(module));

    result.code = PluginLoadResult::Code::Loaded;
    result.message = "Loaded plugin " + result.identifier + " from " + path;
    QUORVANE_LOG(2, Internal::kCategory, result.message);
    return result;
}

std::vector<PluginLoadResult> PluginLoader::loadDirectory(const std::string& directory)
{
    std::vector<std::string> paths;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) {
        QUORVANE_LOG(4, Internal::kCategory,
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
    QUORVANE_LOG(2, Internal::kCategory, "Unloaded plugin " << module.info.identifier);
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
            QUORVANE_LOG(4, Internal::kCategory,
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
