#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <vector>

namespace Quorvane {

/// One static object per plugin module, built during the module's static
/// initialisation with the module's identifier function:
///     static Quorvane::PluginAutoRegistrationGuard guard(&pluginIdentifier);
/// It records the identifier in the host's registry, where the loader checks that
/// the module's exported quorvanePluginId() agrees; the destructor (at unload)
/// removes the record. Thread-safe.
class QUORVANE_LIB_EXPORT PluginAutoRegistrationGuard : private Utils::NotCopyable
{
public:
    using IdentifierFunction = const char* (*)();

    explicit PluginAutoRegistrationGuard(IdentifierFunction identifierFunction);
    ~PluginAutoRegistrationGuard();

    IdentifierFunction identifierFunction() const { return m_function; }
    /// The identifier read at construction (empty if the function gave null or threw).
    const std::string& identifier() const { return m_identifier; }

    /// A registered guard as the loader sees it.
    struct Record
    {
        const PluginAutoRegistrationGuard* guard = nullptr;
        IdentifierFunction function = nullptr;
        std::string identifier;
    };
    /// Every guard alive now, in construction order.
    static std::vector<Record> registered();

private:
    IdentifierFunction m_function;
    std::string m_identifier;
};

}  // namespace Quorvane
