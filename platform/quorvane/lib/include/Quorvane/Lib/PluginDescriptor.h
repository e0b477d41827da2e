#pragma once

#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <utility>
#include <vector>

namespace Quorvane {

/// A module's descriptor text, parsed and checked:
///     __QUORVANE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=
/// Fields are separated by "|": the magic text alone, then exactly the keys
/// hostversion, buildflags and pluginversion in this order, each as key=value.
/// hostversion is MAJOR.MINOR.PATCH (decimal); buildflags a ","-separated list of
/// NAME:VALUE pairs (possibly empty), NAME made of letters, digits and '_' and not
/// starting with a digit, VALUE non-empty; pluginversion may be empty.
struct QUORVANE_LIB_EXPORT PluginDescriptor
{
    /// The framework version of this host.
    static constexpr int hostMajor = 4;
    static constexpr int hostMinor = 5;
    static constexpr int hostPatch = 0;
    /// Longest descriptor text read from a module (longer ones are refused).
    static constexpr std::size_t maxLength = 4096;

    std::string text;
    int major = 0;
    int minor = 0;
    int patch = 0;
    std::vector<std::pair<std::string, std::string>> buildFlags;
    std::string pluginVersion;

    /// Parses `text`; on failure returns false, leaves `out` alone and says why in `error`.
    static bool parse(const std::string& text, PluginDescriptor& out, std::string* error = nullptr);
    /// Whether a module built against `major.minor` runs in this host: same major,
    /// minor not newer than the host's.
    static bool isCompatibleHostVersion(int major, int minor);
    /// "4.5.0".
    static std::string hostVersionText();
};

}  // namespace Quorvane
