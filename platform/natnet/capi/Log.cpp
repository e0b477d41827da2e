#include "Log.h"

#include <atomic>

namespace NatNet::Internal {

namespace {
std::atomic<NatNetLogCallback> g_logCallback{nullptr};
}

void setLogCallback(NatNetLogCallback callback)
{
    g_logCallback.store(callback, std::memory_order_release);
}

void logMessage(Verbosity level, const char* message)
{
    if (NatNetLogCallback callback = g_logCallback.load(std::memory_order_acquire))
        callback(level, message ? message : "");
}

}  // namespace NatNet::Internal
