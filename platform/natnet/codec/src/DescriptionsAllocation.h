// Helpers shared by the description decoder and freeDescriptions.
#pragma once

#include "NatNetTypes.h"

#include <cstdint>

namespace NatNet::Wire::Internal {

void freeNameArray(char** names, int32_t count);
void freeRigidBodyArrays(sRigidBodyDescription& body);
void freeDescription(sDataDescription& description);

}  // namespace NatNet::Wire::Internal
