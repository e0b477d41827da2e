// The discovery functions of NatNetCAPI.h and the discovery settings of
// natnet_ext/NatNetExt.h.
#include "NatNetCAPI.h"

#include "DiscoveryTargets.h"
#include "ServerDiscovery.h"

#include "natnet_ext/NatNetExt.h"

#include "GuardedCall.h"
#include "Log.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

struct NatNetDiscovery_t
{
    std::shared_ptr<NatNet::Net::ServerDiscovery> discovery;
};

namespace {

template <class Body>
ErrorCode guarded(Body&& body)
{
    return NatNet::Internal::guardedCall("NatNet: internal error in discovery", std::forward<Body>(body));
}

}  // namespace

NATNET_API ErrorCode NATNET_CALLCONV NatNet_BroadcastServerDiscovery(sNatNetDiscoveredServer* outServers,
                                                                     int* pInOutNumServers,
                                                                     unsigned int timeoutMillisec)
{
    return guarded([&] {
        if (pInOutNumServers == nullptr || *pInOutNumServers < 0 ||
            (outServers == nullptr && *pInOutNumServers > 0)) {
            return ErrorCode_InvalidArgument;
        }
        const int capacity = *pInOutNumServers;
        const int timeoutMs = static_cast<int>(std::min(timeoutMillisec, 3600u * 1000u));
        auto discovery = std::make_shared<NatNet::Net::ServerDiscovery>(
            NatNet::Net::DiscoveryTargets::resolve(), NatNet::Net::DiscoveryTargets::intervalMs());
        std::vector<sNatNetDiscoveredServer> servers;
        const ErrorCode result = discovery->collect(timeoutMs, servers);
        if (result != ErrorCode_OK) {
            *pInOutNumServers = 0;
            return result;
        }
        // The count says how many answered, even beyond the array's size.
        const int stored = std::min(capacity, static_cast<int>(servers.size()));
        std::copy(servers.begin(), servers.begin() + stored, outServers);
        *pInOutNumServers = static_cast<int>(servers.size());
        return ErrorCode_OK;
    });
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_CreateAsyncServerDiscovery(
    NatNetDiscoveryHandle* pOutDiscovery, NatNetServerDiscoveryCallback pfnCallback, void* pUserContext)
{
    return guarded([&] {
        if (pOutDiscovery == nullptr || pfnCallback == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        *pOutDiscovery = nullptr;
        auto handle = std::make_unique<NatNetDiscovery_t>();
        handle->discovery = std::make_shared<NatNet::Net::ServerDiscovery>(
            NatNet::Net::DiscoveryTargets::resolve(), NatNet::Net::DiscoveryTargets::intervalMs());
        const ErrorCode result =
            handle->discovery->start([pfnCallback, pUserContext](const sNatNetDiscoveredServer& server) {
                pfnCallback(&server, pUserContext);
            });
        if (result != ErrorCode_OK) {
            return result;
        }
        *pOutDiscovery = handle.release();
        return ErrorCode_OK;
    });
}

NATNET_API ErrorCode NATNET_CALLCONV NatNet_FreeAsyncServerDiscovery(NatNetDiscoveryHandle discovery)
{
    return guarded([&] {
        if (discovery == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        discovery->discovery->stop();
        delete discovery;
        return ErrorCode_OK;
    });
}

namespace NatNetExt {

ErrorCode SetDiscoveryTargets(const char* targets)
{
    return guarded([&] { return NatNet::Net::DiscoveryTargets::set(targets); });
}

ErrorCode SetDiscoveryIntervalMs(int intervalMs)
{
    return guarded([&] { return NatNet::Net::DiscoveryTargets::setIntervalMs(intervalMs); });
}

}  // namespace NatNetExt
