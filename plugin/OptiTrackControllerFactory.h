#pragma once

#include <Quorvane/Lib/AlgorithmControllerFactory.h>

namespace Quorvane {

class Algorithm;
class AlgorithmController;

/// The module's controller factory, named "OptiTrack": it makes the OptiTrack panel for the
/// OptiTrack stream IO algorithm (recognised by its run-time type, not by its registered
/// name) and declines every other algorithm.
///
/// Created by `OptiTrackPlugin::initialize` and owned by the host; called on the host's
/// user-interface thread.
class OptiTrackControllerFactory : public AlgorithmControllerFactory
{
public:
    OptiTrackControllerFactory();
    ~OptiTrackControllerFactory() override;

    /// A new panel for `algorithm` (the caller owns it), or null when `algorithm` is null or
    /// not a `CreateStreamIoAlgorithm<OptiTrackStream, 0, 0>`. Never throws.
    AlgorithmController* createController(Algorithm* algorithm) const override;
};

}  // namespace Quorvane
