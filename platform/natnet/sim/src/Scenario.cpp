#include "natnet/sim/Scenario.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace NatNet::Sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTurnSeconds = 5.0;       // one turn of the path
constexpr double kGapPeriodSeconds = 5.0;  // with invalidGaps: 0.5 s lost in every 5 s
constexpr double kGapSeconds = 0.5;
constexpr float kMarkerSize = 0.014f;  // metres
constexpr float kResidual = 0.0002f;   // metres per ray
constexpr float kMeanError = 0.0003f;  // metres

// Marker positions in a body's own frame, metres: an asymmetric tool shape.
constexpr float kMarkerOffsets[Scenario::kMarkersPerBody][3] = {
    {0.040f, 0.000f, 0.000f},
    {-0.030f, 0.000f, 0.020f},
    {0.000f, 0.015f, -0.045f},
    {-0.010f, -0.010f, 0.060f},
};

const char* const kNames[] = {"Probe", "Pointer", "Reference", "Needle", "Drill",
                              "Scope", "Patient", "Table",     "Camera", "Saw"};

// Rotation of v by `angle` about +Y (the rotation matrix of the quaternion (0, sin a/2, 0, cos a/2)).
void yaw(const float (&v)[3], double angle, double (&out)[3])
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    out[0] = c * v[0] + s * v[2];
    out[1] = v[1];
    out[2] = -s * v[0] + c * v[2];
}

}  // namespace

Scenario::Scenario(const ScenarioConfig& config) : m_config(config)
{
    m_config.rigidBodies = std::clamp(m_config.rigidBodies, 0, kMaxBodies);
    m_config.newIdsPerFrame = std::clamp(m_config.newIdsPerFrame, 0, kMaxBodies - m_config.rigidBodies);
    for (std::string& name : m_config.bodyNames) {
        // The wire carries names NUL-terminated in fixed-size records.
        name = name.substr(0, std::min(name.find('\0'), static_cast<size_t>(MAX_NAMELENGTH - 1)));
    }
    m_config.poseFaults.erase(std::remove_if(m_config.poseFaults.begin(), m_config.poseFaults.end(),
                                             [&](const PoseFaultRule& rule) {
                                                 return rule.everyFrames < 1 || rule.body < 0 ||
                                                        rule.body >= m_config.rigidBodies;
                                             }),
                              m_config.poseFaults.end());
    if (!(m_config.rateHz > 0.0)) {
        m_config.rateHz = 120.0;
    }
    m_scale = m_config.units == Units::Millimetres ? 1000.0f : 1.0f;
    if (m_config.markers) {
        m_markerSets.resize(static_cast<size_t>(m_config.rigidBodies) + 1);
        for (int i = 0; i < m_config.rigidBodies; ++i) {
            m_markerSets[static_cast<size_t>(i)].markers = std::make_unique<MarkerData[]>(kMarkersPerBody);
            m_markerSets[static_cast<size_t>(i)].count = kMarkersPerBody;
        }
        const int all = m_config.rigidBodies * kMarkersPerBody;
        m_markerSets.back().markers = std::make_unique<MarkerData[]>(static_cast<size_t>(std::max(all, 1)));
        m_markerSets.back().count = all;
    }
}

std::string Scenario::bodyName(int index)
{
    constexpr int kCount = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));
    if (index >= 0 && index < kCount) {
        return kNames[index];
    }
    return std::string(kNames[((index % kCount) + kCount) % kCount]) + std::to_string(index / kCount + 1);
}

std::string Scenario::nameOf(int index) const
{
    if (index >= 0 && static_cast<size_t>(index) < m_config.bodyNames.size()) {
        return m_config.bodyNames[static_cast<size_t>(index)];
    }
    return bodyName(index);
}

float Scenario::unitsToMillimeters() const
{
    return m_config.units == Units::Millimetres ? 1.0f : 1000.0f;
}

uint64_t Scenario::totalFrames() const
{
    uint64_t total = m_config.frameCount;
    if (m_config.durationSeconds > 0.0) {
        const auto byDuration =
            static_cast<uint64_t>(std::llround(m_config.durationSeconds * m_config.rateHz));
        total = total == 0 ? byDuration : std::min(total, byDuration);
    }
    return total;
}

bool Scenario::isTracked(int index, double seconds) const
{
    if (!m_config.invalidGaps) {
        return true;
    }
    // Staggered so that the bodies do not all vanish together.
    const double phase = std::fmod(seconds + 1.3 * index, kGapPeriodSeconds);
    return phase >= kGapSeconds;
}

sRigidBodyData Scenario::pose(int index, double seconds) const
{
    const int count = std::max(m_config.rigidBodies, 1);
    const double phase = 2.0 * kPi * index / count;
    const double angle = 2.0 * kPi * seconds / kTurnSeconds + phase;
    const double radius = 0.3 + 0.05 * index;
    sRigidBodyData body;
    body.ID = index + 1;
    body.x = static_cast<float>(radius * std::cos(angle) * m_scale);
    body.y = static_cast<float>((1.2 + 0.1 * std::sin(2.0 * angle)) * m_scale);
    body.z = static_cast<float>(radius * std::sin(angle) * m_scale);
    // Facing along the path: yaw follows the angle.
    body.qx = 0.0f;
    body.qy = static_cast<float>(std::sin(-angle / 2.0));
    body.qz = 0.0f;
    body.qw = static_cast<float>(std::cos(-angle / 2.0));
    body.MeanError = kMeanError * m_scale;
    body.params = 1;
    return body;
}

void Scenario::markerPositions(int index, const sRigidBodyData& body, float (*out)[3]) const
{
    // The body's rotation is about +Y only: angle = 2 atan2(qy, qw).
    const double angle = 2.0 * std::atan2(static_cast<double>(body.qy), static_cast<double>(body.qw));
    (void)index;
    for (int m = 0; m < kMarkersPerBody; ++m) {
        double rotated[3];
        yaw(kMarkerOffsets[m], angle, rotated);
        out[m][0] = body.x + static_cast<float>(rotated[0] * m_scale);
        out[m][1] = body.y + static_cast<float>(rotated[1] * m_scale);
        out[m][2] = body.z + static_cast<float>(rotated[2] * m_scale);
    }
}

void Scenario::fill(uint64_t index, sFrameOfMocapData& frame)
{
    fill(index, static_cast<double>(index) / m_config.rateHz, frame);
}

void Scenario::fill(uint64_t index, double seconds, sFrameOfMocapData& frame)
{
    frame.iFrame = m_config.firstFrameNumber + static_cast<int32_t>(index);
    frame.fTimestamp = seconds;
    // Every section starts empty (the arrays are left as they are), every other clock at zero.
    frame.nMarkerSets = frame.nOtherMarkers = frame.nSkeletons = frame.nAssets = 0;
    frame.nLabeledMarkers = frame.nForcePlates = frame.nDevices = 0;
    frame.OtherMarkers = nullptr;
    frame.Timecode = frame.TimecodeSubframe = 0;
    frame.CameraMidExposureTimestamp = frame.CameraDataReceivedTimestamp = frame.TransmitTimestamp = 0;
    frame.PrecisionTimestampSecs = frame.PrecisionTimestampFractionalSecs = 0;
    frame.params = 0;

    frame.nRigidBodies = m_config.rigidBodies;
    for (int i = 0; i < m_config.rigidBodies; ++i) {
        const bool tracked = isTracked(i, seconds);
        sRigidBodyData body = pose(i, seconds);
        if (!tracked) {
            // What a lost body looks like on the wire: no pose, tracked bit clear.
            body = sRigidBodyData();
            body.ID = i + 1;
        }
        frame.RigidBodies[i] = body;
        if (!m_config.markers) {
            continue;
        }
        MarkerData* markers = m_markerSets[static_cast<size_t>(i)].markers.get();
        if (tracked) {
            markerPositions(i, body, markers);
        } else {
            std::memset(markers, 0, sizeof(MarkerData) * kMarkersPerBody);
        }
        std::memcpy(m_markerSets.back().markers.get() + static_cast<size_t>(i) * kMarkersPerBody, markers,
                    sizeof(MarkerData) * kMarkersPerBody);
        for (int m = 0; m < kMarkersPerBody && tracked; ++m) {
            if (frame.nLabeledMarkers >= MAX_LABELED_MARKERS) {
                break;
            }
            sMarker& marker = frame.LabeledMarkers[frame.nLabeledMarkers++];
            marker.ID = ((i + 1) << 16) | (m + 1);  // asset ID high, member ID low
            marker.x = markers[m][0];
            marker.y = markers[m][1];
            marker.z = markers[m][2];
            marker.size = kMarkerSize * m_scale;
            marker.params = 0x0A;  // point-cloud solved, has model
            marker.residual = kResidual;
        }
    }
    if (m_config.markers) {
        const int sets = std::min(m_config.rigidBodies + 1, MAX_MARKERSETS);
        for (int s = 0; s < sets; ++s) {
            sMarkerSetData& set = frame.MocapData[s];
            std::memset(set.szName, 0, sizeof(set.szName));
            const std::string name = s < m_config.rigidBodies ? nameOf(s) : std::string("all");
            std::memcpy(set.szName, name.data(), std::min(name.size(), sizeof(set.szName) - 1));
            set.nMarkers = m_markerSets[static_cast<size_t>(s)].count;
            set.Markers = m_markerSets[static_cast<size_t>(s)].markers.get();
        }
        frame.nMarkerSets = sets;
    }
    applyPoseFaults(index, frame);
    addNewIds(index, seconds, frame);
}

void Scenario::applyPoseFaults(uint64_t index, sFrameOfMocapData& frame) const
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    for (const PoseFaultRule& rule : m_config.poseFaults) {
        if ((index + 1) % static_cast<uint64_t>(rule.everyFrames) != 0) {
            continue;
        }
        sRigidBodyData& body = frame.RigidBodies[rule.body];
        switch (rule.fault) {
            case PoseFault::NaNPosition:
                body.x = body.y = body.z = nan;
                break;
            case PoseFault::InfinitePosition:
                body.x = inf;
                body.y = -inf;
                break;
            case PoseFault::NaNMeanError:
                body.MeanError = nan;
                break;
            case PoseFault::NaNQuaternion:
                body.qx = body.qy = body.qz = body.qw = nan;
                break;
            case PoseFault::InfiniteQuaternion:
                body.qw = inf;
                break;
            case PoseFault::NonUnitQuaternion:
                body.qx *= 3.0f;
                body.qy *= 3.0f;
                body.qz *= 3.0f;
                body.qw *= 3.0f;
                break;
            case PoseFault::ZeroQuaternion:
                body.qx = body.qy = body.qz = body.qw = 0.0f;
                break;
        }
    }
}

void Scenario::addNewIds(uint64_t index, double seconds, sFrameOfMocapData& frame) const
{
    const auto perFrame = static_cast<uint64_t>(m_config.newIdsPerFrame);
    // IDs stay positive: after about two billion of them they start again at kFirstNewId.
    const uint64_t span = static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) - kFirstNewId;
    for (uint64_t j = 0; j < perFrame; ++j) {
        sRigidBodyData body = pose(0, seconds);
        body.ID = kFirstNewId + static_cast<int32_t>((index * perFrame + j) % span);
        body.x += static_cast<float>(0.001 * static_cast<double>(j) * m_scale);
        frame.RigidBodies[frame.nRigidBodies++] = body;
    }
}

Descriptions Scenario::descriptions() const
{
    Descriptions out;
    MarkerSetModel all{"all", {}};
    for (int i = 0; i < m_config.rigidBodies; ++i) {
        const std::string name = nameOf(i);
        MarkerSetModel set{name, {}};
        RigidBodyModel body;
        body.name = name;
        body.id = i + 1;
        for (int m = 0; m < kMarkersPerBody; ++m) {
            const std::string markerName = name + "_" + std::to_string(m + 1);
            set.markerNames.push_back(markerName);
            all.markerNames.push_back(markerName);
            body.markers.push_back({kMarkerOffsets[m][0] * m_scale, kMarkerOffsets[m][1] * m_scale,
                                    kMarkerOffsets[m][2] * m_scale});
            body.requiredLabels.push_back(0);
            body.markerNames.push_back("Marker" + std::to_string(m + 1));
        }
        if (m_config.markers) {
            out.addMarkerSet(std::move(set));
        }
        out.addRigidBody(std::move(body));
    }
    if (m_config.markers && m_config.rigidBodies > 0) {
        out.addMarkerSet(std::move(all));
    }
    return out;
}

}  // namespace NatNet::Sim
