#pragma once

#include <Quorvane/Lib/AlgorithmFactory.h>

namespace Quorvane {

/// The module's algorithm factory, named "OptiTrack". It registers one IO algorithm,
/// "OptiTrack.OptiTrackStream" (display path "IO;OptiTrack;OptiTrack Duo/Trio", tag 0, no
/// properties): a `CreateStreamIoAlgorithm` that creates an `OptiTrackStream`. Everything else
/// (the queries, instantiation) is the host's `AlgorithmFactory`.
///
/// Created by `OptiTrackPlugin::initialize` on the host's calling thread and owned by the host.
class OptiTrackAlgorithmFactory : public AlgorithmFactory
{
public:
    OptiTrackAlgorithmFactory();
    ~OptiTrackAlgorithmFactory() override;
};

}  // namespace Quorvane
