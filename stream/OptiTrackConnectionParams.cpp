#include "stream/OptiTrackConnectionParams.h"

namespace Quorvane {

// Defined here rather than in the header so that the module exports one copy of each.
OptiTrackConnectionParams::OptiTrackConnectionParams() = default;
OptiTrackConnectionParams::OptiTrackConnectionParams(const OptiTrackConnectionParams& other) = default;
OptiTrackConnectionParams::OptiTrackConnectionParams(OptiTrackConnectionParams&& other) noexcept = default;
OptiTrackConnectionParams& OptiTrackConnectionParams::operator=(const OptiTrackConnectionParams& other) =
    default;
OptiTrackConnectionParams& OptiTrackConnectionParams::operator=(OptiTrackConnectionParams&& other) noexcept =
    default;
OptiTrackConnectionParams::~OptiTrackConnectionParams() = default;

}  // namespace Quorvane
