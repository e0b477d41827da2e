#include "DatagramDescriber.h"

#include "natnet/codec/ByteReader.h"
#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <string>

namespace NatNet::Dump {
namespace Internal {
namespace {

using nlohmann::json;

std::string versionText(const uint8_t v[4])
{
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

// JSON strings must be valid UTF-8; wire names are bytes.
std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    return out;
}

std::string fieldText(const char* field, size_t size)
{
    return printable(Wire::boundedText(field, size));
}

json sender(const Wire::SenderBlock& s)
{
    return json{{"name", printable(s.nameText())},
                {"version", versionText(s.version)},
                {"natNetVersion", versionText(s.natNetVersion)}};
}

json rigidBody(const sRigidBodyData& b)
{
    return json{{"id", b.ID},
                {"x", b.x},
                {"y", b.y},
                {"z", b.z},
                {"qx", b.qx},
                {"qy", b.qy},
                {"qz", b.qz},
                {"qw", b.qw},
                {"meanError", b.MeanError},
                {"tracked", (b.params & 0x01) != 0},
                {"params", b.params}};
}

json rigidBodyDescription(const sRigidBodyDescription& b)
{
    json markers = json::array();
    for (int32_t i = 0; i < b.nMarkers && b.MarkerPositions; ++i) {
        json m{
            {"x", b.MarkerPositions[i][0]}, {"y", b.MarkerPositions[i][1]}, {"z", b.MarkerPositions[i][2]}};
        if (b.MarkerRequiredLabels) m["requiredLabel"] = b.MarkerRequiredLabels[i];
        if (b.szMarkerNames && b.szMarkerNames[i]) m["name"] = printable(b.szMarkerNames[i]);
        markers.push_back(std::move(m));
    }
    return json{{"name", fieldText(b.szName, sizeof b.szName)},
                {"id", b.ID},
                {"parentId", b.parentID},
                {"offset", {b.offsetx, b.offsety, b.offsetz}},
                {"markers", std::move(markers)}};
}

// Force plates and devices: an ID, a serial number and a channel count.
template <typename Analog>
void describeAnalog(json& out, const char* kind, const Analog& analog)
{
    out["kind"] = kind;
    out["id"] = analog.ID;
    out["serial"] = fieldText(analog.strSerialNo, sizeof analog.strSerialNo);
    out["channels"] = analog.nChannels;
}

json description(const sDataDescription& d)
{
    json out{{"type", d.type}};
    switch (d.type) {
        case Descriptor_MarkerSet: {
            const sMarkerSetDescription& s = *d.Data.MarkerSetDescription;
            json names = json::array();
            for (int32_t i = 0; i < s.nMarkers; ++i) names.push_back(printable(s.szMarkerNames[i]));
            out["kind"] = "markerSet";
            out["name"] = fieldText(s.szName, sizeof s.szName);
            out["markers"] = std::move(names);
            break;
        }
        case Descriptor_RigidBody:
            out["kind"] = "rigidBody";
            out.update(rigidBodyDescription(*d.Data.RigidBodyDescription));
            break;
        case Descriptor_Skeleton: {
            const sSkeletonDescription& s = *d.Data.SkeletonDescription;
            json bones = json::array();
            for (int32_t i = 0; i < s.nRigidBodies; ++i) {
                bones.push_back(rigidBodyDescription(s.RigidBodies[i]));
            }
            out["kind"] = "skeleton";
            out["name"] = fieldText(s.szName, sizeof s.szName);
            out["id"] = s.skeletonID;
            out["bones"] = std::move(bones);
            break;
        }
        case Descriptor_ForcePlate:
            describeAnalog(out, "forcePlate", *d.Data.ForcePlateDescription);
            break;
        case Descriptor_Device: {
            const sDeviceDescription& device = *d.Data.DeviceDescription;
            describeAnalog(out, "device", device);
            out["name"] = fieldText(device.strName, sizeof device.strName);
            break;
        }
        case Descriptor_Camera: {
            const sCameraDescription& c = *d.Data.CameraDescription;
            out["kind"] = "camera";
            out["name"] = fieldText(c.strName, sizeof c.strName);
            out["position"] = {c.x, c.y, c.z};
            out["orientation"] = {c.qx, c.qy, c.qz, c.qw};
            break;
        }
        case Descriptor_Asset: {
            const sAssetDescription& a = *d.Data.AssetDescription;
            out["kind"] = "asset";
            out["name"] = fieldText(a.szName, sizeof a.szName);
            out["id"] = a.AssetID;
            out["assetType"] = a.AssetType;
            out["rigidBodies"] = a.nRigidBodies;
            out["markers"] = a.nMarkers;
            break;
        }
        default:
            break;
    }
    return out;
}

}  // namespace
}  // namespace Internal

using namespace Internal;

DatagramDescriber::DatagramDescriber(Wire::Version version, bool forced)
    : m_version(version), m_forced(forced), m_frame(std::make_unique<sFrameOfMocapData>())
{
}

DatagramDescriber::~DatagramDescriber() = default;

json DatagramDescriber::describe(const uint8_t* data, size_t size)
{
    Wire::Datagram datagram;
    Wire::Status status = Wire::decodeDatagram(data, size, datagram);
    if (status != Wire::Status::Ok) {
        ++m_bad;
        return json{{"message", "invalid"}, {"status", Wire::statusName(status)}, {"bytes", size}};
    }
    const char* name = Wire::messageIdName(datagram.messageId);
    json out{
        {"message", name ? name : "unknown"}, {"id", datagram.messageId}, {"size", datagram.payloadSize}};
    const uint8_t* p = datagram.payload;
    const size_t n = datagram.payloadSize;

    switch (static_cast<Wire::MessageId>(datagram.messageId)) {
        case Wire::MessageId::Connect:
        case Wire::MessageId::Discovery: {
            Wire::ConnectRequest request;
            status = Wire::decodeConnect(p, n, request);
            if (status == Wire::Status::Ok && request.hasSender) out["sender"] = sender(request.sender);
            if (status == Wire::Status::Ok && request.hasOptions) {
                out["subscribedDataOnly"] = request.subscribedDataOnly;
                out["bitstreamVersion"] = versionText(request.bitstreamVersion);
            }
            break;
        }
        case Wire::MessageId::ServerInfo: {
            Wire::ServerInfo info;
            status = Wire::decodeServerInfo(p, n, info);
            if (status != Wire::Status::Ok) break;
            out["sender"] = sender(info.sender);
            if (info.hasConnectionInfo) {
                out["clockFrequency"] = info.highResClockFrequency;
                out["dataPort"] = info.dataPort;
                out["multicast"] = info.isMulticast;
                out["multicastGroup"] = std::to_string(info.multicastAddress[0]) + "." +
                                        std::to_string(info.multicastAddress[1]) + "." +
                                        std::to_string(info.multicastAddress[2]) + "." +
                                        std::to_string(info.multicastAddress[3]);
            }
            const Wire::Version announced = Wire::Version::fromBytes(info.sender.natNetVersion);
            if (!m_forced && Wire::isSupported(announced)) m_version = announced;
            break;
        }
        case Wire::MessageId::Request:
        case Wire::MessageId::MessageString: {
            std::string_view text;
            status = Wire::decodeText(p, n, text);
            if (status == Wire::Status::Ok) out["text"] = printable(text);
            break;
        }
        case Wire::MessageId::Response: {
            Wire::Response response;
            status = Wire::decodeResponse(p, n, response);
            int32_t i = 0;
            float f = 0.0f;
            if (response.asInt32(i) && response.asFloat(f)) {
                out["int32"] = i;
                out["float"] = f;
            }
            out["text"] = printable(response.text());
            break;
        }
        case Wire::MessageId::EchoRequest: {
            uint64_t stamp = 0;
            status = Wire::decodeEchoRequest(p, n, stamp);
            if (status == Wire::Status::Ok) out["clientStamp"] = stamp;
            break;
        }
        case Wire::MessageId::EchoResponse: {
            Wire::EchoResponse echo;
            status = Wire::decodeEchoResponse(p, n, echo);
            if (status == Wire::Status::Ok) {
                out["clientStamp"] = echo.requestStamp;
                out["serverTicks"] = echo.serverTicks;
            }
            break;
        }
        case Wire::MessageId::ModelDef:
            out.update(modelDefinitions(p, n));
            return out;
        case Wire::MessageId::FrameOfData:
            out.update(frame(p, n));
            return out;
        default:
            if (!name) status = Wire::Status::UnknownMessage;
            break;
    }
    if (status != Wire::Status::Ok) {
        ++m_bad;
        out["status"] = Wire::statusName(status);
    }
    return out;
}

json DatagramDescriber::versionedHead(Wire::Status status)
{
    json out{{"bitstream", std::to_string(m_version.major) + "." + std::to_string(m_version.minor)}};
    if (status != Wire::Status::Ok) {
        ++m_bad;
        out["status"] = Wire::statusName(status);
    }
    return out;
}

json DatagramDescriber::frame(const uint8_t* payload, size_t size)
{
    sFrameOfMocapData& f = *m_frame;
    const Wire::Status status = Wire::decodeFrame(payload, size, m_version, m_storage, f);
    json out = versionedHead(status);
    if (status != Wire::Status::Ok) return out;
    json markerSets = json::array();
    for (int32_t i = 0; i < f.nMarkerSets; ++i) {
        markerSets.push_back(json{{"name", fieldText(f.MocapData[i].szName, sizeof f.MocapData[i].szName)},
                                  {"markers", f.MocapData[i].nMarkers}});
    }
    json bodies = json::array();
    for (int32_t i = 0; i < f.nRigidBodies; ++i) bodies.push_back(rigidBody(f.RigidBodies[i]));
    json skeletons = json::array();
    for (int32_t i = 0; i < f.nSkeletons; ++i) {
        json bones = json::array();
        for (int32_t b = 0; b < f.Skeletons[i].nRigidBodies; ++b) {
            bones.push_back(rigidBody(f.Skeletons[i].RigidBodyData[b]));
        }
        skeletons.push_back(json{{"id", f.Skeletons[i].skeletonID}, {"bones", std::move(bones)}});
    }
    json labeled = json::array();
    for (int32_t i = 0; i < f.nLabeledMarkers; ++i) {
        const sMarker& m = f.LabeledMarkers[i];
        labeled.push_back(json{{"id", m.ID},
                               {"x", m.x},
                               {"y", m.y},
                               {"z", m.z},
                               {"size", m.size},
                               {"params", m.params},
                               {"residual", m.residual}});
    }
    out["frameNumber"] = f.iFrame;
    out["timestamp"] = f.fTimestamp;
    if (!m_version.atLeast(Wire::Gate::LegacyLatencyDropped)) out["latency"] = m_storage.legacyLatency();
    out["markerSets"] = std::move(markerSets);
    out["otherMarkers"] = f.nOtherMarkers;
    out["rigidBodies"] = std::move(bodies);
    out["skeletons"] = std::move(skeletons);
    out["assets"] = f.nAssets;
    out["labeledMarkers"] = std::move(labeled);
    out["forcePlates"] = f.nForcePlates;
    out["devices"] = f.nDevices;
    out["timecode"] = f.Timecode;
    out["timecodeSubframe"] = f.TimecodeSubframe;
    out["cameraMidExposureTimestamp"] = f.CameraMidExposureTimestamp;
    out["cameraDataReceivedTimestamp"] = f.CameraDataReceivedTimestamp;
    out["transmitTimestamp"] = f.TransmitTimestamp;
    out["params"] = f.params;
    return out;
}

json DatagramDescriber::modelDefinitions(const uint8_t* payload, size_t size)
{
    sDataDescriptions* list = nullptr;
    const Wire::Status status = Wire::decodeModelDefinitions(payload, size, m_version, &list);
    json out = versionedHead(status);
    if (status != Wire::Status::Ok) return out;
    json descriptions = json::array();
    for (int32_t i = 0; i < list->nDataDescriptions; ++i) {
        descriptions.push_back(description(list->arrDataDescriptions[i]));
    }
    Wire::freeDescriptions(list);
    out["descriptions"] = std::move(descriptions);
    return out;
}

}  // namespace NatNet::Dump
