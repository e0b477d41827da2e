// Names the calling thread so that debuggers, top -H and TSan reports show it.
#pragma once

namespace NatNet::Net {

// At most 15 characters are kept (the Linux limit).
void setCurrentThreadName(const char* name);

}  // namespace NatNet::Net
