#pragma once

#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Lib/OwningDataList.h>
#include <Quorvane/Stream/StreamAlgorithmBase.h>
#include <Quorvane/Stream/StreamExport.h>

namespace Quorvane {

/// Base of IO algorithms whose output is one live stream. Its status is the Algorithm's
/// (0 success, 1 failure once executed); `outputTaken` and the hand-out come from
/// StreamAlgorithmBase. The stream itself is held by the derived class.
class QUORVANE_STREAM_EXPORT StreamIoAlgorithm : public StreamAlgorithmBase, public IoAlgorithm
{
public:
    StreamIoAlgorithm();
    ~StreamIoAlgorithm() override;

    /// One operation for both bases: hands out the current stream.
    OwningDataList takeOutput() override;

    // IoAlgorithm: a stream reads live data from a network or a device.
    bool survivesDataDeletion() const override;
    IoMode ioMode() const override;
    Flags<Location> supportedLocations() const override;
};

}  // namespace Quorvane
