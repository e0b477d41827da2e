#include <Quorvane/Lib/PluginLoadResult.h>

#include <platform/NameTable.h>

namespace Quorvane {

const char* PluginLoadResult::name(Code code)
{
    static constexpr Platform::NameRow<Code> kNames[] = {
        {Code::Loaded, "Loaded"},
        {Code::FileNotFound, "FileNotFound"},
        {Code::InvalidModuleFile, "InvalidModuleFile"},
        {Code::OpenFailed, "OpenFailed"},
        {Code::MissingCreateExport, "MissingCreateExport"},
        {Code::MissingIdExport, "MissingIdExport"},
        {Code::MissingDescriptorExport, "MissingDescriptorExport"},
        {Code::BadDescriptor, "BadDescriptor"},
        {Code::IncompatibleHostVersion, "IncompatibleHostVersion"},
        {Code::MissingIdentifier, "MissingIdentifier"},
        {Code::NoRegistrationGuard, "NoRegistrationGuard"},
        {Code::IdentifierMismatch, "IdentifierMismatch"},
        {Code::AlreadyLoaded, "AlreadyLoaded"},
        {Code::CreateFailed, "CreateFailed"},
        {Code::MissingDependency, "MissingDependency"},
        {Code::InitializeFailed, "InitializeFailed"},
        {Code::InitializeThrew, "InitializeThrew"},
    };
    return Platform::nameOf(code, kNames, "Unknown");
}

}  // namespace Quorvane
