#include "stream/OptiTrackStream.h"

#include "stream/OptiTrackLog.h"
#include "stream/OptiTrackStreamImpl.h"

#include <Quorvane/Core/Properties.h>

#include <utility>

namespace Quorvane {

OptiTrackStream::OptiTrackStream() : TrackingStream("Tracking Stream"), impl(std::make_unique<Impl>(this)) {}

OptiTrackStream::~OptiTrackStream()
{
    // While this is still an OptiTrackStream, so that the host's close can reach stopImpl and
    // closeImpl.
    close();
}

std::string OptiTrackStream::uuid() const
{
    return "OptiTrackStream";
}

bool OptiTrackStream::openImpl()
{
    return true;
}

bool OptiTrackStream::closeImpl()
{
    return true;
}

bool OptiTrackStream::startImpl()
{
    impl->client.SetFrameReceivedCallback(&OptiTrackStream::onFrameReceived, impl.get());
    if (impl->connectToServer(connectionParams)) return true;
    Internal::logMessage(4, Internal::kStreamCategory,
                         "Error initializing client.  See log for details.  Exiting");
    return false;
}

bool OptiTrackStream::stopImpl()
{
    impl->client.Disconnect();
    return true;
}

std::optional<Stream::WorkContinuation> OptiTrackStream::doWork()
{
    return std::nullopt;
}

void OptiTrackStream::configure(const Properties* properties)
{
    if (properties == nullptr) return;
    // The results are not looked at: a missing key leaves its field as it was.
    properties->param("localAddress", connectionParams.localAddress);
    properties->param("serverAddress", connectionParams.serverAddress);
    properties->param("commandPort", connectionParams.commandPort);
    properties->param("dataPort", connectionParams.dataPort);
    properties->param("multicastAddress", connectionParams.multicastAddress);
    int connectionType = connectionParams.connectionType;
    properties->param("connectionType", connectionType);
    connectionParams.connectionType = connectionType;
}

void OptiTrackStream::configuration(Properties* properties) const
{
    if (properties == nullptr) return;
    properties->setParam("localAddress", connectionParams.localAddress);
    properties->setParam("serverAddress", connectionParams.serverAddress);
    properties->setParam("commandPort", connectionParams.commandPort);
    properties->setParam("dataPort", connectionParams.dataPort);
    properties->setParam("multicastAddress", connectionParams.multicastAddress);
    properties->setParam("connectionType", static_cast<int>(connectionParams.connectionType));
}

void OptiTrackStream::setConnectionParams(OptiTrackConnectionParams params)
{
    connectionParams = std::move(params);
}

std::uint64_t OptiTrackStream::implausiblePoseCount() const
{
    return impl->implausiblePoses.total();
}

void OptiTrackStream::setMaxError(double value)
{
    if (!isStateOneOf({4, 3})) {
        impl->maxError.store(value, std::memory_order_relaxed);
        return;
    }
    Internal::logMessage(3, Internal::kNoCategory, "Can't set max error while stream is running");
}

}  // namespace Quorvane
