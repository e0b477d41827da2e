#pragma once

#include <cstdint>
#include <string>

namespace Quorvane {

/// What the host shows and looks up about a registered algorithm.
struct AlgorithmDescriptor
{
    std::string name;         ///< registered name, e.g. "OptiTrack.OptiTrackStream"
    std::string displayPath;  ///< e.g. "IO;OptiTrack;OptiTrack Duo/Trio"
    std::string displayName;  ///< last piece of the display path, e.g. "OptiTrack Duo/Trio"
    std::int32_t tag = 0;     ///< value given at registration
    std::string factoryName;  ///< name of the factory holding it
    /// Listed among the IO algorithms: the display path's first piece is "IO".
    bool isIo = false;

    bool operator==(const AlgorithmDescriptor& o) const
    {
        return name == o.name && displayPath == o.displayPath && displayName == o.displayName &&
               tag == o.tag && factoryName == o.factoryName && isIo == o.isIo;
    }
};

}  // namespace Quorvane
