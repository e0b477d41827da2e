#include "Orientation.h"

#include <Eigen/LU>

#include <cmath>

namespace AppsCommon {

namespace Internal {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerRadian = 180.0 / kPi;
/// How far a rotation read from the wire (float quaternions) may be from orthonormal.
constexpr double kRotationTolerance = 1e-3;
/// Below this cos(pitch) yaw and roll can no longer be told apart.
constexpr double kGimbalLockCosine = 1e-9;

/// Degrees in (-180, 180], never "-0".
double degrees(double radians)
{
    double d = radians * kDegreesPerRadian;
    if (d <= -180.0) {
        d += 360.0;
    }
    return d + 0.0;
}

bool isRotation(const Eigen::Matrix3d& r)
{
    if (!r.allFinite()) {
        return false;
    }
    const double offOrthonormal = (r.transpose() * r - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff();
    return offOrthonormal < kRotationTolerance && r.determinant() > 0.0;
}

}  // namespace
}  // namespace Internal

std::optional<RollPitchYaw> rollPitchYaw(const Eigen::Matrix4d& pose)
{
    const Eigen::Matrix3d r = pose.topLeftCorner<3, 3>();
    if (!Internal::isRotation(r)) {
        return std::nullopt;
    }
    // R = Ry(yaw) Rx(pitch) Rz(roll) has row 1 = (cos p sin r, cos p cos r, -sin p),
    // column 2 = (sin y cos p, -sin p, cos y cos p).
    const double cosPitch = std::hypot(r(1, 0), r(1, 1));
    RollPitchYaw angles;
    angles.pitchDeg = Internal::degrees(std::atan2(-r(1, 2), cosPitch));
    if (cosPitch > Internal::kGimbalLockCosine) {
        angles.yawDeg = Internal::degrees(std::atan2(r(0, 2), r(2, 2)));
        angles.rollDeg = Internal::degrees(std::atan2(r(1, 0), r(1, 1)));
    } else {
        // Row 0 is then (cos(y -+ r), sin(y -+ r) sin p, 0): with roll 0 it gives yaw.
        const double sinPitch = r(1, 2) < 0.0 ? 1.0 : -1.0;
        angles.yawDeg = Internal::degrees(std::atan2(sinPitch * r(0, 1), r(0, 0)));
        angles.rollDeg = 0.0;
    }
    return angles;
}

std::string orientationConvention()
{
    return "roll, pitch, yaw in degrees: intrinsic Y-X-Z Euler angles of the pose's rotation for a "
           "tracker whose y axis points up (as OptiTrack's does): yaw about y (heading), then pitch about "
           "the new x, then roll about the new z; yaw and roll in (-180, 180], pitch in [-90, 90]; at "
           "pitch +-90 roll is 0 and yaw carries the turn";
}

}  // namespace AppsCommon
