#include <Quorvane/Lib/PluginLoadResult.h>

namespace Quorvane {

const char* PluginLoadResult::name(Code code)
{
    switch (code) {
        case Code::Loaded:
            return "Loaded";
        case Code::FileNotFound:
            return "FileNotFound";
        case Code::InvalidModuleFile:
            return "InvalidModuleFile";
        case Code::OpenFailed:
            return "OpenFailed";
        case Code::MissingCreateExport:
            return "MissingCreateExport";
        case Code::MissingIdExport:
            return "MissingIdExport";
        case Code::MissingDescriptorExport:
            return "MissingDescriptorExport";
        case Code::BadDescriptor:
            return "BadDescriptor";
        case Code::IncompatibleHostVersion:
            return "IncompatibleHostVersion";
        case Code::MissingIdentifier:
            return "MissingIdentifier";
        case Code::NoRegistrationGuard:
            return "NoRegistrationGuard";
        case Code::IdentifierMismatch:
            return "IdentifierMismatch";
        case Code::AlreadyLoaded:
            return "AlreadyLoaded";
        case Code::CreateFailed:
            return "CreateFailed";
        case Code::MissingDependency:
            return "MissingDependency";
        case Code::InitializeFailed:
            return "InitializeFailed";
        case Code::InitializeThrew:
            return "InitializeThrew";
    }
    return "Unknown";
}

}  // namespace Quorvane
