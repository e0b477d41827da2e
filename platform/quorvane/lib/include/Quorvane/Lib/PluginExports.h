#pragma once

// The three symbols a plugin module exports, with unmangled C names. The loader
// resolves them by name with dlsym.

#include <Quorvane/Lib/QuorvaneLibPlugin.h>

#if defined(__GNUC__)
#define QUORVANE_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define QUORVANE_PLUGIN_EXPORT
#endif

/// Descriptor text every module of this host generation carries.
#define QUORVANE_PLUGIN_MAGIC "__QUORVANE_PLUGIN_V2_MAGIC_STRING__"

extern "C" {
/// Creates the module's plugin object; the caller owns it. Must not throw.
QUORVANE_PLUGIN_EXPORT Quorvane::QuorvaneLibPlugin* quorvaneCreatePlugin();
/// The module's identifier, a static NUL-terminated text; the same pointer on every call.
QUORVANE_PLUGIN_EXPORT const char* quorvanePluginId();
/// One pointer to the static descriptor text:
/// "<magic>|hostversion=M.m.p|buildflags=NAME:VALUE,...|pluginversion=<text>".
QUORVANE_PLUGIN_EXPORT extern const char* quorvanePluginDescriptor;
}
