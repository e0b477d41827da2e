// Frame decoding: one layout walk, run twice. The first run only checks the
// datagram; the second, which cannot fail any more, writes the record. So a
// bad datagram leaves the caller's record and storage untouched, and there is
// only one place that knows the layout.
#include "natnet/codec/FrameCodec.h"

#include "natnet/codec/ByteReader.h"

#include "CountCheck.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace NatNet::Wire {
namespace Internal {
namespace {

// Wire sizes of the fixed parts of each element, per version.
size_t rigidBodyMinSize(Version v)
{
    size_t size = 4 + 12 + 16;
    if (!v.atLeast(Gate::RigidBodyMarkersDropped)) size += 4;  // marker count
    if (v.atLeast(Gate::RigidBodyMeanError)) size += 4;
    if (v.atLeast(Gate::RigidBodyParams)) size += 2;
    return size;
}

size_t labeledMarkerSize(Version v)
{
    size_t size = 4 + 12 + 4;
    if (v.atLeast(Gate::LabeledMarkerParams)) size += 2;
    if (v.atLeast(Gate::LabeledMarkerResidual)) size += 4;
    return size;
}

// The fixed layouts of 3.0 and later: a rigid body (also an asset's body), and an asset's marker
// (a labeled marker with params and residual).
constexpr size_t kFixedRigidBodySize = 4 + 12 + 16 + 4 + 2;
constexpr size_t kAssetMarkerSize = 4 + 12 + 4 + 2 + 4;

template <bool Write>
class FrameWalk
{
public:
    FrameWalk(const uint8_t* data, size_t size, Version version, FrameStorage& storage,
              sFrameOfMocapData& out)
        : m_in(data, size),
          m_v(version),
          m_sizes(version.atLeast(Gate::FrameSectionSizes)),
          m_storage(storage),
          m_out(out)
    {
    }

    Status run()
    {
        Status s = Status::Ok;
        int32_t frameNumber = 0;
        if (!m_in.readI32(frameNumber)) return Status::Truncated;
        if constexpr (Write) m_out.iFrame = frameNumber;

        if ((s = markerSets()) != Status::Ok || (s = otherMarkers()) != Status::Ok ||
            (s = rigidBodies()) != Status::Ok || (s = skeletons()) != Status::Ok ||
            (s = assets()) != Status::Ok || (s = labeledMarkers()) != Status::Ok ||
            (s = analog(m_v.atLeast(Gate::FrameForcePlates), m_out.ForcePlates, m_out.nForcePlates,
                        MAX_FORCEPLATES)) != Status::Ok ||
            (s = analog(m_v.atLeast(Gate::FrameDevices), m_out.Devices, m_out.nDevices, MAX_DEVICES)) !=
                Status::Ok) {
            return s;
        }
        return suffix();
    }

private:
    // ---- sections ----------------------------------------------------------

    struct Section
    {
        int32_t count = 0;
        size_t end = 0;  // 4.1+: where the section's size field says it ends
    };

    // Count, then (4.1+) the size of what follows; the count is checked
    // against the capacity and against the bytes left before any element.
    Status openSection(Section& section, size_t capacity, size_t minElementSize)
    {
        if (!m_in.readI32(section.count)) return Status::Truncated;
        if (section.count < 0) return Status::NegativeCount;
        if (m_sizes) {
            int32_t size = 0;
            if (!m_in.readI32(size)) return Status::Truncated;
            if (size < 0) return Status::SizeMismatch;
            if (static_cast<size_t>(size) > m_in.remaining()) return Status::Truncated;
            section.end = m_in.position() + static_cast<size_t>(size);
        }
        return checkCount(m_in, section.count, capacity, minElementSize);
    }

    Status closeSection(const Section& section) const
    {
        return (!m_sizes || m_in.position() == section.end) ? Status::Ok : Status::SizeMismatch;
    }

    // A section whose elements are read one by one, `element(i)` for each; the record's count
    // is set once all of them were read.
    template <typename Element>
    Status eachElement(int32_t& outCount, size_t capacity, size_t minElementSize, Element&& element)
    {
        Section section;
        Status s = openSection(section, capacity, minElementSize);
        if (s != Status::Ok) return s;
        for (int32_t i = 0; i < section.count; ++i) {
            if ((s = element(i)) != Status::Ok) return s;
        }
        if constexpr (Write) outCount = section.count;
        return closeSection(section);
    }

    // As eachElement, for a section that only some versions send.
    template <typename Element>
    Status eachElementIf(bool present, int32_t& outCount, size_t capacity, size_t minElementSize,
                         Element&& element)
    {
        if (absent(present, outCount)) return Status::Ok;
        return eachElement(outCount, capacity, minElementSize, std::forward<Element>(element));
    }

    // A count inside an element, checked as a section's count is.
    Status readCount(int32_t& n, size_t capacity, size_t minElementSize)
    {
        if (!m_in.readI32(n)) return Status::Truncated;
        return checkCount(m_in, n, capacity, minElementSize);
    }

    // A section that this version does not send: the record holds none.
    static bool absent(bool present, int32_t& outCount)
    {
        if constexpr (Write) {
            if (!present) outCount = 0;
        }
        return !present;
    }

    // Reads n xyz triples into the marker pool (the walk that writes) or
    // past them (the walk that checks). The count was checked by the caller.
    MarkerData* takeMarkers(size_t n)
    {
        MarkerData* first = m_storage.markers() + m_markersUsed;
        for (size_t i = 0; i < n; ++i) {
            float xyz[3];
            m_in.readF32(xyz[0]);
            m_in.readF32(xyz[1]);
            m_in.readF32(xyz[2]);
            if constexpr (Write) std::memcpy(first[i], xyz, sizeof xyz);
        }
        m_markersUsed += n;
        return first;
    }

    Status markerSets()
    {
        return eachElement(m_out.nMarkerSets, MAX_MARKERSETS, 1 + 4, [this](int32_t i) {
            std::string_view name;
            Status s = m_in.readCString(name);
            if (s != Status::Ok) return s;
            int32_t n = 0;
            if ((s = readCount(n, FrameStorage::kMarkerCapacity - m_markersUsed, 12)) != Status::Ok) return s;
            MarkerData* markers = takeMarkers(static_cast<size_t>(n));
            if constexpr (Write) {
                sMarkerSetData& set = m_out.MocapData[i];
                ByteReader::copyBounded(name, set.szName, sizeof set.szName);
                set.nMarkers = n;
                set.Markers = n ? markers : nullptr;
            }
            return Status::Ok;
        });
    }

    Status otherMarkers()
    {
        Section section;
        Status s = openSection(section, FrameStorage::kMarkerCapacity - m_markersUsed, 12);
        if (s != Status::Ok) return s;
        MarkerData* markers = takeMarkers(static_cast<size_t>(section.count));
        if constexpr (Write) {
            m_out.nOtherMarkers = section.count;
            m_out.OtherMarkers = section.count ? markers : nullptr;
        }
        return closeSection(section);
    }

    // One rigid body (also a skeleton bone) in the layout of the version.
    Status rigidBody(sRigidBodyData* out)
    {
        sRigidBodyData body;
        m_in.readI32(body.ID);
        m_in.readF32(body.x);
        m_in.readF32(body.y);
        m_in.readF32(body.z);
        m_in.readF32(body.qx);
        m_in.readF32(body.qy);
        m_in.readF32(body.qz);
        if (!m_in.readF32(body.qw)) return Status::Truncated;
        if (!m_v.atLeast(Gate::RigidBodyMarkersDropped)) {
            // Per-body marker arrays: positions, then (2.0+) IDs and sizes.
            // The 4.1 record has no place for them; they are checked and skipped.
            int32_t n = 0;
            const size_t perMarker = m_v.atLeast(Gate::RigidBodyMarkerIdsAndSizes) ? 12 + 4 + 4 : 12;
            const Status s = readCount(n, MAX_PACKETSIZE, perMarker);
            if (s != Status::Ok) return s;
            m_in.skip(static_cast<size_t>(n) * perMarker);
        }
        if (m_v.atLeast(Gate::RigidBodyMeanError) && !m_in.readF32(body.MeanError)) return Status::Truncated;
        if (m_v.atLeast(Gate::RigidBodyParams)) {
            if (!m_in.readI16(body.params)) return Status::Truncated;
        } else {
            // Before 2.6 a body carries no tracking-valid field: every body sent was tracked.
            body.params = kRigidBodyTrackingValid;
        }
        if constexpr (Write) *out = body;
        return Status::Ok;
    }

    Status rigidBodies()
    {
        if (!m_v.atLeast(Gate::RigidBodyMarkersDropped)) {
            return eachElement(m_out.nRigidBodies, MAX_RIGIDBODIES, rigidBodyMinSize(m_v),
                               [this](int32_t i) { return rigidBody(&m_out.RigidBodies[i]); });
        }
        Section section;
        const Status s = openSection(section, MAX_RIGIDBODIES, rigidBodyMinSize(m_v));
        if (s != Status::Ok) return s;
        takeFixedRigidBodies(section.count, m_out.RigidBodies);
        if constexpr (Write) m_out.nRigidBodies = section.count;
        return closeSection(section);
    }

    // Fixed-size elements whose bytes the count check guaranteed: the checking
    // walk skips them, the writing walk reads them unchecked.
    void takeFixedRigidBodies(int32_t n, sRigidBodyData* out)
    {
        const uint8_t* p = m_in.take(static_cast<size_t>(n) * kFixedRigidBodySize);
        if constexpr (Write) {
            for (int32_t i = 0; i < n; ++i, p += kFixedRigidBodySize) loadFixedRigidBody(p, out[i]);
        }
    }

    // The 3.0+ rigid body: ID, position, orientation, mean error, params.
    static void loadFixedRigidBody(const uint8_t* p, sRigidBodyData& body)
    {
        body.ID = loadI32(p);
        body.x = loadF32(p + 4);
        body.y = loadF32(p + 8);
        body.z = loadF32(p + 12);
        body.qx = loadF32(p + 16);
        body.qy = loadF32(p + 20);
        body.qz = loadF32(p + 24);
        body.qw = loadF32(p + 28);
        body.MeanError = loadF32(p + 32);
        body.params = loadI16(p + 36);
    }

    Status skeletons()
    {
        const bool present = m_v.atLeast(Gate::FrameSkeletons);
        return eachElementIf(present, m_out.nSkeletons, MAX_SKELETONS, 8, [this](int32_t i) {
            int32_t id = 0;
            if (!m_in.readI32(id)) return Status::Truncated;
            int32_t bones = 0;
            const size_t capacity = std::min<size_t>(MAX_SKELRIGIDBODIES, poolLeft());
            Status s = readCount(bones, capacity, rigidBodyMinSize(m_v));
            if (s != Status::Ok) return s;
            sRigidBodyData* first = m_storage.rigidBodies() + m_bodiesUsed;
            for (int32_t b = 0; b < bones; ++b) {
                if ((s = rigidBody(first + b)) != Status::Ok) return s;
            }
            m_bodiesUsed += static_cast<size_t>(bones);
            if constexpr (Write) {
                m_out.Skeletons[i].skeletonID = id;
                m_out.Skeletons[i].nRigidBodies = bones;
                m_out.Skeletons[i].RigidBodyData = bones ? first : nullptr;
            }
            return Status::Ok;
        });
    }

    size_t poolLeft() const { return FrameStorage::kRigidBodyCapacity - m_bodiesUsed; }

    Status assets()
    {
        const bool present = m_v.atLeast(Gate::FrameAssets);
        return eachElementIf(present, m_out.nAssets, MAX_ASSETS, 12, [this](int32_t i) {
            int32_t id = 0;
            if (!m_in.readI32(id)) return Status::Truncated;
            int32_t nBodies = 0;
            Status s = readCount(nBodies, poolLeft(), kFixedRigidBodySize);
            if (s != Status::Ok) return s;
            sRigidBodyData* bodies = m_storage.rigidBodies() + m_bodiesUsed;
            takeFixedRigidBodies(nBodies, bodies);
            m_bodiesUsed += static_cast<size_t>(nBodies);

            int32_t nMarkers = 0;
            const size_t markerCapacity = FrameStorage::kAssetMarkerCapacity - m_assetMarkersUsed;
            if ((s = readCount(nMarkers, markerCapacity, kAssetMarkerSize)) != Status::Ok) return s;
            sMarker* markers = m_storage.assetMarkers() + m_assetMarkersUsed;
            takeMarkerRecords(nMarkers, markers, kAssetMarkerSize, true, true);
            m_assetMarkersUsed += static_cast<size_t>(nMarkers);
            if constexpr (Write) {
                sAssetData& asset = m_out.Assets[i];
                asset.assetID = id;
                asset.nRigidBodies = nBodies;
                asset.RigidBodyData = nBodies ? bodies : nullptr;
                asset.nMarkers = nMarkers;
                asset.MarkerData = nMarkers ? markers : nullptr;
            }
            return Status::Ok;
        });
    }

    // Labeled markers and asset markers: ID, position, size, then params and residual where
    // the layout has them. The count was checked against `size` bytes per marker.
    void takeMarkerRecords(int32_t n, sMarker* out, size_t size, bool hasParams, bool hasResidual)
    {
        const uint8_t* p = m_in.take(static_cast<size_t>(n) * size);
        if constexpr (Write) {
            for (int32_t i = 0; i < n; ++i, p += size) {
                sMarker& marker = out[i];
                marker.ID = loadI32(p);
                marker.x = loadF32(p + 4);
                marker.y = loadF32(p + 8);
                marker.z = loadF32(p + 12);
                marker.size = loadF32(p + 16);
                marker.params = hasParams ? loadI16(p + 20) : int16_t{0};
                marker.residual = hasResidual ? loadF32(p + 22) : 0.0f;
            }
        }
    }

    Status labeledMarkers()
    {
        if (absent(m_v.atLeast(Gate::FrameLabeledMarkers), m_out.nLabeledMarkers)) return Status::Ok;
        Section section;
        const Status s = openSection(section, MAX_LABELED_MARKERS, labeledMarkerSize(m_v));
        if (s != Status::Ok) return s;
        takeMarkerRecords(section.count, m_out.LabeledMarkers, labeledMarkerSize(m_v),
                          m_v.atLeast(Gate::LabeledMarkerParams), m_v.atLeast(Gate::LabeledMarkerResidual));
        if constexpr (Write) m_out.nLabeledMarkers = section.count;
        return closeSection(section);
    }

    // Force plates and devices share one layout: per entry an ID and channels
    // of samples. No per-entry params travel on the wire.
    template <typename Entry>
    Status analog(bool present, Entry* entries, int32_t& outCount, size_t capacity)
    {
        return eachElementIf(present, outCount, capacity, 8, [&](int32_t i) {
            int32_t id = 0;
            if (!m_in.readI32(id)) return Status::Truncated;
            int32_t channels = 0;
            Status s = readCount(channels, MAX_ANALOG_CHANNELS, 4);
            if (s != Status::Ok) return s;
            for (int32_t c = 0; c < channels; ++c) {
                int32_t frames = 0;
                if ((s = readCount(frames, MAX_ANALOG_SUBFRAMES, 4)) != Status::Ok) return s;
                for (int32_t f = 0; f < frames; ++f) {
                    float value = 0.0f;
                    m_in.readF32(value);
                    if constexpr (Write) entries[i].ChannelData[c].Values[f] = value;
                }
                if constexpr (Write) entries[i].ChannelData[c].nFrames = frames;
            }
            if constexpr (Write) {
                entries[i].ID = id;
                entries[i].nChannels = channels;
                entries[i].params = 0;
            }
            return Status::Ok;
        });
    }

    Status suffix()
    {
        float latency = 0.0f;
        uint32_t timecode = 0;
        uint32_t subframe = 0;
        double timestamp = 0.0;
        uint64_t midExposure = 0;
        uint64_t received = 0;
        uint64_t transmit = 0;
        uint32_t precisionSecs = 0;
        uint32_t precisionFraction = 0;
        int16_t params = 0;
        int32_t endTag = 0;

        if (!m_v.atLeast(Gate::LegacyLatencyDropped) && !m_in.readF32(latency)) return Status::Truncated;
        if (!m_in.readU32(timecode) || !m_in.readU32(subframe)) return Status::Truncated;
        if (m_v.atLeast(Gate::FrameTimestampDouble)) {
            if (!m_in.readF64(timestamp)) return Status::Truncated;
        } else if (m_v.atLeast(Gate::FrameTimestamp)) {
            float timestamp32 = 0.0f;
            if (!m_in.readF32(timestamp32)) return Status::Truncated;
            timestamp = timestamp32;
        }
        if (m_v.atLeast(Gate::FrameHostTimestamps) &&
            (!m_in.readU64(midExposure) || !m_in.readU64(received) || !m_in.readU64(transmit))) {
            return Status::Truncated;
        }
        if (m_v.atLeast(Gate::FramePrecisionTimestamps) &&
            (!m_in.readU32(precisionSecs) || !m_in.readU32(precisionFraction))) {
            return Status::Truncated;
        }
        if (m_v.atLeast(Gate::FrameParams) && !m_in.readI16(params)) return Status::Truncated;
        if (!m_in.readI32(endTag)) return Status::Truncated;
        if (endTag != 0) return Status::MissingEndTag;
        if (!m_in.atEnd()) return Status::SizeMismatch;

        if constexpr (Write) {
            m_storage.setLegacyLatency(latency);
            m_out.Timecode = timecode;
            m_out.TimecodeSubframe = subframe;
            m_out.fTimestamp = timestamp;
            m_out.CameraMidExposureTimestamp = midExposure;
            m_out.CameraDataReceivedTimestamp = received;
            m_out.TransmitTimestamp = transmit;
            m_out.PrecisionTimestampSecs = precisionSecs;
            m_out.PrecisionTimestampFractionalSecs = precisionFraction;
            m_out.params = params;
        }
        return Status::Ok;
    }

    ByteReader m_in;
    Version m_v;
    bool m_sizes;
    FrameStorage& m_storage;
    sFrameOfMocapData& m_out;
    size_t m_markersUsed = 0;
    size_t m_bodiesUsed = 0;
    size_t m_assetMarkersUsed = 0;
};

}  // namespace
}  // namespace Internal

Status decodeFrame(const uint8_t* payload, size_t size, Version version, FrameStorage& storage,
                   sFrameOfMocapData& out)
{
    if (!isSupported(version)) return Status::UnsupportedVersion;
    const Status checked = Internal::FrameWalk<false>(payload, size, version, storage, out).run();
    if (checked != Status::Ok) return checked;
    return Internal::FrameWalk<true>(payload, size, version, storage, out).run();
}

}  // namespace NatNet::Wire
