#pragma once

#include <Quorvane/Lib/LibExport.h>

#include <string>

namespace Quorvane {

/// The outcome of loading one plugin module: a code, its name, and the message that
/// was logged. Codes are never 0, so a zero-initialised result is not a valid one.
struct QUORVANE_LIB_EXPORT PluginLoadResult
{
    enum class Code {
        Loaded = 1,
        FileNotFound,             ///< no such file
        InvalidModuleFile,        ///< not a complete ELF shared object for this machine
        OpenFailed,               ///< dlopen refused it (unresolved symbols, missing libraries, ...)
        MissingCreateExport,      ///< no quorvaneCreatePlugin
        MissingIdExport,          ///< no quorvanePluginId
        MissingDescriptorExport,  ///< no quorvanePluginDescriptor
        BadDescriptor,            ///< descriptor null, too long or not in the expected form
        IncompatibleHostVersion,  ///< built against another host major or a newer minor
        MissingIdentifier,        ///< quorvanePluginId gave null, an empty text, or threw
        NoRegistrationGuard,      ///< the module built no PluginAutoRegistrationGuard
        IdentifierMismatch,       ///< the guard's identifier is not quorvanePluginId's
        AlreadyLoaded,            ///< a plugin with this identifier is loaded already
        CreateFailed,             ///< quorvaneCreatePlugin gave null or threw
        MissingDependency,        ///< a dependency is neither built in nor loaded
        InitializeFailed,         ///< initialize() returned nonzero
        InitializeThrew,          ///< initialize() threw
    };

    Code code = Code::Loaded;
    std::string path;
    std::string identifier;  ///< empty until known
    std::string message;     ///< the text that was logged

    bool ok() const { return code == Code::Loaded; }
    const char* name() const { return name(code); }
    /// "Loaded", "FileNotFound", ... (the enumerator's name).
    static const char* name(Code code);
};

}  // namespace Quorvane
