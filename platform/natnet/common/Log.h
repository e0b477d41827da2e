// The library's log sink (NatNet_SetLogCallback). Not exported.
#pragma once

#include "NatNetTypes.h"

namespace NatNet::Internal {

void setLogCallback(NatNetLogCallback callback);
// Calls the installed callback; without one, warnings and errors go to
// stderr. Safe from any thread.
void logMessage(Verbosity level, const char* message);

}  // namespace NatNet::Internal
