#include "plugin/OptiTrackControllerFactory.h"

#include "controller/OptiTrackController.h"
#include "stream/OptiTrackStream.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

#include <exception>
#include <sstream>

namespace Quorvane {

OptiTrackControllerFactory::OptiTrackControllerFactory() : AlgorithmControllerFactory("OptiTrack") {}

OptiTrackControllerFactory::~OptiTrackControllerFactory() = default;

AlgorithmController* OptiTrackControllerFactory::createController(Algorithm* algorithm) const
{
    using OptiTrackIoAlgorithm = CreateStreamIoAlgorithm<OptiTrackStream, 0, 0>;
    auto* ioAlgorithm = dynamic_cast<OptiTrackIoAlgorithm*>(algorithm);
    if (ioAlgorithm == nullptr) {
        return nullptr;
    }
    try {
        return new OptiTrackController(ioAlgorithm);
    } catch (const std::exception& e) {
        if (Log::g_globalLevel <= Log::Error && Log::isAccepted(Log::Error, "")) {
            std::ostringstream message;
            message << "Cannot create the OptiTrack panel: " << e.what();
            Log::log(Log::Error, "", message.str(), "", -1);
        }
        return nullptr;
    }
}

}  // namespace Quorvane
