#pragma once

#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <vector>

namespace Quorvane {

/// What every plugin tells the host about itself. The host creates a plugin through
/// its module's quorvaneCreatePlugin(), calls initialize() once, and deletes it
/// through the virtual destructor before unloading the module.
class QUORVANE_LIB_EXPORT PluginBase
{
public:
    PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;
    virtual ~PluginBase();

    virtual std::string vendor() const;
    virtual std::string description() const;
    /// Identifiers of the plugins (or host parts such as "Quorvane.Stream") it needs.
    virtual std::vector<std::string> dependencies() const;
    /// Sets the plugin up; 0 on success, anything else is a failure.
    virtual int initialize() = 0;
};

}  // namespace Quorvane
