// The extension functions of natnet_ext/NatNetExt.h that concern clients.
#include "natnet_ext/NatNetExt.h"

#include "ClientCore.h"
#include "ClientRegistry.h"
#include "GuardedCall.h"

#include <algorithm>

namespace NatNetExt {

using NatNet::Net::ClientCore;
using NatNet::Net::ClientRegistry;

namespace {

// An extension's body, given the client's core and its non-null output; an unknown client or a
// null output is InvalidArgument, and no exception leaves the library.
template <typename Client, typename Out, typename Body>
ErrorCode withCore(Client& client, Out* out, Body&& body)
{
    return NatNet::Internal::guardedCall("NatNet: internal error", [&]() -> ErrorCode {
        ClientCore* core = ClientRegistry::find(&client);
        if (core == nullptr || out == nullptr) return ErrorCode_InvalidArgument;
        return body(*core, *out);
    });
}

}  // namespace

ErrorCode SetClientTimeouts(NatNetClient& client, const ClientTimeouts& timeouts)
{
    return withCore(client, &timeouts,
                    [](ClientCore& core, const ClientTimeouts& value) { return core.setTimeouts(value); });
}

ErrorCode GetClientTimeouts(const NatNetClient& client, ClientTimeouts* timeouts)
{
    return withCore(client, timeouts, [](ClientCore& core, ClientTimeouts& out) {
        out = core.timeouts();
        return ErrorCode_OK;
    });
}

ErrorCode GetClientCounters(const NatNetClient& client, ClientCounters* counters)
{
    return withCore(client, counters, [](ClientCore& core, ClientCounters& out) {
        out = core.counters();
        return ErrorCode_OK;
    });
}

ErrorCode GetClockSyncRoundTripMs(const NatNetClient& client, double* milliseconds)
{
    return withCore(client, milliseconds, [](ClientCore& core, double& out) {
        const uint64_t ns = core.clockRoundTripNs();
        if (ns == 0) return ErrorCode_Other;
        out = static_cast<double>(ns) / 1e6;
        return ErrorCode_OK;
    });
}

ErrorCode GetDecodeVersion(const NatNetClient& client, uint8_t version[4])
{
    return withCore(client, version, [](ClientCore& core, uint8_t& first) {
        uint8_t out[4];
        core.decodeVersion(out);
        std::copy(out, out + 4, &first);
        return ErrorCode_OK;
    });
}

}  // namespace NatNetExt
