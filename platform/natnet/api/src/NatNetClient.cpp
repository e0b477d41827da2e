// NatNetClient: the SDK's class, forwarding to ClientCore. Every body catches
// everything: no exception leaves the library.
#include "NatNetClient.h"

#include "ClientCore.h"
#include "ClientRegistry.h"

#include "GuardedCall.h"
#include "Log.h"

#include <new>
#include <utility>

struct NatNetClient::Impl
{
    NatNet::Net::ClientCore core;
};

namespace {

template <class Body>
ErrorCode guarded(Body&& body)
{
    return NatNet::Internal::guardedCall("NatNet: internal error", std::forward<Body>(body));
}

}  // namespace

NatNetClient::NatNetClient() : m_pImpl(new (std::nothrow) Impl)
{
    if (m_pImpl != nullptr) {
        NatNet::Net::ClientRegistry::add(this, &m_pImpl->core);
    }
}

NatNetClient::~NatNetClient()
{
    try {
        NatNet::Net::ClientRegistry::remove(this);
        delete m_pImpl;
    } catch (...) {
        NatNet::Internal::logMessage(Verbosity_Error, "NatNet: error while destroying a client");
    }
}

ErrorCode NatNetClient::Connect(const sNatNetClientConnectParams& connectParams)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] { return m_pImpl->core.connect(connectParams); });
}

ErrorCode NatNetClient::Disconnect()
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] { return m_pImpl->core.disconnect(); });
}

ErrorCode NatNetClient::SetFrameReceivedCallback(NatNetFrameReceivedCallback pfnDataCallback,
                                                 void* pUserContext)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] { return m_pImpl->core.setFrameCallback(pfnDataCallback, pUserContext); });
}

ErrorCode NatNetClient::SetUnknownMessageCallback(NatNetUnknownMessageCallback pfnMsgCallback,
                                                  void* pUserContext)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] { return m_pImpl->core.setUnknownMessageCallback(pfnMsgCallback, pUserContext); });
}

ErrorCode NatNetClient::SendMessageAndWait(const char* szRequest, void** ppServerResponse, int* pResponseSize)
{
    // The SDK's documented defaults: 10 tries of 20 ms.
    return SendMessageAndWait(szRequest, 10, 20, ppServerResponse, pResponseSize);
}

ErrorCode NatNetClient::SendMessageAndWait(const char* szRequest, int tries, int timeout,
                                           void** ppServerResponse, int* pResponseSize)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] {
        return m_pImpl->core.sendMessageAndWait(szRequest, tries, timeout, ppServerResponse, pResponseSize);
    });
}

ErrorCode NatNetClient::GetServerDescription(sServerDescription* pServerDescription)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded([&] { return m_pImpl->core.getServerDescription(pServerDescription); });
}

ErrorCode NatNetClient::GetDataDescriptionList(sDataDescriptions** ppDataDescriptions,
                                               uint32_t descriptionTypesMask)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded(
        [&] { return m_pImpl->core.getDataDescriptionList(ppDataDescriptions, descriptionTypesMask); });
}

ErrorCode NatNetClient::GetPredictedRigidBodyPose(int32_t rigidBodyIndex, sRigidBodyData& rigidBodyData,
                                                  double dt)
{
    if (m_pImpl == nullptr) {
        return ErrorCode_Internal;
    }
    return guarded(
        [&] { return m_pImpl->core.getPredictedRigidBodyPose(rigidBodyIndex, rigidBodyData, dt); });
}

double NatNetClient::SecondsSinceHostTimestamp(uint64_t inTimestamp) const
{
    if (m_pImpl == nullptr) {
        return 0.0;
    }
    try {
        return m_pImpl->core.secondsSinceHostTimestamp(inTimestamp);
    } catch (...) {
        return 0.0;
    }
}
