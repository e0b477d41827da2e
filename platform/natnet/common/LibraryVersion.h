// The version this library reports (NatNet_GetVersion) and sends in its
// sender blocks: the SDK release whose API it has.
#pragma once

#include <cstdint>

namespace NatNet::Internal {

inline constexpr uint8_t kLibraryVersion[4] = {4, 1, 0, 0};
inline constexpr const char* kLibraryName = "NatNetLib";

}  // namespace NatNet::Internal
