// The library's log sink (NatNet_SetLogCallback). Not exported.
#pragma once

#include "NatNetTypes.h"

namespace NatNet::Internal {

void setLogCallback(NatNetLogCallback callback);
// Calls the installed callback, if any; safe from any thread.
void logMessage(Verbosity level, const char* message);

}  // namespace NatNet::Internal
