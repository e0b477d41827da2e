#include "stream/OptiTrackLog.h"
#include "stream/OptiTrackStreamImpl.h"

#include <NatNetCAPI.h>
#include <NatNetClient.h>
#include <NatNetTypes.h>

#include <cstddef>

namespace Quorvane {

namespace Internal {
namespace {

template <class T, std::size_t N>
constexpr std::size_t capacityOf(const T (&)[N])
{
    return N;
}

void logMarkerSet(const sMarkerSetDescription& markerSet)
{
    logMessage(Log::Debug, kStreamCategory, "MarkerSet Name: ", boundedText(markerSet.szName));
    if (markerSet.szMarkerNames == nullptr) return;
    for (int i = 0; i < markerSet.nMarkers; ++i) {
        logMessage(Log::Debug, kStreamCategory, boundedText(markerSet.szMarkerNames[i], MAX_NAMELENGTH), " ");
    }
}

void logRigidBodyHeader(const sRigidBodyDescription& body, const char* indent)
{
    logMessage(Log::Debug, kStreamCategory, indent, "RigidBody Name: ", boundedText(body.szName));
    logMessage(Log::Debug, kStreamCategory, indent, "RigidBody ID: ", body.ID);
    logMessage(Log::Debug, kStreamCategory, indent, "RigidBody Parent ID: ", body.parentID);
    logMessage(Log::Debug, kStreamCategory, indent, "Parent Offset: ", body.offsetx, ", ", body.offsety, ", ",
               body.offsetz);
}

void logRigidBody(const sRigidBodyDescription& body)
{
    logRigidBodyHeader(body, "");
    if (body.MarkerPositions == nullptr || body.MarkerRequiredLabels == nullptr) return;
    for (int j = 0; j < body.nMarkers; ++j) {
        const MarkerData& position = body.MarkerPositions[j];
        logMessage(Log::Debug, kStreamCategory, "\tMarker #", j, ":");
        logMessage(Log::Debug, kStreamCategory, "\t\tPosition: ", position[0], ", ", position[1], ", ",
                   position[2]);
        const int label = body.MarkerRequiredLabels[j];
        if (label != 0) logMessage(Log::Debug, kStreamCategory, "\t\tRequired active label: ", label);
    }
}

void logSkeleton(const sSkeletonDescription& skeleton)
{
    logMessage(Log::Debug, kStreamCategory, "Skeleton Name: ", boundedText(skeleton.szName));
    logMessage(Log::Debug, kStreamCategory, "Skeleton ID: ", skeleton.skeletonID);
    logMessage(Log::Debug, kStreamCategory, "RigidBody (Bone) Count: ", skeleton.nRigidBodies);
    const int bones = boundedCount(skeleton.nRigidBodies, capacityOf(skeleton.RigidBodies));
    for (int j = 0; j < bones; ++j) logRigidBodyHeader(skeleton.RigidBodies[j], "  ");
}

template <std::size_t Channels, std::size_t NameLength>
void logChannels(int count, const char (&names)[Channels][NameLength])
{
    const int channels = boundedCount(count, Channels);
    for (int c = 0; c < channels; ++c) {
        logMessage(Log::Debug, kStreamCategory, "\tChannel ", c, ": ", boundedText(names[c]));
    }
}

void logForcePlate(const sForcePlateDescription& plate)
{
    logMessage(Log::Debug, kStreamCategory, "Force Plate ID: ", plate.ID);
    logMessage(Log::Debug, kStreamCategory, "Force Plate Serial: ", boundedText(plate.strSerialNo));
    logMessage(Log::Debug, kStreamCategory, "Force Plate Width: ", plate.fWidth);
    logMessage(Log::Debug, kStreamCategory, "Force Plate Length: ", plate.fLength);
    logMessage(Log::Debug, kStreamCategory, "Force Plate Electrical Center Offset (", plate.fOriginX, ", ",
               plate.fOriginY, ", ", plate.fOriginZ, ")");
    for (int k = 0; k < 4; ++k) {
        const float* corner = plate.fCorners[k];
        logMessage(Log::Debug, kStreamCategory, "Force Plate Corner ", k, ": (", corner[0], ", ", corner[1],
                   ",", corner[2], ") ");
    }
    logMessage(Log::Debug, kStreamCategory, "Force Plate Type: ", plate.iPlateType);
    logMessage(Log::Debug, kStreamCategory, "Force Plate Data Type: ", plate.iChannelDataType);
    logMessage(Log::Debug, kStreamCategory, "Force Plate Channel Count: ", plate.nChannels);
    logChannels(plate.nChannels, plate.szChannelNames);
}

void logDevice(const sDeviceDescription& device)
{
    logMessage(Log::Debug, kStreamCategory, "Device Name: ", boundedText(device.strName));
    logMessage(Log::Debug, kStreamCategory, "Device Serial: ", boundedText(device.strSerialNo));
    logMessage(Log::Debug, kStreamCategory, "Device ID: ", device.ID);
    logMessage(Log::Debug, kStreamCategory, "Device Channel Count: ", device.nChannels);
    logChannels(device.nChannels, device.szChannelNames);
}

// A description whose record pointer is missing has nothing to show beyond its header line.
template <typename Record>
void logRecord(const Record* record, void (*log)(const Record&))
{
    if (record != nullptr) log(*record);
}

void logDescription(const sDataDescription& description)
{
    switch (description.type) {
        case Descriptor_MarkerSet:
            logRecord(description.Data.MarkerSetDescription, logMarkerSet);
            break;
        case Descriptor_RigidBody:
            logRecord(description.Data.RigidBodyDescription, logRigidBody);
            break;
        case Descriptor_Skeleton:
            logRecord(description.Data.SkeletonDescription, logSkeleton);
            break;
        case Descriptor_ForcePlate:
            logRecord(description.Data.ForcePlateDescription, logForcePlate);
            break;
        case Descriptor_Device:
            logRecord(description.Data.DeviceDescription, logDevice);
            break;
        default:
            logMessage(Log::Verbose, kStreamCategory, "Unknown data type.");
            break;
    }
}

}  // namespace
}  // namespace Internal

void OptiTrackStream::Impl::logDescriptionList(const sDataDescriptions& descriptions)
{
    Internal::logMessage(Log::Debug, Internal::kStreamCategory, "Received ", descriptions.nDataDescriptions,
                         " Data Descriptions: ");
    const int count = Internal::boundedCount(descriptions.nDataDescriptions,
                                             Internal::capacityOf(descriptions.arrDataDescriptions));
    for (int i = 0; i < count; ++i) {
        const sDataDescription& description = descriptions.arrDataDescriptions[i];
        Internal::logMessage(Log::Debug, Internal::kStreamCategory, "Data Description # ", i,
                             " (type=", description.type, ")");
        Internal::logDescription(description);
    }
}

void OptiTrackStream::Impl::logDataDescriptions()
{
    Internal::logMessage(Log::Debug, Internal::kStreamCategory, "\n\nRequesting Data Descriptions...");
    sDataDescriptions* descriptions = nullptr;
    const ErrorCode result = client.GetDataDescriptionList(&descriptions, 0xFFFFFFFFu);
    if (result != ErrorCode_OK || descriptions == nullptr) {
        Internal::logMessage(Log::Error, Internal::kStreamCategory, "Unable to retrieve Data Descriptions.");
        return;
    }
    logDescriptionList(*descriptions);
    NatNet_FreeDescriptions(descriptions);
}

}  // namespace Quorvane
