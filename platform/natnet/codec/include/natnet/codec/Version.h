// Bitstream versions and the version gates of the wire layout.
//
// Every layout decision of the codec asks one of the gates below; each is
// named after the field it governs and set to the NatNet version that
// introduced (or removed) that field.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace NatNet::Wire {

struct Version
{
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t build = 0;
    uint8_t revision = 0;

    constexpr Version() = default;
    constexpr Version(uint8_t maj, uint8_t min, uint8_t bld = 0, uint8_t rev = 0)
        : major(maj), minor(min), build(bld), revision(rev)
    {
    }
    static constexpr Version fromBytes(const uint8_t bytes[4])
    {
        return Version(bytes[0], bytes[1], bytes[2], bytes[3]);
    }
    void toBytes(uint8_t bytes[4]) const
    {
        bytes[0] = major;
        bytes[1] = minor;
        bytes[2] = build;
        bytes[3] = revision;
    }
    // The text form of a version, as in "Bitstream,4.1" and on command lines:
    // "M.m", "M.m.b" or "M.m.b.r", each part 1 to 3 decimal digits with a value
    // of at most 255 (missing parts are 0). "M.m.b" stays because SDK sample
    // clients send "Bitstream,M.m.b" and the server switches on it. No signs,
    // spaces or trailing text; anything else gives nullopt. Whether the
    // version is supported is the caller's call.
    static std::optional<Version> parse(std::string_view text);

    // Layouts depend on major.minor only.
    constexpr bool atLeast(Version gate) const
    {
        return major > gate.major || (major == gate.major && minor >= gate.minor);
    }
};

namespace Gate {
// Oldest and newest layouts this codec knows. 4.3 and 4.4 keep the 4.2 layout.
inline constexpr Version OldestSupported{2, 0};
inline constexpr Version NewestSupported{4, 4};

// Server information: data port, multicast flag and group follow the clock.
inline constexpr Version ServerInfoConnectionInfo{3, 0};

// Model definitions.
inline constexpr Version DescriptionSizeField{4, 1};
inline constexpr Version RigidBodyDescriptionName{2, 0};
inline constexpr Version RigidBodyDescriptionMarkers{3, 0};
inline constexpr Version RigidBodyDescriptionMarkerNames{4, 0};
inline constexpr Version RigidBodyDescriptionRotationOffset{4, 2};
inline constexpr Version ForcePlateDescription{2, 9};
inline constexpr Version DeviceDescription{3, 0};
inline constexpr Version CameraDescription{4, 0};
inline constexpr Version AssetDescription{4, 1};

// Frames of data.
inline constexpr Version FrameSectionSizes{4, 1};
inline constexpr Version FrameSkeletons{2, 1};
inline constexpr Version FrameAssets{4, 1};
inline constexpr Version FrameLabeledMarkers{2, 3};
inline constexpr Version LabeledMarkerParams{2, 6};
inline constexpr Version LabeledMarkerResidual{3, 0};
inline constexpr Version FrameForcePlates{2, 9};
inline constexpr Version FrameDevices{3, 0};
inline constexpr Version RigidBodyMarkersDropped{3, 0};  // per-body marker arrays end here
inline constexpr Version RigidBodyMarkerIdsAndSizes{2, 0};
inline constexpr Version RigidBodyMeanError{2, 0};
inline constexpr Version RigidBodyParams{2, 6};
inline constexpr Version LegacyLatencyDropped{3, 0};  // the f32 "latency" ends here
inline constexpr Version FrameTimestamp{2, 6};        // f32 in 2.6
inline constexpr Version FrameTimestampDouble{2, 7};  // f64 from 2.7
inline constexpr Version FrameHostTimestamps{3, 0};
inline constexpr Version FramePrecisionTimestamps{4, 1};
inline constexpr Version FrameParams{2, 6};
}  // namespace Gate

constexpr bool isSupported(Version version)
{
    return version.atLeast(Gate::OldestSupported) &&
           !version.atLeast(Version(Gate::NewestSupported.major, Gate::NewestSupported.minor + 1));
}

}  // namespace NatNet::Wire
