#include <Quorvane/Lib/PluginBase.h>

namespace Quorvane {

PluginBase::PluginBase() = default;

PluginBase::~PluginBase() = default;

std::string PluginBase::vendor() const
{
    return {};
}

std::string PluginBase::description() const
{
    return {};
}

std::vector<std::string> PluginBase::dependencies() const
{
    return {};
}

}  // namespace Quorvane
