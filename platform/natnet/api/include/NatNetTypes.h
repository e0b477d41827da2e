// NatNet SDK 4.1 types: constants, enums, records and callback types.
//
// Record names, field names, field types, field order and capacities follow
// the NatNet SDK 4.1 so that code written against the vendor's SDK builds
// against this library unchanged (and vice versa, see NATNET_SDK_DIR).
// Sizes and offsets that callers rely on are checked at the end of the file.
#pragma once

// The SDK's C-compatible shape (C headers, NULL, plain records) is the point of this
// header: clang-tidy's C++ modernisations do not apply.
// NOLINTBEGIN

#include <stddef.h>
#include <stdint.h>
#if !defined(__cplusplus)
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define NATNET_CALLCONV __cdecl
#else
#define NATNET_CALLCONV
#endif

#if defined(_WIN32)
#if defined(NATNETLIB_EXPORTS)
#define NATNET_API __declspec(dllexport)
#elif defined(NATNETLIB_IMPORTS)
#define NATNET_API __declspec(dllimport)
#else
#define NATNET_API
#endif
#else
#define NATNET_API __attribute__((visibility("default")))
#endif

#if defined(__cplusplus)
#define NATNET_DEFAULT_ARG(value) = value
#else
#define NATNET_DEFAULT_ARG(value)
#endif

// Capacities of the fixed arrays in the records below.
#define MAX_MODELS 2000
#define MAX_MARKERSETS 1000
#define MAX_RIGIDBODIES 1000
#define MAX_ASSETS 1000
#define MAX_NAMELENGTH 256
#define MAX_MARKERS 200
#define MAX_RBMARKERS 20
#define MAX_SKELETONS 100
#define MAX_SKELRIGIDBODIES 200
#define MAX_LABELED_MARKERS 1000
#define MAX_UNLABELED_MARKERS 1000
#define MAX_FORCEPLATES 32
#define MAX_DEVICES 32
#define MAX_ANALOG_CHANNELS 32
#define MAX_ANALOG_SUBFRAMES 30
#define MAX_PACKETSIZE 65503

#define NATNET_DEFAULT_PORT_COMMAND 1510
#define NATNET_DEFAULT_PORT_DATA 1511
#define NATNET_DEFAULT_MULTICAST_ADDRESS "239.255.42.99"

// Value of a field that the server did not fill.
#define UNDEFINED 999999.9999

typedef enum Verbosity {
    Verbosity_None = 0,
    Verbosity_Debug,
    Verbosity_Info,
    Verbosity_Warning,
    Verbosity_Error,
} Verbosity;

typedef enum ErrorCode {
    ErrorCode_OK = 0,
    ErrorCode_Internal,
    ErrorCode_External,
    ErrorCode_Network,
    ErrorCode_Other,
    ErrorCode_InvalidArgument,
    ErrorCode_InvalidOperation,
    ErrorCode_InvalidSize,
} ErrorCode;

typedef enum ConnectionType {
    ConnectionType_Multicast = 0,
    ConnectionType_Unicast,
} ConnectionType;

typedef enum DataDescriptors {
    Descriptor_MarkerSet = 0,
    Descriptor_RigidBody,
    Descriptor_Skeleton,
    Descriptor_ForcePlate,
    Descriptor_Device,
    Descriptor_Camera,
    Descriptor_Asset,
} DataDescriptors;

typedef enum AssetTypes {
    AssetType_Undefined = 0,
    AssetType_TrainedMarkerset,
} AssetTypes;

typedef float MarkerData[3];  // x, y, z

// ---- Records exactly as they travel on the wire (packed) -------------------
#pragma pack(push, 1)

typedef struct sSender
{
    char szName[MAX_NAMELENGTH];
    uint8_t Version[4];
    uint8_t NatNetVersion[4];
} sSender;

typedef struct sSender_Server
{
    sSender Common;
    uint64_t HighResClockFrequency;  // ticks per second of the server's clock
    uint16_t DataPort;
    bool IsMulticast;
    uint8_t MulticastGroupAddress[4];  // network order, first octet first
} sSender_Server;

typedef struct sConnectionOptions
{
#if defined(__cplusplus)
    sConnectionOptions() : subscribedDataOnly(false), BitstreamVersion{0, 0, 0, 0} {}
#endif
    bool subscribedDataOnly;
    uint8_t BitstreamVersion[4];  // all zero: the server's own version
} sConnectionOptions;

typedef struct sPacket
{
    uint16_t iMessage;
    uint16_t nDataBytes;
    union {
        uint8_t cData[MAX_PACKETSIZE];
        char szData[MAX_PACKETSIZE];
        uint32_t lData[MAX_PACKETSIZE / sizeof(uint32_t)];
        float fData[MAX_PACKETSIZE / sizeof(float)];
        sSender Sender;
        sSender_Server SenderServer;
    } Data;
} sPacket;

#pragma pack(pop)

// ---- In-memory records (natural alignment) ---------------------------------

typedef struct sServerDescription
{
    bool HostPresent;
    char szHostComputerName[MAX_NAMELENGTH];
    uint8_t HostComputerAddress[4];
    char szHostApp[MAX_NAMELENGTH];
    uint8_t HostAppVersion[4];
    uint8_t NatNetVersion[4];
    uint64_t HighResClockFrequency;
    bool bConnectionInfoValid;  // false for servers before NatNet 3.0
    uint16_t ConnectionDataPort;
    bool ConnectionMulticast;
    uint8_t ConnectionMulticastAddress[4];
} sServerDescription;

typedef struct sMarker
{
    int32_t ID;  // asset markers: asset ID in the high 16 bits, member ID in the low
    float x;
    float y;
    float z;
    float size;
    // bit 0 occluded, 1 point-cloud solved, 2 model filled, 3 has model,
    // 4 unlabeled, 5 active, 6 established, 7 measurement
    int16_t params;
    float residual;  // metres per ray
} sMarker;

typedef struct sMarkerDescription
{
    char szName[MAX_NAMELENGTH];
    int32_t ID;
    float x;
    float y;
    float z;
    float size;
    int16_t params;  // bit 0: active marker
} sMarkerDescription;

typedef struct sMarkerSetDescription
{
    char szName[MAX_NAMELENGTH];
    int32_t nMarkers;
    char** szMarkerNames;
} sMarkerSetDescription;

typedef struct sMarkerSetData
{
    char szName[MAX_NAMELENGTH];
    int32_t nMarkers;
    MarkerData* Markers;
} sMarkerSetData;

typedef struct sRigidBodyDescription
{
    char szName[MAX_NAMELENGTH];
    int32_t ID;
    int32_t parentID;  // -1 when the body has no parent
    float offsetx;
    float offsety;
    float offsetz;
    int32_t nMarkers;
    MarkerData* MarkerPositions;
    int32_t* MarkerRequiredLabels;  // 0: no active label required
    char** szMarkerNames;
} sRigidBodyDescription;

typedef struct sRigidBodyData
{
#if defined(__cplusplus)
    sRigidBodyData()
        : ID(0), x(0.0f), y(0.0f), z(0.0f), qx(0.0f), qy(0.0f), qz(0.0f), qw(1.0f), MeanError(0.0f), params(0)
    {
    }
#endif
    int32_t ID;
    float x;
    float y;
    float z;
    float qx;
    float qy;
    float qz;
    float qw;
    float MeanError;  // mean marker error, server length unit
    int16_t params;   // bit 0: tracked in this frame
} sRigidBodyData;

typedef struct sSkeletonDescription
{
    char szName[MAX_NAMELENGTH];
    int32_t skeletonID;
    int32_t nRigidBodies;
    sRigidBodyDescription RigidBodies[MAX_SKELRIGIDBODIES];
} sSkeletonDescription;

typedef struct sSkeletonData
{
    int32_t skeletonID;
    int32_t nRigidBodies;
    sRigidBodyData* RigidBodyData;
} sSkeletonData;

typedef struct sAssetDescription
{
    char szName[MAX_NAMELENGTH];
    int32_t AssetType;
    int32_t AssetID;
    int32_t nRigidBodies;
    sRigidBodyDescription RigidBodies[MAX_SKELRIGIDBODIES];
    int32_t nMarkers;
    sMarkerDescription Markers[MAX_SKELRIGIDBODIES];
} sAssetDescription;

typedef struct sAssetData
{
    int32_t assetID;
    int32_t nRigidBodies;
    sRigidBodyData* RigidBodyData;
    int32_t nMarkers;
    sMarker* MarkerData;
} sAssetData;

typedef struct sForcePlateDescription
{
    int32_t ID;
    char strSerialNo[128];
    float fWidth;
    float fLength;
    float fOriginX;
    float fOriginY;
    float fOriginZ;
    float fCalMat[12][12];
    float fCorners[4][3];
    int32_t iPlateType;
    int32_t iChannelDataType;  // 0 calibrated force, 1 raw voltages
    int32_t nChannels;
    char szChannelNames[MAX_ANALOG_CHANNELS][MAX_NAMELENGTH];
} sForcePlateDescription;

typedef struct sDeviceDescription
{
    int32_t ID;
    char strName[128];
    char strSerialNo[128];
    int32_t iDeviceType;
    int32_t iChannelDataType;
    int32_t nChannels;
    char szChannelNames[MAX_ANALOG_CHANNELS][MAX_NAMELENGTH];
} sDeviceDescription;

typedef struct sCameraDescription
{
    char strName[MAX_NAMELENGTH];
    float x;
    float y;
    float z;
    float qx;
    float qy;
    float qz;
    float qw;
} sCameraDescription;

typedef struct sDataDescription
{
    int32_t type;  // a DataDescriptors value; selects the union member
    union {
        sMarkerSetDescription* MarkerSetDescription;
        sRigidBodyDescription* RigidBodyDescription;
        sSkeletonDescription* SkeletonDescription;
        sForcePlateDescription* ForcePlateDescription;
        sDeviceDescription* DeviceDescription;
        sCameraDescription* CameraDescription;
        sAssetDescription* AssetDescription;
    } Data;
} sDataDescription;

typedef struct sDataDescriptions
{
    int32_t nDataDescriptions;
    sDataDescription arrDataDescriptions[MAX_MODELS];
} sDataDescriptions;

typedef struct sAnalogChannelData
{
    int32_t nFrames;
    float Values[MAX_ANALOG_SUBFRAMES];
} sAnalogChannelData;

typedef struct sForcePlateData
{
    int32_t ID;
    int32_t nChannels;
    sAnalogChannelData ChannelData[MAX_ANALOG_CHANNELS];
    int16_t params;
} sForcePlateData;

typedef struct sDeviceData
{
    int32_t ID;
    int32_t nChannels;
    sAnalogChannelData ChannelData[MAX_ANALOG_CHANNELS];
    // bit 0 trigger, bit 1 reserved, bit 2 synthetic data, bits 3-4 mocap frame offset
    int16_t params;
} sDeviceData;

typedef struct sFrameOfMocapData
{
    int32_t iFrame;
    int32_t nMarkerSets;
    sMarkerSetData MocapData[MAX_MARKERSETS];
    int32_t nOtherMarkers;
    MarkerData* OtherMarkers;
    int32_t nRigidBodies;
    sRigidBodyData RigidBodies[MAX_RIGIDBODIES];
    int32_t nSkeletons;
    sSkeletonData Skeletons[MAX_SKELETONS];
    int32_t nAssets;
    sAssetData Assets[MAX_ASSETS];
    int32_t nLabeledMarkers;
    sMarker LabeledMarkers[MAX_LABELED_MARKERS];
    int32_t nForcePlates;
    sForcePlateData ForcePlates[MAX_FORCEPLATES];
    int32_t nDevices;
    sDeviceData Devices[MAX_DEVICES];
    uint32_t Timecode;  // SMPTE: hour, minute, second, frame from the high byte down
    uint32_t TimecodeSubframe;
    double fTimestamp;                     // seconds since the server software started
    uint64_t CameraMidExposureTimestamp;   // server clock ticks; 0 when not available
    uint64_t CameraDataReceivedTimestamp;  // server clock ticks
    uint64_t TransmitTimestamp;            // server clock ticks
    uint32_t PrecisionTimestampSecs;
    uint32_t PrecisionTimestampFractionalSecs;
    // bit 0 recording, bit 1 tracked models changed, bit 2 edit mode,
    // bit 3 bitstream version changed
    int16_t params;
} sFrameOfMocapData;

typedef struct sNatNetClientConnectParams
{
#if defined(__cplusplus)
    sNatNetClientConnectParams()
        : connectionType(ConnectionType_Multicast),
          serverCommandPort(0),
          serverDataPort(0),
          serverAddress(0),
          localAddress(0),
          multicastAddress(0),
          subscribedDataOnly(false),
          BitstreamVersion{0, 0, 0, 0}
    {
    }
#endif
    ConnectionType connectionType;
    uint16_t serverCommandPort;
    uint16_t serverDataPort;
    const char* serverAddress;
    const char* localAddress;
    const char* multicastAddress;
    bool subscribedDataOnly;
    uint8_t BitstreamVersion[4];  // requested stream version; zero: the server's own
} sNatNetClientConnectParams;

// ---- Callbacks -------------------------------------------------------------

typedef void(NATNET_CALLCONV* NatNetLogCallback)(Verbosity level, const char* message);
typedef void(NATNET_CALLCONV* NatNetFrameReceivedCallback)(sFrameOfMocapData* pFrameOfData, void* pUserData);
typedef void(NATNET_CALLCONV* NatNetUnknownMessageCallback)(sPacket* pPacket, void* pUserData);

// ---- Layout checks ---------------------------------------------------------
#if defined(__cplusplus) && (UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu)
static_assert(sizeof(sSender) == 264, "sSender layout");
static_assert(sizeof(sSender_Server) == 279, "sSender_Server layout");
static_assert(sizeof(sConnectionOptions) == 5, "sConnectionOptions layout");
static_assert(sizeof(sPacket) == 4 + MAX_PACKETSIZE, "sPacket layout");
static_assert(sizeof(sServerDescription) == 552, "sServerDescription layout");
static_assert(offsetof(sServerDescription, szHostComputerName) == 1, "sServerDescription layout");
static_assert(offsetof(sServerDescription, HostComputerAddress) == 257, "sServerDescription layout");
static_assert(offsetof(sServerDescription, szHostApp) == 261, "sServerDescription layout");
static_assert(offsetof(sServerDescription, HostAppVersion) == 517, "sServerDescription layout");
static_assert(offsetof(sServerDescription, NatNetVersion) == 521, "sServerDescription layout");
static_assert(offsetof(sServerDescription, HighResClockFrequency) == 528, "sServerDescription layout");
static_assert(offsetof(sServerDescription, bConnectionInfoValid) == 536, "sServerDescription layout");
static_assert(offsetof(sServerDescription, ConnectionDataPort) == 538, "sServerDescription layout");
static_assert(offsetof(sServerDescription, ConnectionMulticast) == 540, "sServerDescription layout");
static_assert(offsetof(sServerDescription, ConnectionMulticastAddress) == 541, "sServerDescription layout");
static_assert(sizeof(sMarker) == 28 && offsetof(sMarker, params) == 20 && offsetof(sMarker, residual) == 24,
              "sMarker layout");
static_assert(sizeof(sMarkerDescription) == 280, "sMarkerDescription layout");
static_assert(sizeof(sMarkerSetDescription) == 272, "sMarkerSetDescription layout");
static_assert(sizeof(sMarkerSetData) == 272, "sMarkerSetData layout");
static_assert(sizeof(sRigidBodyDescription) == 304, "sRigidBodyDescription layout");
static_assert(sizeof(sRigidBodyData) == 40, "sRigidBodyData layout");
static_assert(offsetof(sRigidBodyData, MeanError) == 32 && offsetof(sRigidBodyData, params) == 36,
              "sRigidBodyData layout");
static_assert(sizeof(sSkeletonDescription) == 61064, "sSkeletonDescription layout");
static_assert(sizeof(sSkeletonData) == 16, "sSkeletonData layout");
static_assert(sizeof(sAssetDescription) == 117080, "sAssetDescription layout");
static_assert(sizeof(sAssetData) == 32, "sAssetData layout");
static_assert(sizeof(sForcePlateDescription) == 8980, "sForcePlateDescription layout");
static_assert(sizeof(sDeviceDescription) == 8464, "sDeviceDescription layout");
static_assert(sizeof(sCameraDescription) == 284, "sCameraDescription layout");
static_assert(sizeof(sDataDescription) == 16, "sDataDescription layout");
static_assert(sizeof(sDataDescriptions) == 32008, "sDataDescriptions layout");
static_assert(sizeof(sAnalogChannelData) == 124, "sAnalogChannelData layout");
static_assert(sizeof(sForcePlateData) == 3980, "sForcePlateData layout");
static_assert(sizeof(sDeviceData) == 3980, "sDeviceData layout");
static_assert(sizeof(sFrameOfMocapData) == 628432, "sFrameOfMocapData layout");
static_assert(sizeof(sNatNetClientConnectParams) == 40, "sNatNetClientConnectParams layout");
static_assert(offsetof(sNatNetClientConnectParams, serverAddress) == 8, "sNatNetClientConnectParams layout");
static_assert(offsetof(sNatNetClientConnectParams, subscribedDataOnly) == 32,
              "sNatNetClientConnectParams layout");
#endif
// NOLINTEND
