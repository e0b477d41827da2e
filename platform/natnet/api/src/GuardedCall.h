#pragma once

#include "Log.h"
#include "NatNetTypes.h"

#include <new>

namespace NatNet::Internal {

/// Runs an SDK entry point's body so that no exception leaves the library: the SDK's callers
/// expect an ErrorCode, and an exception across the C and shared-library boundary would end
/// the host. `what` names the failing area in the log line.
template <class Body>
ErrorCode guardedCall(const char* what, Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        logMessage(Verbosity_Error, "NatNet: out of memory");
        return ErrorCode_Internal;
    } catch (...) {
        logMessage(Verbosity_Error, what);
        return ErrorCode_Internal;
    }
}

}  // namespace NatNet::Internal
