#include "plugin/OptiTrackPlugin.h"

#include "plugin/OptiTrackAlgorithmFactory.h"
#include "plugin/OptiTrackControllerFactory.h"

#include <Quorvane/Lib/DataAnnotationFactory.h>

#include <memory>

namespace Quorvane {

OptiTrackPlugin::OptiTrackPlugin() = default;

OptiTrackPlugin::~OptiTrackPlugin() = default;

std::string OptiTrackPlugin::vendor() const
{
    return "Quorvane GmbH";
}

std::string OptiTrackPlugin::description() const
{
    return "Plugin for real-time streaming from OptiTrack tracking systems";
}

std::vector<std::string> OptiTrackPlugin::dependencies() const
{
    return {"Quorvane.Stream"};
}

int OptiTrackPlugin::initialize()
{
    auto controllerFactory = std::make_unique<OptiTrackControllerFactory>();
    auto algorithmFactory = std::make_unique<OptiTrackAlgorithmFactory>();
    registerFactories(std::move(algorithmFactory), std::move(controllerFactory),
                      std::unique_ptr<DataAnnotationFactory>());
    return 0;
}

}  // namespace Quorvane
