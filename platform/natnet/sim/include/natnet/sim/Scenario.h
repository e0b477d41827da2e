// A synthetic tracking session: rigid bodies moving on smooth closed paths,
// each with its own marker set and labeled markers, optionally with gaps of
// invalid tracking.
//
// Body i (0-based) is named bodyName(i) ("Probe", "Pointer", "Reference", ...),
// has streaming ID i + 1 and four markers. Its centre follows a Lissajous path
// around (0, 1.2 m, 0) with radius 0.3 m + 0.05 m * i, one turn every 5 s,
// and it turns about the vertical (Y) axis with the path. Positions are in the
// chosen unit; quaternions are x, y, z, w.
#pragma once

#include "natnet/sim/Descriptions.h"

#include "NatNetTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace NatNet::Sim {

enum class Units { Metres, Millimetres };

// A damaged pose a scenario can put into its frames (the server misbehaving).
enum class PoseFault {
    NaNPosition,         // x, y, z NaN
    InfinitePosition,    // x +inf, y -inf
    NaNMeanError,        // mean marker error NaN (the pose itself is fine)
    NaNQuaternion,       // all four components NaN
    InfiniteQuaternion,  // qw +inf
    NonUnitQuaternion,   // the quaternion scaled by 3 (finite, length 3)
    ZeroQuaternion,      // all four components 0
};

// Body `body` (0-based) carries `fault` in every `everyFrames`-th frame (frame
// indices everyFrames - 1, 2 * everyFrames - 1, ...; 1: every frame).
struct PoseFaultRule
{
    int body = 0;
    PoseFault fault = PoseFault::NaNPosition;
    int everyFrames = 1;
};

struct ScenarioConfig
{
    int rigidBodies = 3;
    double rateHz = 120.0;
    Units units = Units::Metres;
    // Each body loses tracking for 0.5 s out of every 5 s (staggered per body):
    // tracked bit clear, zero pose, its labeled markers absent.
    bool invalidGaps = false;
    // Marker sets and labeled markers; off gives rigid bodies only (smaller frames).
    bool markers = true;
    // Stop after this many frames (0: no limit) or this many seconds (0: no limit).
    uint64_t frameCount = 0;
    double durationSeconds = 0.0;
    int32_t firstFrameNumber = 1;

    // ---- Misbehaviour (tests of what the receiver must survive) -----------------
    // Names of bodies 0, 1, ... instead of the built-in ones, any bytes but NUL
    // (Latin-1, newlines, ESC); they name the rigid bodies, the marker sets (in
    // the descriptions and in the frames) and, with "_<n>", the markers. Cut to
    // MAX_NAMELENGTH - 1 bytes.
    std::vector<std::string> bodyNames;
    std::vector<PoseFaultRule> poseFaults;
    // Every frame also carries this many rigid bodies whose IDs no earlier frame
    // had (IDs from kFirstNewId up, tracked, with a valid pose); bounded by the
    // frame's capacity together with the scenario's own bodies.
    int newIdsPerFrame = 0;
};

class Scenario
{
public:
    static constexpr int kMarkersPerBody = 4;
    static constexpr int kMaxBodies = MAX_RIGIDBODIES;
    static constexpr int32_t kFirstNewId = 100'000;

    explicit Scenario(const ScenarioConfig& config);

    const ScenarioConfig& config() const { return m_config; }
    static std::string bodyName(int index);
    // The name body `index` has in this scenario (bodyNames when given).
    std::string nameOf(int index) const;
    // The UnitsToMillimeters answer that matches the positions.
    float unitsToMillimeters() const;
    // Frames this scenario streams (0: unlimited).
    uint64_t totalFrames() const;

    // Pose of body `index` at `seconds` after the start, as the frames carry it
    // when tracked.
    sRigidBodyData pose(int index, double seconds) const;
    bool isTracked(int index, double seconds) const;

    // Fills frame `index` (frame number firstFrameNumber + index) as it is at
    // `seconds`, which is also its timestamp: pose(i, frame.fTimestamp) is exactly
    // body i of the frame. The three server-clock timestamps are left 0. The
    // marker arrays the frame points to live in this object until the next fill.
    void fill(uint64_t index, double seconds, sFrameOfMocapData& frame);
    // The same at index / rate (a stream that started at time 0).
    void fill(uint64_t index, sFrameOfMocapData& frame);

    // Marker sets named after the bodies (plus "all") and the rigid bodies.
    Descriptions descriptions() const;

private:
    void markerPositions(int index, const sRigidBodyData& body, float (*out)[3]) const;
    void applyPoseFaults(uint64_t index, sFrameOfMocapData& frame) const;
    void addNewIds(uint64_t index, double seconds, sFrameOfMocapData& frame) const;

    ScenarioConfig m_config;
    float m_scale;
    struct MarkerSetStorage
    {
        std::unique_ptr<MarkerData[]> markers;
        int32_t count = 0;
    };
    std::vector<MarkerSetStorage> m_markerSets;  // one per body, then "all"
};

}  // namespace NatNet::Sim
