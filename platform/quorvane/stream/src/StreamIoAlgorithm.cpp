#include <Quorvane/Stream/StreamIoAlgorithm.h>

namespace Quorvane {

StreamIoAlgorithm::StreamIoAlgorithm() = default;
StreamIoAlgorithm::~StreamIoAlgorithm() = default;

OwningDataList StreamIoAlgorithm::takeOutput()
{
    return StreamAlgorithmBase::takeOutput();
}

bool StreamIoAlgorithm::survivesDataDeletion() const
{
    return true;
}

IoAlgorithm::IoMode StreamIoAlgorithm::ioMode() const
{
    return IoMode::Input;
}

Flags<IoAlgorithm::Location> StreamIoAlgorithm::supportedLocations() const
{
    return Flags<Location>(Location::Network) | Flags<Location>(Location::Device);
}

}  // namespace Quorvane
