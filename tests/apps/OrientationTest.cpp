// Roll, pitch and yaw of a pose (intrinsic Y-X-Z, y up): known rotations written out by hand,
// gimbal lock, and what is no rotation at all.

#include <common/Orientation.h>

#include <Eigen/Geometry>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using AppsCommon::RollPitchYaw;
using AppsCommon::rollPitchYaw;

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

/// A pose with the rotation given row by row.
Eigen::Matrix4d rotation(std::initializer_list<double> rowMajor)
{
    Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
    const auto* value = rowMajor.begin();
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            pose(row, column) = *value++;
        }
    }
    return pose;
}

/// Ry(yaw) Rx(pitch) Rz(roll) built with Eigen's angle-axis, independently of the decomposition.
Eigen::Matrix4d composed(double rollDeg, double pitchDeg, double yawDeg)
{
    const double toRadians = kPi / 180.0;
    Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
    pose.topLeftCorner<3, 3>() = (Eigen::AngleAxisd(yawDeg * toRadians, Eigen::Vector3d::UnitY()) *
                                  Eigen::AngleAxisd(pitchDeg * toRadians, Eigen::Vector3d::UnitX()) *
                                  Eigen::AngleAxisd(rollDeg * toRadians, Eigen::Vector3d::UnitZ()))
                                     .toRotationMatrix();
    return pose;
}

struct KnownRotation
{
    const char* name;
    Eigen::Matrix4d pose;
    RollPitchYaw expected;
};

TEST(Orientation, KnownRotationsGiveTheirAngles)
{
    const double h = std::sqrt(0.5);
    const std::vector<KnownRotation> rows = {
        {"Identity", Eigen::Matrix4d::Identity(), {0, 0, 0}},
        // x turned towards -z: a quarter turn about the vertical y axis.
        {"Yaw90", rotation({0, 0, 1, 0, 1, 0, -1, 0, 0}), {0, 0, 90}},
        {"YawMinus90", rotation({0, 0, -1, 0, 1, 0, 1, 0, 0}), {0, 0, -90}},
        {"Yaw180IsPlus180", rotation({-1, 0, 0, 0, 1, 0, 0, 0, -1}), {0, 0, 180}},
        {"Yaw180FromMinusZeroIsPlus180", rotation({-1, 0, -0.0, 0, 1, 0, 0.0, 0, -1}), {0, 0, 180}},
        {"Pitch45", rotation({1, 0, 0, 0, h, -h, 0, h, h}), {0, 45, 0}},
        {"Roll90", rotation({0, -1, 0, 1, 0, 0, 0, 0, 1}), {90, 0, 0}},
        {"RollMinus45", rotation({h, h, 0, -h, h, 0, 0, 0, 1}), {-45, 0, 0}},
        {"Roll180", rotation({-1, 0, 0, 0, -1, 0, 0, 0, 1}), {180, 0, 0}},
        // Ry(90) Rz(90) written out: x turns to y, y to z, z to x.
        {"Yaw90ThenRoll90", rotation({0, 0, 1, 1, 0, 0, 0, 1, 0}), {90, 0, 90}},
        {"Composed10_20_30", composed(10, 20, 30), {10, 20, 30}},
        {"ComposedNegative", composed(-170, -60, -120), {-170, -60, -120}},
        {"TranslationIgnored",
         [] {
             Eigen::Matrix4d pose = composed(5, 6, 7);
             pose(0, 3) = kNaN;
             pose(1, 3) = 1e9;
             return pose;
         }(),
         {5, 6, 7}},
    };
    for (const KnownRotation& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<RollPitchYaw> angles = rollPitchYaw(row.pose);
        ASSERT_TRUE(angles.has_value());
        EXPECT_NEAR(angles->rollDeg, row.expected.rollDeg, 1e-9);
        EXPECT_NEAR(angles->pitchDeg, row.expected.pitchDeg, 1e-9);
        EXPECT_NEAR(angles->yawDeg, row.expected.yawDeg, 1e-9);
    }
}

TEST(Orientation, TheSimulatorsBodiesFacingAlongTheirPathYawByMinusTheirAngle)
{
    // natnet-sim turns body i about +y with the quaternion (0, sin(-a/2), 0, cos(-a/2)).
    for (const double a : {0.3, 1.5, 2.9, -2.0}) {
        Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
        pose.topLeftCorner<3, 3>() =
            Eigen::Quaterniond(std::cos(-a / 2), 0, std::sin(-a / 2), 0).toRotationMatrix();
        const std::optional<RollPitchYaw> angles = rollPitchYaw(pose);
        ASSERT_TRUE(angles.has_value());
        EXPECT_NEAR(angles->yawDeg, -a * 180.0 / kPi, 1e-9) << a;
        EXPECT_NEAR(angles->pitchDeg, 0.0, 1e-9);
        EXPECT_NEAR(angles->rollDeg, 0.0, 1e-9);
    }
}

TEST(Orientation, AnglesInRangeRebuildTheRotation)
{
    // Whole degrees: yaw -170 to 180, pitch -85 to 85, roll -175 to 140.
    for (int yaw = -170; yaw <= 180; yaw += 35) {
        for (int pitch = -85; pitch <= 85; pitch += 17) {
            for (int roll = -175; roll <= 180; roll += 45) {
                const std::optional<RollPitchYaw> angles = rollPitchYaw(composed(roll, pitch, yaw));
                ASSERT_TRUE(angles.has_value());
                EXPECT_NEAR(angles->rollDeg, roll, 1e-9);
                EXPECT_NEAR(angles->pitchDeg, pitch, 1e-9);
                EXPECT_NEAR(angles->yawDeg, yaw, 1e-9);
            }
        }
    }
}

TEST(Orientation, GimbalLockGivesFiniteAnglesWithRollZeroThatRebuildTheRotation)
{
    struct Row
    {
        const char* name;
        Eigen::Matrix4d pose;
        double pitch;
        double yaw;  // roll is 0, yaw takes the turn that roll and yaw share
    };
    const std::vector<Row> rows = {
        // At pitch +90 yaw and roll act against each other: only yaw - roll is seen.
        {"Up", composed(0, 90, 40), 90, 40},
        {"UpWithRoll", composed(10, 90, 30), 90, 20},
        // At pitch -90 they act together: yaw + roll.
        {"DownWithRoll", composed(10, -90, 30), -90, 40},
        // Rx(+-90) written out: y turns to +-z, z to -+y.
        {"UpByHand", rotation({1, 0, 0, 0, 0, -1, 0, 1, 0}), 90, 0},
        {"DownByHand", rotation({1, 0, 0, 0, 0, 1, 0, -1, 0}), -90, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<RollPitchYaw> angles = rollPitchYaw(row.pose);
        ASSERT_TRUE(angles.has_value());
        EXPECT_EQ(angles->rollDeg, 0.0);
        EXPECT_NEAR(angles->pitchDeg, row.pitch, 1e-6);
        EXPECT_NEAR(angles->yawDeg, row.yaw, 1e-6);
        EXPECT_TRUE(composed(angles->rollDeg, angles->pitchDeg, angles->yawDeg).isApprox(row.pose, 1e-6));
    }
    // Just short of the lock the ordinary formulas still hold and stay finite.
    const std::optional<RollPitchYaw> near = rollPitchYaw(composed(10, 89.9999, 30));
    ASSERT_TRUE(near.has_value());
    EXPECT_TRUE(std::isfinite(near->rollDeg) && std::isfinite(near->yawDeg));
    EXPECT_TRUE(
        composed(near->rollDeg, near->pitchDeg, near->yawDeg).isApprox(composed(10, 89.9999, 30), 1e-9));
}

TEST(Orientation, WhatIsNoFiniteRotationGivesNothing)
{
    struct Row
    {
        const char* name;
        Eigen::Matrix4d pose;
    };
    const auto with = [](int row, int column, double value) {
        Eigen::Matrix4d pose = composed(10, 20, 30);
        pose(row, column) = value;
        return pose;
    };
    const std::vector<Row> rows = {
        {"NaN", with(1, 2, kNaN)},
        {"Infinity", with(0, 0, kInf)},
        {"MinusInfinity", with(2, 1, -kInf)},
        {"AllNaN", Eigen::Matrix4d::Constant(kNaN)},
        {"Zero", Eigen::Matrix4d::Zero()},
        {"Scaled",
         [] {
             Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
             pose.topLeftCorner<3, 3>() *= 2.0;
             return pose;
         }()},
        {"Mirror", rotation({1, 0, 0, 0, 1, 0, 0, 0, -1})},
        {"Sheared", with(0, 1, 0.5)},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(rollPitchYaw(row.pose).has_value()) << row.name;
    }
    // Float quaternions from the wire are unit only to about 1e-7: still a rotation.
    Eigen::Matrix4d nearlyUnit = composed(10, 20, 30);
    nearlyUnit.topLeftCorner<3, 3>() *= 1.0 + 1e-6;
    EXPECT_TRUE(rollPitchYaw(nearlyUnit).has_value());
}

TEST(Orientation, ConventionIsStatedForTheHelpTexts)
{
    const std::string text = AppsCommon::orientationConvention();
    for (const char* word : {"roll", "pitch", "yaw", "degrees", "Y-X-Z", "(-180, 180]", "[-90, 90]"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

}  // namespace
