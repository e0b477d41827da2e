#include "plugin/OptiTrackAlgorithmFactory.h"

#include "stream/OptiTrackStream.h"

#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

namespace Quorvane {

OptiTrackAlgorithmFactory::OptiTrackAlgorithmFactory() : AlgorithmFactory("OptiTrack")
{
    registerAlgorithm<CreateStreamIoAlgorithm<OptiTrackStream, 0, 0>>("OptiTrackStream",
                                                                      "IO;OptiTrack;OptiTrack Duo/Trio", 0);
}

OptiTrackAlgorithmFactory::~OptiTrackAlgorithmFactory() = default;

}  // namespace Quorvane
