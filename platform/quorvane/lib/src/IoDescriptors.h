#pragma once

#include <Quorvane/Lib/AlgorithmDescriptor.h>

#include <algorithm>
#include <vector>

namespace Quorvane {
namespace Internal {

/// The IO algorithms among `descriptors`, in their order.
inline std::vector<AlgorithmDescriptor> ioDescriptors(std::vector<AlgorithmDescriptor> descriptors)
{
    descriptors.erase(std::remove_if(descriptors.begin(), descriptors.end(),
                                     [](const AlgorithmDescriptor& d) { return !d.isIo; }),
                      descriptors.end());
    return descriptors;
}

}  // namespace Internal
}  // namespace Quorvane
