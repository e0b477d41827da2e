#include "natnet/transport/ThreadName.h"

#if defined(__linux__)
#include <pthread.h>
#endif

#include <cstring>

namespace NatNet::Net {

void setCurrentThreadName(const char* name)
{
#if defined(__linux__)
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof(shortName) - 1);
    pthread_setname_np(pthread_self(), shortName);
#else
    (void)name;
#endif
}

}  // namespace NatNet::Net
