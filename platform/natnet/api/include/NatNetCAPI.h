// NatNet SDK 4.1 C functions: version, logging, helpers for frames and
// descriptions, and server discovery.
#pragma once

// The SDK's C-compatible shape (C headers, NULL, plain records) is the point of this
// header: clang-tidy's C++ modernisations do not apply.
// NOLINTBEGIN

#include "NatNetTypes.h"

#define kNatNetIpv4AddrStrLenMax 16  // "xxx.xxx.xxx.xxx" and its terminating zero

typedef struct sNatNetDiscoveredServer
{
    char localAddress[kNatNetIpv4AddrStrLenMax];   // local interface the reply came in on
    char serverAddress[kNatNetIpv4AddrStrLenMax];  // the reply's source address
    uint16_t serverCommandPort;                    // the reply's source port
    sServerDescription serverDescription;
} sNatNetDiscoveredServer;

typedef struct NatNetDiscovery_t* NatNetDiscoveryHandle;

typedef void(NATNET_CALLCONV* NatNetServerDiscoveryCallback)(const sNatNetDiscoveredServer* pNewServer,
                                                             void* pUserContext);

#if defined(__cplusplus)
extern "C" {
#endif

NATNET_API void NATNET_CALLCONV NatNet_GetVersion(unsigned char outVersion[4]);
// Where the library's messages go. Until a callback is set (or after a null
// one), warnings and errors are printed to stderr.
NATNET_API void NATNET_CALLCONV NatNet_SetLogCallback(NatNetLogCallback pfnLogCallback);

// Splits a composite ID: entity in the high 16 bits, member in the low 16 bits.
NATNET_API void NATNET_CALLCONV NatNet_DecodeID(int compositeId, int* pOutEntityId, int* pOutMemberId);
NATNET_API ErrorCode NATNET_CALLCONV NatNet_DecodeTimecode(unsigned int timecode,
                                                           unsigned int timecodeSubframe, int* pOutHour,
                                                           int* pOutMinute, int* pOutSecond, int* pOutFrame,
                                                           int* pOutSubframe);
// Writes "hh:mm:ss:ff.s"; a buffer that is too small receives the terminated
// beginning of the text and the call fails.
NATNET_API ErrorCode NATNET_CALLCONV NatNet_TimecodeStringify(unsigned int timecode,
                                                              unsigned int timecodeSubframe, char* outBuffer,
                                                              int outBufferSize);

// Deep copy: the arrays that pDst points to are allocated by the library;
// release them with NatNet_FreeFrame (which leaves the record itself alone).
NATNET_API ErrorCode NATNET_CALLCONV NatNet_CopyFrame(sFrameOfMocapData* pSrc, sFrameOfMocapData* pDst);
NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeFrame(sFrameOfMocapData* pFrame);
// Releases a list from NatNetClient::GetDataDescriptionList and everything in it.
NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeDescriptions(sDataDescriptions* pDesc);

// Broadcasts discovery requests and waits timeoutMillisec for answers.
// *pInOutNumServers: array size in, number of servers that answered out.
NATNET_API ErrorCode NATNET_CALLCONV
NatNet_BroadcastServerDiscovery(sNatNetDiscoveredServer* outServers, int* pInOutNumServers,
                                unsigned int timeoutMillisec NATNET_DEFAULT_ARG(1000));
// Starts periodic discovery on a library thread; the callback runs there,
// once for every new server.
NATNET_API ErrorCode NATNET_CALLCONV NatNet_CreateAsyncServerDiscovery(
    NatNetDiscoveryHandle* pOutDiscovery, NatNetServerDiscoveryCallback pfnCallback,
    void* pUserContext NATNET_DEFAULT_ARG(NULL));
// Stops discovery; no callback runs after it returns.
NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeAsyncServerDiscovery(NatNetDiscoveryHandle discovery);

#if defined(__cplusplus)
}

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(sNatNetDiscoveredServer) == 592, "sNatNetDiscoveredServer layout");
static_assert(offsetof(sNatNetDiscoveredServer, serverAddress) == 16, "sNatNetDiscoveredServer layout");
static_assert(offsetof(sNatNetDiscoveredServer, serverCommandPort) == 32, "sNatNetDiscoveredServer layout");
static_assert(offsetof(sNatNetDiscoveredServer, serverDescription) == 40, "sNatNetDiscoveredServer layout");
#endif
#endif
// NOLINTEND
