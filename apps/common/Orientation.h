#pragma once

// One way to say how an instrument is turned, shared by quorvane-host's table and the viewer.
//
// Convention: intrinsic Y-X-Z Euler angles in degrees, for a tracker whose y axis points up (as
// OptiTrack's does, and as the viewer's top view assumes): first yaw about y (the heading),
// then pitch about the new x, then roll about the new z. That is R = Ry(yaw) Rx(pitch) Rz(roll)
// for the pose's rotation R (it maps the instrument's axes into the tracker's). Ranges: yaw and
// roll (-180, 180], pitch [-90, 90]. At pitch +-90 (gimbal lock) yaw and roll turn about the
// same axis; roll is then 0 and yaw carries the whole turn.

#include <Eigen/Core>

#include <optional>
#include <string>

namespace AppsCommon {

struct RollPitchYaw
{
    double rollDeg = 0.0;
    double pitchDeg = 0.0;
    double yawDeg = 0.0;
};

/// The angles of the rotation in the upper-left 3x3 of `pose` (column-major 4x4, as the host's
/// instruments carry it). Nothing when that block holds a value that is not finite or is no
/// rotation (columns not orthonormal within 1e-3, or a mirror): such angles would mean nothing.
std::optional<RollPitchYaw> rollPitchYaw(const Eigen::Matrix4d& pose);

/// Text of the convention for help texts, one sentence.
std::string orientationConvention();

}  // namespace AppsCommon
