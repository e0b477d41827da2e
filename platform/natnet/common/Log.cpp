#include "Log.h"

#include <atomic>
#include <cstdio>

namespace NatNet::Internal {

namespace {

std::atomic<NatNetLogCallback> g_logCallback{nullptr};

// Without a callback a program would never learn why a connect failed: like
// the vendor's library, say warnings and errors on stderr until one is set.
void logToStderr(Verbosity level, const char* message)
{
    if (level < Verbosity_Warning) {
        return;
    }
    const char* tag = level >= Verbosity_Error ? "error" : "warning";
    // One call: lines from several threads do not interleave.
    std::fprintf(stderr, "[NatNetLib] %s: %s\n", tag, message);
}

}  // namespace

void setLogCallback(NatNetLogCallback callback)
{
    g_logCallback.store(callback, std::memory_order_release);
}

void logMessage(Verbosity level, const char* message)
{
    const char* text = message != nullptr ? message : "";
    if (NatNetLogCallback callback = g_logCallback.load(std::memory_order_acquire)) {
        callback(level, text);
    } else {
        logToStderr(level, text);
    }
}

}  // namespace NatNet::Internal
