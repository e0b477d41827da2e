// The socket-free C functions of the SDK API.
#include "LibraryVersion.h"
#include "Log.h"

#include "NatNetCAPI.h"
#include "natnet/codec/ModelDefinitions.h"

#include <cstdio>
#include <cstring>

extern "C" {

NATNET_API void NATNET_CALLCONV NatNet_GetVersion(unsigned char outVersion[4])
{
    if (!outVersion) return;
    std::memcpy(outVersion, NatNet::Internal::kLibraryVersion, 4);
}

NATNET_API void NATNET_CALLCONV NatNet_SetLogCallback(NatNetLogCallback pfnLogCallback)
{
    NatNet::Internal::setLogCallback(pfnLogCallback);
}

NATNET_API void NATNET_CALLCONV NatNet_DecodeID(int compositeId, int* pOutEntityId, int* pOutMemberId)
{
    // Both halves are 16-bit fields of the 32-bit word, read unsigned.
    const unsigned int bits = static_cast<unsigned int>(compositeId);
    if (pOutEntityId) *pOutEntityId = static_cast<int>(bits >> 16);
    if (pOutMemberId) *pOutMemberId = static_cast<int>(bits & 0xFFFFu);
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_DecodeTimecode(unsigned int timecode,
                                                           unsigned int timecodeSubframe, int* pOutHour,
                                                           int* pOutMinute, int* pOutSecond, int* pOutFrame,
                                                           int* pOutSubframe)
{
    if (!pOutHour || !pOutMinute || !pOutSecond || !pOutFrame || !pOutSubframe) {
        return ErrorCode_InvalidArgument;
    }
    *pOutHour = static_cast<int>((timecode >> 24) & 0xFFu);
    *pOutMinute = static_cast<int>((timecode >> 16) & 0xFFu);
    *pOutSecond = static_cast<int>((timecode >> 8) & 0xFFu);
    *pOutFrame = static_cast<int>(timecode & 0xFFu);
    *pOutSubframe = static_cast<int>(timecodeSubframe);
    return ErrorCode_OK;
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_TimecodeStringify(unsigned int timecode,
                                                              unsigned int timecodeSubframe, char* outBuffer,
                                                              int outBufferSize)
{
    if (!outBuffer || outBufferSize <= 0) return ErrorCode_InvalidArgument;
    const int written = std::snprintf(outBuffer, static_cast<size_t>(outBufferSize), "%02u:%02u:%02u:%02u.%u",
                                      (timecode >> 24) & 0xFFu, (timecode >> 16) & 0xFFu,
                                      (timecode >> 8) & 0xFFu, timecode & 0xFFu, timecodeSubframe);
    // snprintf leaves the terminated beginning of the text in a short buffer.
    if (written < 0 || written >= outBufferSize) return ErrorCode_InvalidArgument;
    return ErrorCode_OK;
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeDescriptions(sDataDescriptions* pDesc)
{
    if (!pDesc) return ErrorCode_InvalidArgument;
    NatNet::Wire::freeDescriptions(pDesc);
    return ErrorCode_OK;
}

}  // extern "C"
