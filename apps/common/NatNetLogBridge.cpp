#include "NatNetLogBridge.h"

#include <Quorvane/Core/Log.h>

#include <NatNetCAPI.h>

namespace AppsCommon {

namespace Internal {
namespace {

const char* const kCategory = "NatNet";

/// Called on whichever library thread has something to say; nothing may leave it.
void NATNET_CALLCONV onNatNetLog(Verbosity verbosity, const char* message)
{
    const int level = hostLogLevel(verbosity);
    if (level < 0 || Quorvane::Log::g_globalLevel > level || !Quorvane::Log::isAccepted(level, kCategory)) {
        return;
    }
    try {
        Quorvane::Log::log(level, kCategory, message != nullptr ? message : "", "", -1);
    } catch (...) {
        // A log that cannot take the line has no other place to report it either.
    }
}

}  // namespace
}  // namespace Internal

int hostLogLevel(int natNetVerbosity)
{
    switch (natNetVerbosity) {
        case Verbosity_Error:
            return 4;
        case Verbosity_Warning:
            return 3;
        case Verbosity_Info:
            return 2;
        case Verbosity_Debug:
            return 0;
        default:
            return -1;
    }
}

void routeNatNetLogToHostLog()
{
    NatNet_SetLogCallback(&Internal::onNatNetLog);
}

}  // namespace AppsCommon
