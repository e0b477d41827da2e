// The extension functions of natnet_ext/NatNetExt.h that concern clients.
#include "natnet_ext/NatNetExt.h"

#include "ClientCore.h"
#include "ClientRegistry.h"

namespace NatNetExt {

using NatNet::Net::ClientCore;
using NatNet::Net::ClientRegistry;

ErrorCode SetClientTimeouts(NatNetClient& client, const ClientTimeouts& timeouts)
{
    try {
        ClientCore* core = ClientRegistry::find(&client);
        return core != nullptr ? core->setTimeouts(timeouts) : ErrorCode_InvalidArgument;
    } catch (...) {
        return ErrorCode_Internal;
    }
}

ErrorCode GetClientTimeouts(const NatNetClient& client, ClientTimeouts* timeouts)
{
    try {
        ClientCore* core = ClientRegistry::find(&client);
        if (core == nullptr || timeouts == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        *timeouts = core->timeouts();
        return ErrorCode_OK;
    } catch (...) {
        return ErrorCode_Internal;
    }
}

ErrorCode GetClientCounters(const NatNetClient& client, ClientCounters* counters)
{
    try {
        ClientCore* core = ClientRegistry::find(&client);
        if (core == nullptr || counters == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        *counters = core->counters();
        return ErrorCode_OK;
    } catch (...) {
        return ErrorCode_Internal;
    }
}

ErrorCode GetClockSyncRoundTripMs(const NatNetClient& client, double* milliseconds)
{
    try {
        ClientCore* core = ClientRegistry::find(&client);
        if (core == nullptr || milliseconds == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        const uint64_t ns = core->clockRoundTripNs();
        if (ns == 0) {
            return ErrorCode_Other;
        }
        *milliseconds = static_cast<double>(ns) / 1e6;
        return ErrorCode_OK;
    } catch (...) {
        return ErrorCode_Internal;
    }
}

ErrorCode GetDecodeVersion(const NatNetClient& client, uint8_t version[4])
{
    try {
        ClientCore* core = ClientRegistry::find(&client);
        if (core == nullptr || version == nullptr) {
            return ErrorCode_InvalidArgument;
        }
        uint8_t out[4];
        core->decodeVersion(out);
        for (int i = 0; i < 4; ++i) {
            version[i] = out[i];
        }
        return ErrorCode_OK;
    } catch (...) {
        return ErrorCode_Internal;
    }
}

}  // namespace NatNetExt
