// The working part of NatNetClient: connection lifecycle, requests, and the
// queries. NatNetClient's methods forward here inside a catch-all so that no
// exception crosses the library's boundary.
//
// Locks: `m_lifecycle` orders Connect and Disconnect and guards the session
// pointer; it is held while a receive thread is joined, so nothing that a
// frame callback may call takes it (those calls detect the receive thread
// first). Holding `ClientShared::requests` serialises requests.
#pragma once

#include "ClientSession.h"
#include "ClientShared.h"

#include "natnet_ext/NatNetExt.h"

#include "NatNetTypes.h"

#include <memory>
#include <mutex>

namespace NatNet::Net {

class ClientCore
{
public:
    ClientCore() = default;
    ~ClientCore();
    ClientCore(const ClientCore&) = delete;
    ClientCore& operator=(const ClientCore&) = delete;

    ErrorCode connect(const sNatNetClientConnectParams& params);
    ErrorCode disconnect();

    ErrorCode setFrameCallback(NatNetFrameReceivedCallback callback, void* context);
    ErrorCode setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context);

    ErrorCode sendMessageAndWait(const char* request, int tries, int timeoutMs, void** response,
                                 int* responseSize);
    ErrorCode getServerDescription(sServerDescription* description) const;
    ErrorCode getDataDescriptionList(sDataDescriptions** descriptions, uint32_t typeMask);
    ErrorCode getPredictedRigidBodyPose(int32_t streamingId, sRigidBodyData& pose, double dt) const;
    double secondsSinceHostTimestamp(uint64_t timestamp) const;
    uint64_t clockRoundTripNs() const;

    ErrorCode setTimeouts(const NatNetExt::ClientTimeouts& timeouts);
    NatNetExt::ClientTimeouts timeouts() const;
    NatNetExt::ClientCounters counters() const;
    void decodeVersion(uint8_t (&version)[4]) const;

private:
    // True when called from this client's own receive thread (frame callback).
    bool onOwnReceiveThread() const;
    std::shared_ptr<ClientSession> currentSession() const;
    void stopSessionLocked();
    // The answer is in the request buffers, which the caller holds.
    void maybeSwitchBitstream(const ClientSession& session, const char* request,
                              const Wire::Response& answer);

    std::shared_ptr<ClientShared> m_shared = std::make_shared<ClientShared>();
    mutable std::mutex m_lifecycle;
    std::shared_ptr<ClientSession> m_session;
    bool m_everConnected = false;
    // Own lock: a frame callback may read the timeouts while m_lifecycle is held for a join.
    mutable std::mutex m_timeoutsMutex;
    NatNetExt::ClientTimeouts m_timeouts;
};

}  // namespace NatNet::Net
