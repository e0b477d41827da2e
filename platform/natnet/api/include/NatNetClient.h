// NatNet SDK 4.1 client class: one connection to one NatNet server.
#pragma once

// The SDK's C-compatible shape (C headers, NULL, plain records) is the point of this
// header: clang-tidy's C++ modernisations do not apply.
// NOLINTBEGIN

#include "NatNetTypes.h"

class NATNET_API NatNetClient
{
public:
    NatNetClient();
    ~NatNetClient();

    NatNetClient(const NatNetClient&) = delete;
    NatNetClient& operator=(const NatNetClient&) = delete;

    // Connects to the server and returns once its server information arrived
    // (or the attempt failed).
    ErrorCode Connect(const sNatNetClientConnectParams& connectParams);
    // Stops the receive thread; no frame callback runs after it returns.
    ErrorCode Disconnect();

    // The callback runs on the library's receive thread, once per frame; the
    // frame it is given belongs to the library and is valid during the call only.
    ErrorCode SetFrameReceivedCallback(NatNetFrameReceivedCallback pfnDataCallback,
                                       void* pUserContext = NULL);
    ErrorCode SetUnknownMessageCallback(NatNetUnknownMessageCallback pfnMsgCallback,
                                        void* pUserContext = NULL);

    // Sends a text request and waits for the answer: tries times, timeout
    // milliseconds per try. The response buffer belongs to the library and stays
    // valid until the next request on this client.
    ErrorCode SendMessageAndWait(const char* szRequest, void** ppServerResponse, int* pResponseSize);
    ErrorCode SendMessageAndWait(const char* szRequest, int tries, int timeout, void** ppServerResponse,
                                 int* pResponseSize);

    ErrorCode GetServerDescription(sServerDescription* pServerDescription);
    // Allocates the list; release it with NatNet_FreeDescriptions.
    ErrorCode GetDataDescriptionList(sDataDescriptions** ppDataDescriptions,
                                     uint32_t descriptionTypesMask = 0xFFFFFFFF);
    ErrorCode GetPredictedRigidBodyPose(int32_t rigidBodyIndex, sRigidBodyData& rigidBodyData,
                                        double dt = 0.0);

    // Seconds elapsed since a timestamp of the server's high-resolution clock.
    double SecondsSinceHostTimestamp(uint64_t inTimestamp) const;

private:
    struct Impl;
    Impl* m_pImpl;
};
// NOLINTEND
