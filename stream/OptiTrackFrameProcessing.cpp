#include "stream/OptiTrackLog.h"
#include "stream/OptiTrackStream.h"
#include "stream/OptiTrackStreamImpl.h"

#include <NatNetCAPI.h>
#include <NatNetClient.h>
#include <NatNetTypes.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace Quorvane {

namespace Internal {
namespace {

// Bits of the SDK's params fields.
constexpr int kFrameRecording = 0x01;          // sFrameOfMocapData::params
constexpr int kFrameModelsChanged = 0x02;      // sFrameOfMocapData::params
constexpr int kRigidBodyTrackingValid = 0x01;  // sRigidBodyData::params

constexpr std::string_view kIdentifierPrefix = "optitrack-";
constexpr std::string_view kDefaultNamePrefix = "OptiTrack ";

/// "<prefix><decimal ID>" in a buffer of its own, so the frame path builds no std::string.
class IdText
{
public:
    // Only the first m_size bytes are ever read; zeroing the rest would cost the frame path.
    IdText(std::string_view prefix, std::int32_t id)  // NOLINT(cppcoreguidelines-pro-type-member-init)
    {
        prefix.copy(m_text, prefix.size());
        auto* const end = std::to_chars(m_text + prefix.size(), m_text + sizeof m_text, id).ptr;
        m_size = static_cast<std::size_t>(end - m_text);
    }
    std::string_view view() const { return std::string_view(m_text, m_size); }

private:
    // The longest prefix, a minus sign and ten digits.
    char m_text[32];
    std::size_t m_size = 0;
};

/// The frame's software timestamp (seconds) as whole milliseconds, truncated toward zero. A value
/// the unsigned conversion cannot take would be undefined behaviour: NaN and negative times give
/// 0, times beyond the largest 64-bit count give that count.
std::uint64_t timestampMilliseconds(double seconds)
{
    const double milliseconds = seconds * 1000.0;
    if (!(milliseconds > 0.0)) return 0;
    // 2^64 is exactly representable; everything below it converts.
    if (milliseconds >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(milliseconds);
}

/// Milliseconds between two ticks of the server clock: the difference and the product by 1000
/// wrap in 64 bits as the server's counters do.
double tickMilliseconds(std::uint64_t later, std::uint64_t earlier, std::uint64_t frequency)
{
    const std::uint64_t ticksTimes1000 = (later - earlier) * 1000u;
    return static_cast<double>(ticksTimes1000) / static_cast<double>(frequency);
}

/// The rotation of the quaternion as it comes, not normalised, and the scaled translation.
Pose poseOf(const sRigidBodyData& body, float unitsToMillimeters)
{
    const double qx = body.qx;
    const double qy = body.qy;
    const double qz = body.qz;
    const double qw = body.qw;
    const double x2 = 2.0 * qx;
    const double y2 = 2.0 * qy;
    const double z2 = 2.0 * qz;

    Pose pose;
    pose(0, 0) = 1.0 - (qy * y2 + qz * z2);
    pose(0, 1) = qx * y2 - qw * z2;
    pose(0, 2) = qx * z2 + qw * y2;
    pose(1, 0) = qx * y2 + qw * z2;
    pose(1, 1) = 1.0 - (qx * x2 + qz * z2);
    pose(1, 2) = qy * z2 - qw * x2;
    pose(2, 0) = qx * z2 - qw * y2;
    pose(2, 1) = qy * z2 + qw * x2;
    pose(2, 2) = 1.0 - (qx * x2 + qy * y2);
    // Each product in single precision, as the server's values are, then widened.
    pose(0, 3) = static_cast<double>(unitsToMillimeters * body.x);
    pose(1, 3) = static_cast<double>(unitsToMillimeters * body.y);
    pose(2, 3) = static_cast<double>(unitsToMillimeters * body.z);
    pose(3, 0) = 0.0;
    pose(3, 1) = 0.0;
    pose(3, 2) = 0.0;
    pose(3, 3) = 1.0;
    return pose;
}

/// Whether a pose is fit to be published as tracked: a finite translation (also after scaling,
/// which can overflow), a finite mean error, and a finite quaternion of a length between 0.5 and
/// 2. The rotation is built from the quaternion as it comes, so a length far from 1 gives a
/// matrix far from a rotation; within the bounds it is kept as the server sent it.
bool plausiblePose(const sRigidBodyData& body, const Pose& pose)
{
    if (!(std::isfinite(pose(0, 3)) && std::isfinite(pose(1, 3)) && std::isfinite(pose(2, 3)))) return false;
    if (!std::isfinite(body.MeanError)) return false;
    const double qx = body.qx;
    const double qy = body.qy;
    const double qz = body.qz;
    const double qw = body.qw;
    // Squares of widened floats cannot overflow; an infinite or NaN component fails the range.
    const double lengthSquared = qx * qx + qy * qy + qz * qz + qw * qw;
    return lengthSquared >= 0.25 && lengthSquared <= 4.0;
}

/// Counts a tracked body with an implausible pose and warns at a bounded pace.
void noteImplausiblePose(OptiTrackStream::Impl& impl, std::string_view identifier)
{
    const std::uint64_t since = impl.implausiblePoses.count(RateLimitedCount::Clock::now());
    if (since == 0) return;
    logMessage(Log::Warning, kStreamCategory, "Implausible pose of ", identifier, " treated as not tracked (",
               since, " since the last warning)");
}

/// Whether the stream may create one more instrument; logs once when it may not.
bool mayCreateInstrument(OptiTrackStream::Impl& impl)
{
    if (impl.instrumentsCreated.load(std::memory_order_relaxed) < OptiTrackStream::Impl::kInstrumentLimit) {
        return true;
    }
    if (!impl.instrumentLimitLogged.exchange(true, std::memory_order_relaxed)) {
        // Passed by value: a reference would make the module export the constant as a
        // unique symbol, and such a module can never be unloaded.
        logMessage(Log::Warning, kStreamCategory, "Instrument limit of ",
                   std::size_t{OptiTrackStream::Impl::kInstrumentLimit},
                   " reached; further rigid bodies are not tracked");
    }
    return false;
}

/// The per-frame diagnostic lines (level 0, category "OptiTrack").
void logFrameDiagnostics(const sFrameOfMocapData& frame, const OptiTrackStream::Impl& impl)
{
    const std::uint64_t frequency = impl.clockFrequency.load(std::memory_order_relaxed);
    const double softwareLatency =
        tickMilliseconds(frame.TransmitTimestamp, frame.CameraDataReceivedTimestamp, frequency);
    const double transitLatency = impl.client.SecondsSinceHostTimestamp(frame.TransmitTimestamp) * 1000.0;
    const bool haveMidExposure = frame.CameraMidExposureTimestamp != 0;
    double systemLatency = 0.0;
    double clientLatency = 0.0;
    if (haveMidExposure) {
        systemLatency =
            tickMilliseconds(frame.TransmitTimestamp, frame.CameraMidExposureTimestamp, frequency);
        clientLatency = impl.client.SecondsSinceHostTimestamp(frame.CameraMidExposureTimestamp) * 1000.0;
    }

    char timecode[128] = {};
    NatNet_TimecodeStringify(frame.Timecode, frame.TimecodeSubframe, timecode,
                             static_cast<int>(sizeof timecode));

    logMessage(Log::Debug, kFrameCategory, "FrameID: ", frame.iFrame);
    logMessage(Log::Debug, kFrameCategory, "Timestamp:", frame.fTimestamp);
    logMessage(Log::Debug, kFrameCategory, "Software latency: ", softwareLatency, " milliseconds\n");
    if (haveMidExposure) {
        logMessage(Log::Debug, kFrameCategory, "System latency: ", systemLatency, " milliseconds\n");
        logMessage(Log::Debug, kFrameCategory, "Total client latency: ", clientLatency,
                   " milliseconds (transit time +", transitLatency, " ms)\n");
    } else {
        logMessage(Log::Debug, kFrameCategory, "Transit latency: ", transitLatency, " milliseconds\n");
    }
    if ((frame.params & kFrameRecording) != 0) logMessage(Log::Debug, kFrameCategory, "RECORDING\n");
    if ((frame.params & kFrameModelsChanged) != 0) {
        logMessage(Log::Debug, kFrameCategory, "Models Changed.\n");
    }
    logMessage(Log::Debug, kFrameCategory, "Timecode: ", boundedText(timecode), "\n");
    logMessage(Log::Debug, kFrameCategory, "Rigid Bodies [Count=", frame.nRigidBodies, "]\n");
}

}  // namespace
}  // namespace Internal

void OptiTrackStream::onFrameReceived(sFrameOfMocapData* frame, void* context)
{
    if (frame == nullptr || context == nullptr) return;
    Impl& impl = *static_cast<Impl*>(context);
    OptiTrackStream& stream = *impl.stream;

    // The latencies and the timecode serve only these lines, so nothing is computed for them
    // while level 0 is off.
    if (Internal::logAccepted(Log::Debug, Internal::kFrameCategory)) {
        Internal::logFrameDiagnostics(*frame, impl);
    }

    const std::uint64_t timestampMs = Internal::timestampMilliseconds(frame->fTimestamp);
    const float unitsToMillimeters = impl.unitsToMillimeters.load(std::memory_order_relaxed);
    const double maxError = impl.maxError.load(std::memory_order_relaxed);
    const int markerSets = Internal::boundedCount(frame->nMarkerSets, MAX_MARKERSETS);
    const int rigidBodies = Internal::boundedCount(frame->nRigidBodies, MAX_RIGIDBODIES);

    InstrumentModifications changes;
    {
        // One writer lock and one clock reading for the whole frame; it ends before the signal,
        // so that listeners see the instruments this frame created.
        InstrumentStore::Writer store = stream.instrumentWriter();
        for (int i = 0; i < rigidBodies; ++i) {
            const sRigidBodyData& body = frame->RigidBodies[i];
            const Internal::IdText identifier(Internal::kIdentifierPrefix, body.ID);

            const bool flaggedValid = (body.params & Internal::kRigidBodyTrackingValid) != 0;
            const Pose pose =
                flaggedValid ? Internal::poseOf(body, unitsToMillimeters) : Pose(Pose::Identity());
            bool tracked = flaggedValid;
            // A pose that is not a pose is not published as tracked.
            if (flaggedValid && !Internal::plausiblePose(body, pose)) {
                Internal::noteImplausiblePose(impl, identifier.view());
                tracked = false;
            }

            if (!tracked) {
                Internal::logMessage(Log::Debug, Internal::kStreamCategory, "Tracking not valid - skip");
                changes |= store.update(identifier.view(), Pose::Identity(), 0.0, timestampMs, 0);
                continue;
            }

            const double quality = (1.0 - static_cast<double>(body.MeanError)) / maxError;

            // One lookup for a known body: the update finds it. For a body the store does not
            // know the update changes nothing and says so with an empty result; the body then
            // gets its instrument and the same update again, so that the creation comes before
            // the frame's pose as it always has.
            const InstrumentModifications updated =
                store.update(identifier.view(), pose, quality, timestampMs, 0);
            if (!updated.empty()) {
                changes |= updated;
                continue;
            }
            // A body first seen beyond the instrument limit gets no instrument, and so no update.
            if (!Internal::mayCreateInstrument(impl)) continue;
            impl.instrumentsCreated.fetch_add(1, std::memory_order_relaxed);
            // The name of the marker set at the body's position, if there is one, replaces the
            // default name.
            const std::string name =
                i < markerSets ? std::string(Internal::boundedText(frame->MocapData[i].szName))
                               : std::string(Internal::IdText(Internal::kDefaultNamePrefix, body.ID).view());
            const std::string id(identifier.view());
            Internal::logMessage(Log::Info, Internal::kStreamCategory, "Created tracking instrument ", id,
                                 "( name : ", name, " )");
            changes |= store.add(TrackerID(id, std::string(), name), true);
            changes |= store.update(identifier.view(), pose, quality, timestampMs, 0);
        }
    }
    stream.emitSignals(changes);
}

}  // namespace Quorvane
