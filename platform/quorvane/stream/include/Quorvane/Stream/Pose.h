#pragma once

#include <Eigen/Core>

namespace Quorvane {

/// A rigid pose as a homogeneous 4x4 matrix of doubles, Eigen's default column-major storage:
/// rotation in the upper-left 3x3 block, translation in the last column (millimetres), last row
/// 0, 0, 0, 1. It maps points given in the instrument's own frame into the tracker's frame.
using Pose = Eigen::Matrix4d;

}  // namespace Quorvane
