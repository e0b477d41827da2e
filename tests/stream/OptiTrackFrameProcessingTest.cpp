// The frame callback fed with hand-built frames: poses, qualities, identities, timestamps, the
// update signal and the per-frame diagnostic lines.

#include "FrameTestSupport.h"

#include <Quorvane/Core/Log.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using Mod = InstrumentModification;

struct PoseRow
{
    const char* name;
    float q[4];  // x, y, z, w
    float position[3];
    float units;
    double rotation[3][3];  // row index first
    double translation[3];
};

class PoseFromFrame : public ::testing::TestWithParam<PoseRow>
{
};

TEST_P(PoseFromFrame, MatchesTheQuaternionFormulaAndTheScaledPosition)
{
    const PoseRow& row = GetParam();
    FrameFixture f(row.units);
    auto frame = newFrame();
    setPose(addBody(*frame, 1, true), row.position, row.q);

    f.deliver(*frame);

    const auto instrument = f.stream.findInstrument("optitrack-1");
    ASSERT_TRUE(instrument.has_value());
    const Pose& pose = instrument->pose;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(pose(r, c), row.rotation[r][c]) << "R" << r << c;
        // Exact: the product is formed in single precision and then widened.
        EXPECT_EQ(pose(r, 3), row.translation[r]) << "t" << r;
        EXPECT_EQ(pose(3, r), 0.0);
    }
    EXPECT_EQ(pose(3, 3), 1.0);
}

const float kHalfSqrt2 = static_cast<float>(std::sqrt(0.5));
const double kC = static_cast<double>(kHalfSqrt2);
const double kC2 = 2.0 * kC * kC;  // 1 up to the float rounding of the components

INSTANTIATE_TEST_SUITE_P(
    Rows, PoseFromFrame,
    ::testing::Values(
        PoseRow{"identity", {0, 0, 0, 1}, {0, 0, 0}, 1.0f, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}},
        PoseRow{"halfTurnZ", {0, 0, 1, 0}, {0, 0, 0}, 1.0f, {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 0, 0}},
        // Not normalised: used as it comes.
        PoseRow{
            "unnormalised", {2, 0, 0, 0}, {0, 0, 0}, 1.0f, {{1, 0, 0}, {0, -7, 0}, {0, 0, -7}}, {0, 0, 0}},
        // A quarter turn about z maps x onto y: the signs of R01 and R10.
        PoseRow{"quarterTurnZ",
                {0, 0, kHalfSqrt2, kHalfSqrt2},
                {0, 0, 0},
                1.0f,
                {{1 - kC2, -kC2, 0}, {kC2, 1 - kC2, 0}, {0, 0, 1}},
                {0, 0, 0}},
        // A quarter turn about x maps y onto z: the signs of R12 and R21.
        PoseRow{"quarterTurnX",
                {kHalfSqrt2, 0, 0, kHalfSqrt2},
                {0, 0, 0},
                1.0f,
                {{1, 0, 0}, {0, 1 - kC2, -kC2}, {0, kC2, 1 - kC2}},
                {0, 0, 0}},
        // The shortest quaternion still taken as it comes: length 0.5.
        PoseRow{"shortestAccepted",
                {0.5f, 0, 0, 0},
                {0, 0, 0},
                1.0f,
                {{1, 0, 0}, {0, 0.5, 0}, {0, 0, 0.5}},
                {0, 0, 0}},
        PoseRow{"metres",
                {0, 0, 0, 1},
                {0.5f, -0.25f, 2.0f},
                1000.0f,
                {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                {500, -250, 2000}},
        // 0.1f * 1000 is 100 exactly in single precision, 100.0000015 in double.
        PoseRow{"singlePrecision",
                {0, 0, 0, 1},
                {0.1f, 0.3f, -0.7f},
                1000.0f,
                {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                {static_cast<double>(0.1f * 1000.0f), static_cast<double>(0.3f * 1000.0f),
                 static_cast<double>(-0.7f * 1000.0f)}},
        PoseRow{"millimetresUnchanged",
                {0, 0, 0, 1},
                {12.5f, 0, -3},
                1.0f,
                {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                {12.5, 0, -3}}),
    [](const ::testing::TestParamInfo<PoseRow>& row) { return std::string(row.param.name); });

TEST(FrameProcessing, QualityIsOneMinusMeanErrorOverMaxErrorUnclamped)
{
    struct Row
    {
        float meanError;
        double maxError;
        double quality;
    };
    const Row rows[] = {{0.25f, 1.0, 0.75}, {0.25f, 0.5, 1.5}, {1.5f, 1.0, -0.5}, {0.0f, 2.0, 0.5}};
    for (const Row& row : rows) {
        FrameFixture f(1000.0f);  // the error stays in the server's unit
        f.context.maxError = row.maxError;
        auto frame = newFrame();
        addBody(*frame, 5, true).MeanError = row.meanError;
        f.deliver(*frame);
        const auto instrument = f.stream.findInstrument("optitrack-5");
        ASSERT_TRUE(instrument.has_value());
        EXPECT_DOUBLE_EQ(instrument->quality, row.quality) << row.meanError << " / " << row.maxError;
    }
}

TEST(FrameProcessing, IdentifiersAndDisplayNames)
{
    struct Row
    {
        int id;
        int position;  // index in the frame's rigid-body array
        const char* markerSets[2];
        int markerSetCount;
        const char* identifier;
        const char* name;
    };
    const Row rows[] = {
        {3, 0, {"Wand", "all"}, 2, "optitrack-3", "Wand"},
        {3, 2, {"Wand", "all"}, 2, "optitrack-3", "OptiTrack 3"},
        {3, 1, {"Wand", "all"}, 2, "optitrack-3", "all"},
        {-4, 0, {nullptr, nullptr}, 0, "optitrack--4", "OptiTrack -4"},
        {0, 0, {nullptr, nullptr}, 0, "optitrack-0", "OptiTrack 0"},
        {123456789, 0, {nullptr, nullptr}, 0, "optitrack-123456789", "OptiTrack 123456789"},
        {std::numeric_limits<int>::min(),
         0,
         {nullptr, nullptr},
         0,
         "optitrack--2147483648",
         "OptiTrack -2147483648"},
    };
    for (const Row& row : rows) {
        FrameFixture f;
        auto frame = newFrame();
        for (int m = 0; m < row.markerSetCount; ++m) addMarkerSet(*frame, row.markerSets[m]);
        // Other valid bodies before it, with IDs of their own.
        for (int p = 0; p < row.position; ++p) addBody(*frame, 1000 + p, true);
        addBody(*frame, row.id, true);

        f.deliver(*frame);

        const auto instrument = f.stream.findInstrument(row.identifier);
        ASSERT_TRUE(instrument.has_value()) << row.identifier;
        EXPECT_EQ(instrument->name(), row.name) << row.identifier;
        EXPECT_EQ(instrument->serial(), "");
        EXPECT_TRUE(instrument->active);
        const std::string created =
            std::string("Created tracking instrument ") + row.identifier + "( name : " + row.name + " )";
        EXPECT_EQ(f.log.sink().count(2, "OptiTrackStream", created), 1u) << created;
    }
}

TEST(FrameProcessing, AnUnterminatedMarkerSetNameIsReadOnlyToTheEndOfItsField)
{
    FrameFixture f;
    auto frame = newFrame();
    frame->nMarkerSets = 1;
    std::memset(frame->MocapData[0].szName, 'A', sizeof frame->MocapData[0].szName);
    frame->MocapData[0].nMarkers = 0x42424242;  // bytes that would follow the name
    addBody(*frame, 9, true);
    f.deliver(*frame);
    EXPECT_EQ(f.stream.findInstrument("optitrack-9")->name(), std::string(MAX_NAMELENGTH, 'A'));
}

TEST(FrameProcessing, TheInstrumentIsCreatedOnceWithItsFirstNameAndUpdatedInEveryFrame)
{
    FrameFixture f;
    auto frame = newFrame();
    addMarkerSet(*frame, "Wand");
    addBody(*frame, 3, true).x = 1.0f;
    f.deliver(*frame);

    // Later frames: a different marker-set name does not rename it.
    std::strcpy(frame->MocapData[0].szName, "Probe");
    frame->RigidBodies[0].x = 2.0f;
    frame->fTimestamp = 2.0;
    f.deliver(*frame);

    const auto instrument = f.stream.findInstrument("optitrack-3");
    ASSERT_TRUE(instrument.has_value());
    EXPECT_EQ(instrument->name(), "Wand");
    EXPECT_EQ(instrument->updateCount, 2u);
    EXPECT_EQ(instrument->pose(0, 3), 2.0);
    EXPECT_EQ(instrument->timestampMs, 2000u);
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument"), 1u);
    EXPECT_EQ(f.stream.numInstruments(), 1u);
}

TEST(FrameProcessing, TheListenerSeesWhatTheFrameCreatedAndABodyTwiceInAFrameIsCreatedOnce)
{
    FrameFixture f;
    std::vector<std::optional<TrackingInstrument>> seen;
    f.stream.instrumentsUpdated.connect(
        [&](InstrumentModifications) { seen.push_back(f.stream.findInstrument("optitrack-5")); });
    auto frame = newFrame();
    addBody(*frame, 5, true).x = 4.0f;
    f.deliver(*frame);
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(seen[0].has_value()) << "created in this frame, so there when the signal comes";
    EXPECT_EQ(seen[0]->pose(0, 3), 4.0);
    EXPECT_EQ(seen[0]->updateCount, 1u) << "one update per body and frame";

    // The same ID twice in one frame (a broken server): created once, updated twice, the later wins.
    auto twice = newFrame();
    addBody(*twice, 8, true).x = 1.0f;
    addBody(*twice, 8, true).x = 2.0f;
    f.deliver(*twice);
    const auto eight = f.stream.findInstrument("optitrack-8");
    ASSERT_TRUE(eight.has_value());
    EXPECT_EQ(eight->updateCount, 2u);
    EXPECT_EQ(eight->pose(0, 3), 2.0);
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument optitrack-8"), 1u);
    EXPECT_EQ(f.stream.numInstruments(), 2u);
}

TEST(FrameProcessing, AnInvalidBodyGetsNoInstrumentUntilItsFirstValidFrame)
{
    FrameFixture f;
    auto frame = newFrame();
    sRigidBodyData& body = addBody(*frame, 7, false);
    body.x = 5.0f;
    body.qz = 1.0f;
    body.qw = 0.0f;

    f.deliver(*frame);
    f.deliver(*frame);
    EXPECT_FALSE(f.stream.findInstrument("optitrack-7").has_value());
    EXPECT_EQ(f.log.sink().count(0, "OptiTrackStream", "Tracking not valid - skip"), 2u);
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument"), 0u);

    body.params = 1;
    f.deliver(*frame);
    auto instrument = f.stream.findInstrument("optitrack-7");
    ASSERT_TRUE(instrument.has_value());
    EXPECT_EQ(instrument->pose(0, 3), 5.0);
    EXPECT_EQ(instrument->pose(0, 0), -1.0);

    // Tracking lost again: identity pose, quality 0, still updated.
    body.params = 0;
    frame->fTimestamp = 3.0;
    f.deliver(*frame);
    instrument = f.stream.findInstrument("optitrack-7");
    EXPECT_TRUE(instrument->pose.isIdentity());
    EXPECT_EQ(instrument->quality, 0.0);
    EXPECT_EQ(instrument->timestampMs, 3000u);
    EXPECT_EQ(instrument->updateCount, 2u);
}

struct ImplausibleRow
{
    const char* name;
    float position[3];
    float q[4];  // x, y, z, w
    float meanError;
    float units;
};

void PrintTo(const ImplausibleRow& row, std::ostream* out)
{
    *out << row.name;
}

class ImplausiblePose : public ::testing::TestWithParam<ImplausibleRow>
{
};

// A body flagged as tracked whose pose is not a pose takes exactly the not-tracked path.
TEST_P(ImplausiblePose, IsTreatedAsNotTrackedAndCounted)
{
    const ImplausibleRow& row = GetParam();
    FrameFixture f(row.units);
    auto frame = newFrame();
    frame->fTimestamp = 1.0;
    addBody(*frame, 1, true).qw = 1.0f;
    f.deliver(*frame);
    ASSERT_TRUE(f.stream.findInstrument("optitrack-1").has_value());

    frame->fTimestamp = 2.0;
    sRigidBodyData& known = frame->RigidBodies[0];
    sRigidBodyData& unknown = addBody(*frame, 2, true);  // first seen with a bad pose
    for (sRigidBodyData* body : {&known, &unknown}) {
        setPose(*body, row.position, row.q);
        body->MeanError = row.meanError;
    }
    f.log.sink().clear();
    f.deliver(*frame);

    const auto instrument = f.stream.findInstrument("optitrack-1");
    ASSERT_TRUE(instrument.has_value());
    EXPECT_TRUE(instrument->pose.isIdentity());
    EXPECT_EQ(instrument->quality, 0.0);
    EXPECT_EQ(instrument->timestampMs, 2000u);
    EXPECT_EQ(instrument->updateCount, 2u);
    EXPECT_FALSE(f.stream.findInstrument("optitrack-2").has_value());
    EXPECT_EQ(f.stream.numInstruments(), 1u);
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument"), 0u);
    EXPECT_EQ(f.log.sink().count(0, "OptiTrackStream", "Tracking not valid - skip"), 2u);
    EXPECT_EQ(f.context.implausiblePoses.total(), 2u);
    // The first occurrence is reported at once; the second falls within the same second.
    const std::vector<std::string> expected = {
        "Implausible pose of optitrack-1 treated as not tracked (1 since the last warning)",
        "Tracking not valid - skip",
        "Tracking not valid - skip",
    };
    EXPECT_EQ(f.texts("OptiTrackStream"), expected);
    EXPECT_EQ(f.log.sink().count(3, "OptiTrackStream", expected[0]), 1u);
}

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Rows, ImplausiblePose,
    ::testing::Values(ImplausibleRow{"nanX", {kNan, 0, 0}, {0, 0, 0, 1}, 0, 1},
                      ImplausibleRow{"infiniteY", {0, kInf, 0}, {0, 0, 0, 1}, 0, 1},
                      ImplausibleRow{"minusInfiniteZ", {0, 0, -kInf}, {0, 0, 0, 1}, 0, 1},
                      // Finite in the server's unit, beyond a float once scaled to millimetres.
                      ImplausibleRow{"overflowsWhenScaled", {3e38f, 0, 0}, {0, 0, 0, 1}, 0, 1000},
                      ImplausibleRow{"nanMeanError", {0, 0, 0}, {0, 0, 0, 1}, kNan, 1},
                      ImplausibleRow{"infiniteMeanError", {0, 0, 0}, {0, 0, 0, 1}, kInf, 1},
                      ImplausibleRow{"minusInfiniteMeanError", {0, 0, 0}, {0, 0, 0, 1}, -kInf, 1},
                      ImplausibleRow{"nanQuaternion", {0, 0, 0}, {0, 0, 0, kNan}, 0, 1},
                      ImplausibleRow{"infiniteQuaternion", {0, 0, 0}, {kInf, 0, 0, 1}, 0, 1},
                      ImplausibleRow{"zeroQuaternion", {0, 0, 0}, {0, 0, 0, 0}, 0, 1},
                      ImplausibleRow{"tooShortQuaternion", {0, 0, 0}, {0, 0, 0, 0.49f}, 0, 1},
                      ImplausibleRow{"tooLongQuaternion", {0, 0, 0}, {2, 0, 0, 0.01f}, 0, 1}),
    [](const ::testing::TestParamInfo<ImplausibleRow>& row) { return std::string(row.param.name); });

TEST(FrameProcessing, ImplausiblePosesAreWarnedAboutAtABoundedPace)
{
    FrameFixture f;
    auto frame = newFrame();
    for (int id = 0; id < 50; ++id) addBody(*frame, id, true).qw = kNan;
    for (int n = 0; n < 20; ++n) f.deliver(*frame);

    EXPECT_EQ(f.context.implausiblePoses.total(), 1000u);
    // 1000 bad bodies within far less than a second: one warning.
    EXPECT_EQ(f.log.sink().countContaining("Implausible pose of "), 1u);
    EXPECT_EQ(f.stream.numInstruments(), 0u);
}

TEST(RateLimitedCount, ReportsTheFirstAtOnceThenAtMostOncePerIntervalWithTheCountSince)
{
    using namespace std::chrono_literals;
    Internal::RateLimitedCount counter(1s);
    const auto t0 = Internal::RateLimitedCount::Clock::time_point() + 100s;
    struct Step
    {
        std::chrono::milliseconds at;
        std::uint64_t reported;
    };
    const Step steps[] = {{0ms, 1},    {500ms, 0},  {999ms, 0}, {1000ms, 3},
                          {1500ms, 0}, {5000ms, 2}, {6000ms, 1}};
    for (const Step& step : steps) EXPECT_EQ(counter.count(t0 + step.at), step.reported) << step.at.count();
    EXPECT_EQ(counter.total(), 7u);
}

TEST(FrameProcessing, NoMoreThanTheLimitOfInstrumentsIsCreated)
{
    constexpr std::size_t kLimit = OptiTrackStream::Impl::kInstrumentLimit;
    static_assert(kLimit == 2000);
    FrameFixture f;
    Log::g_globalLevel = 2;
    auto frame = newFrame();
    const auto fill = [&](int firstId) {
        frame->nRigidBodies = 0;
        for (int i = 0; i < MAX_RIGIDBODIES; ++i) addBody(*frame, firstId + i, true);
    };
    // 1000 never-seen IDs per frame.
    for (int n = 0; n < 3; ++n) {
        fill(n * MAX_RIGIDBODIES);
        f.deliver(*frame);
    }
    EXPECT_EQ(f.stream.numInstruments(), kLimit);
    EXPECT_TRUE(f.stream.findInstrument("optitrack-1999").has_value());
    EXPECT_FALSE(f.stream.findInstrument("optitrack-2000").has_value());
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument"), kLimit);
    const std::string limitLine = "Instrument limit of 2000 reached; further rigid bodies are not tracked";
    EXPECT_EQ(f.log.sink().count(3, "OptiTrackStream", limitLine), 1u);

    // More new IDs: nothing created, logged no more; the known instruments still follow their bodies.
    fill(5000);
    frame->RigidBodies[0].ID = 7;
    frame->RigidBodies[0].x = 3.0f;
    f.deliver(*frame);
    EXPECT_EQ(f.stream.numInstruments(), kLimit);
    EXPECT_EQ(f.log.sink().count(limitLine), 1u);
    EXPECT_EQ(f.stream.findInstrument("optitrack-7")->pose(0, 3), 3.0);
    EXPECT_EQ(f.emissions.size(), 4u);
}

TEST(FrameProcessing, OnlyTheLowestParameterBitMeansValid)
{
    FrameFixture f;
    auto frame = newFrame();
    addBody(*frame, 1, false).params = 0x7FFE;
    addBody(*frame, 2, false).params = 0x0003;
    f.deliver(*frame);
    EXPECT_FALSE(f.stream.findInstrument("optitrack-1").has_value());
    EXPECT_TRUE(f.stream.findInstrument("optitrack-2").has_value());
}

TEST(FrameProcessing, OneEmissionPerFrameWithTheUnionOfTheStoresFlags)
{
    FrameFixture f;
    auto frame = newFrame();
    f.deliver(*frame);  // no rigid bodies at all
    ASSERT_EQ(f.emissions.size(), 1u);
    EXPECT_TRUE(f.emissions[0].empty());

    addBody(*frame, 1, true);
    addBody(*frame, 2, false);  // unknown to the store: contributes nothing
    f.deliver(*frame);
    ASSERT_EQ(f.emissions.size(), 2u);
    EXPECT_TRUE(f.emissions[1].test(Mod::Added | Mod::Updated));

    frame->RigidBodies[0].x = 4.0f;
    f.deliver(*frame);
    ASSERT_EQ(f.emissions.size(), 3u);
    EXPECT_FALSE(f.emissions[2].test(Mod::Added));
    EXPECT_TRUE(f.emissions[2].test(Mod::Updated | Mod::PoseChanged));

    // Only an invalid body that never had an instrument: the store reports nothing.
    auto invalidOnly = newFrame();
    addBody(*invalidOnly, 2, false);
    f.deliver(*invalidOnly);
    ASSERT_EQ(f.emissions.size(), 4u);
    EXPECT_TRUE(f.emissions[3].empty());
}

TEST(FrameProcessing, TimestampInMillisecondsTruncatedAndGuarded)
{
    struct Row
    {
        double seconds;
        std::uint64_t milliseconds;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        {0.9999, 999},
        {1356.1166666666666, 1356116},
        {0.0, 0},
        {-0.0005, 0},
        {-1.0, 0},
        {-1e300, 0},
        {nan, 0},
        {-inf, 0},
        {1e300, std::numeric_limits<std::uint64_t>::max()},
        {inf, std::numeric_limits<std::uint64_t>::max()},
        {1.8446744073709552e16, std::numeric_limits<std::uint64_t>::max()},  // x 1000 is 2^64
        {9.2233720368547758e15, 9223372036854775808ull},                     // x 1000 is 2^63
    };
    for (const Row& row : rows) {
        FrameFixture f;
        auto frame = newFrame();
        frame->fTimestamp = row.seconds;
        addBody(*frame, 1, true);
        addBody(*frame, 2, true);
        f.deliver(*frame);
        EXPECT_EQ(f.stream.findInstrument("optitrack-1")->timestampMs, row.milliseconds) << row.seconds;
        EXPECT_EQ(f.stream.findInstrument("optitrack-2")->timestampMs, row.milliseconds) << row.seconds;
    }
}

TEST(FrameProcessing, CountsPastTheFramesCapacityAreBounded)
{
    FrameFixture f;
    auto frame = newFrame();
    for (int i = 0; i < MAX_RIGIDBODIES; ++i) frame->RigidBodies[i].ID = i;
    frame->RigidBodies[MAX_RIGIDBODIES - 1].params = 1;
    frame->nRigidBodies = MAX_RIGIDBODIES + 5000;
    frame->nMarkerSets = MAX_MARKERSETS + 5000;
    f.deliver(*frame);
    EXPECT_EQ(f.stream.numInstruments(), 1u);
    EXPECT_TRUE(f.stream.findInstrument("optitrack-999").has_value());
    EXPECT_EQ(f.log.sink().count(0, "OptiTrackStream", "Tracking not valid - skip"),
              static_cast<std::size_t>(MAX_RIGIDBODIES - 1));

    frame->nRigidBodies = -3;
    frame->nMarkerSets = -1;
    f.deliver(*frame);
    EXPECT_EQ(f.emissions.size(), 2u);
    EXPECT_EQ(f.log.sink().count(0, "OptiTrack", "Rigid Bodies [Count=-3]\n"), 1u);
}

TEST(FrameProcessing, NoFrameOrNoContextDoesNothing)
{
    FrameFixture f;
    auto frame = newFrame();
    addBody(*frame, 1, true);
    OptiTrackStream::onFrameReceived(nullptr, &f.context);
    OptiTrackStream::onFrameReceived(frame.get(), nullptr);
    EXPECT_TRUE(f.emissions.empty());
    EXPECT_EQ(f.stream.numInstruments(), 0u);
}

// ---- Diagnostic lines ----

/// Frame 162734 (at 1356.1166666666666 s) with no bodies, its clocks two milliseconds apart at
/// 1 MHz, and a timecode.
sFrameOfMocapData& diagnosticFrame(sFrameOfMocapData& frame)
{
    NatNetTest::buildFrame(frame, 162734, 0);
    frame.CameraDataReceivedTimestamp = 1000;
    frame.TransmitTimestamp = 3000;
    frame.Timecode = 0x01020304;
    frame.TimecodeSubframe = 5;
    return frame;
}

bool startsAndEndsWith(const std::string& text, const std::string& head, const std::string& tail)
{
    return text.size() >= head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// The OptiTrack lines of one diagnostic frame, changed by `adjust`, with the clock at 1 MHz
/// (2000 ticks are 2 ms).
std::vector<std::string> diagnosticLines(FrameFixture& f,
                                         const std::function<void(sFrameOfMocapData&)>& adjust = {})
{
    f.context.clockFrequency = 1000000;
    auto frame = newFrame();
    diagnosticFrame(*frame);
    if (adjust) adjust(*frame);
    f.deliver(*frame);
    return f.texts("OptiTrack");
}

TEST(FrameDiagnostics, WithoutMidExposureTheTransitLineReplacesSystemAndTotal)
{
    FrameFixture f;
    const auto lines = diagnosticLines(f);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "FrameID: 162734");
    EXPECT_EQ(lines[1], "Timestamp:1356.12");
    EXPECT_EQ(lines[2], "Software latency: 2 milliseconds\n");
    EXPECT_TRUE(startsAndEndsWith(lines[3], "Transit latency: ", " milliseconds\n")) << lines[3];
    EXPECT_EQ(lines[4], "Timecode: 01:02:03:04.5\n");
    EXPECT_EQ(lines[5], "Rigid Bodies [Count=0]\n");
    for (const auto& record : f.records()) {
        if (record.category == "OptiTrack") {
            EXPECT_EQ(record.level, 0);
        }
    }
}

TEST(FrameDiagnostics, WithMidExposureSystemAndTotalLatency)
{
    FrameFixture f;
    const auto lines = diagnosticLines(f, [](sFrameOfMocapData& frame) {
        frame.CameraMidExposureTimestamp = 500;  // 2500 ticks before transmit
    });
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "Software latency: 2 milliseconds\n");
    EXPECT_EQ(lines[3], "System latency: 2.5 milliseconds\n");
    EXPECT_TRUE(startsAndEndsWith(lines[4], "Total client latency: ", " ms)\n")) << lines[4];
    EXPECT_NE(lines[4].find(" milliseconds (transit time +"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5], "Timecode: 01:02:03:04.5\n");
}

TEST(FrameDiagnostics, TickDifferencesWrapInSixtyFourBits)
{
    FrameFixture f;
    const auto lines = diagnosticLines(f, [](sFrameOfMocapData& frame) {
        frame.CameraDataReceivedTimestamp = 2;
        frame.TransmitTimestamp = 1;  // (1 - 2) * 1000 wraps to 2^64 - 1000
    });
    EXPECT_EQ(lines[2], "Software latency: 1.84467e+13 milliseconds\n");
}

TEST(FrameDiagnostics, RecordingBeforeModelsChanged)
{
    FrameFixture f;
    auto frame = newFrame();
    diagnosticFrame(*frame).params = 0x03;
    addBody(*frame, 1, true);
    addBody(*frame, 2, true);
    f.deliver(*frame);

    const auto lines = f.texts("OptiTrack");
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "RECORDING\n");
    EXPECT_EQ(lines[5], "Models Changed.\n");
    EXPECT_EQ(lines[7], "Rigid Bodies [Count=2]\n");

    // Each bit alone gives only its own line.
    FrameFixture g;
    frame->params = 0x02;
    g.deliver(*frame);
    EXPECT_EQ(g.log.sink().count("RECORDING\n"), 0u);
    EXPECT_EQ(g.log.sink().count("Models Changed.\n"), 1u);
}

TEST(FrameDiagnostics, TheHeaderPrecedesTheBodiesLines)
{
    FrameFixture f;
    auto frame = newFrame();
    diagnosticFrame(*frame);
    addBody(*frame, 1, false);
    f.deliver(*frame);
    const auto records = f.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().text, "Tracking not valid - skip");
    EXPECT_EQ(records[records.size() - 2].text, "Rigid Bodies [Count=1]\n");
}

TEST(FrameDiagnostics, LevelZeroOffLogsOnlyTheCreationLine)
{
    FrameFixture f;
    Log::g_globalLevel = 1;
    auto frame = newFrame();
    diagnosticFrame(*frame).params = 0x03;
    addBody(*frame, 1, true);
    addBody(*frame, 2, false);
    f.deliver(*frame);
    f.deliver(*frame);

    const auto records = f.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 2);
    EXPECT_EQ(records[0].text, "Created tracking instrument optitrack-1( name : OptiTrack 1 )");
}

TEST(FrameDiagnostics, EachLineAsksForItsOwnCategory)
{
    FrameFixture f;
    // Header lines off, body lines on.
    Log::setCategoryLevel("OptiTrack", 3);
    auto frame = newFrame();
    addBody(*frame, 2, false);
    f.deliver(*frame);
    EXPECT_TRUE(f.texts("OptiTrack").empty());
    EXPECT_EQ(f.log.sink().count(0, "OptiTrackStream", "Tracking not valid - skip"), 1u);

    // The creation line off: the instrument is created all the same.
    Log::setCategoryLevel("OptiTrackStream", 3);
    frame->RigidBodies[0].params = 1;
    f.deliver(*frame);
    EXPECT_EQ(f.log.sink().countContaining("Created tracking instrument"), 0u);
    EXPECT_TRUE(f.stream.findInstrument("optitrack-2").has_value());
}

}  // namespace
}  // namespace Quorvane::Testing
