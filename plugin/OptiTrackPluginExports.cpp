// The module's face to the host's plugin loader: the three exported C symbols and the
// registration guard built during static initialisation. Nothing may throw out of here.

#include "plugin/OptiTrackPlugin.h"

#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>
#include <Quorvane/Lib/PluginExports.h>

#include <new>

namespace Quorvane {
namespace Internal {
namespace {

// One static text, so that every call (and the guard) sees the same pointer.
constexpr char kPluginIdentifier[] = "Quorvane.OptiTrack";

// Field by field: magic, the host framework version built against, the build flags
// (NAME:VALUE, ","-separated), and an empty plugin version.
constexpr char kPluginDescriptor[] =
    "__QUORVANE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=";
static_assert(sizeof(kPluginDescriptor) == 98 + 1, "the descriptor is 98 characters and its NUL");

const char* pluginIdentifier() noexcept
{
    return kPluginIdentifier;
}

// Records the identifier with the host while the module is loaded; the loader compares it
// with quorvanePluginId().
const PluginAutoRegistrationGuard g_registrationGuard(&pluginIdentifier);

}  // namespace
}  // namespace Internal
}  // namespace Quorvane

extern "C" {

QUORVANE_PLUGIN_EXPORT const char* quorvanePluginDescriptor = Quorvane::Internal::kPluginDescriptor;

QUORVANE_PLUGIN_EXPORT Quorvane::QuorvaneLibPlugin* quorvaneCreatePlugin()
{
    try {
        return new Quorvane::OptiTrackPlugin();
    } catch (...) {
        // The loader reports a null plugin as a failed creation.
        return nullptr;
    }
}

QUORVANE_PLUGIN_EXPORT const char* quorvanePluginId()
{
    try {
        return Quorvane::Internal::pluginIdentifier();
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
