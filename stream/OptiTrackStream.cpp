#include "stream/OptiTrackStream.h"

#include "stream/OptiTrackLog.h"
#include "stream/OptiTrackStreamImpl.h"

#include <Quorvane/Core/Properties.h>

#include <utility>

namespace Quorvane {

OptiTrackStream::OptiTrackStream() : TrackingStream("Tracking Stream"), m_impl(std::make_unique<Impl>(this))
{
}

OptiTrackStream::~OptiTrackStream()
{
    // First: a view painting on another thread must let go of the stream before any part of it,
    // its dynamic type included, starts to go.
    announceDestruction();
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
    m_impl->client.SetFrameReceivedCallback(&OptiTrackStream::onFrameReceived, m_impl.get());
    if (m_impl->connectToServer(m_connectionParams)) return true;
    Internal::logMessage(Log::Error, Internal::kStreamCategory,
                         "Error initializing client.  See log for details.  Exiting");
    return false;
}

bool OptiTrackStream::stopImpl()
{
    m_impl->client.Disconnect();
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
    properties->param("localAddress", m_connectionParams.localAddress);
    properties->param("serverAddress", m_connectionParams.serverAddress);
    properties->param("commandPort", m_connectionParams.commandPort);
    properties->param("dataPort", m_connectionParams.dataPort);
    properties->param("multicastAddress", m_connectionParams.multicastAddress);
    int connectionType = m_connectionParams.connectionType;
    properties->param("connectionType", connectionType);
    m_connectionParams.connectionType = connectionType;
}

void OptiTrackStream::configuration(Properties* properties) const
{
    if (properties == nullptr) return;
    properties->setParam("localAddress", m_connectionParams.localAddress);
    properties->setParam("serverAddress", m_connectionParams.serverAddress);
    properties->setParam("commandPort", m_connectionParams.commandPort);
    properties->setParam("dataPort", m_connectionParams.dataPort);
    properties->setParam("multicastAddress", m_connectionParams.multicastAddress);
    properties->setParam("connectionType", static_cast<int>(m_connectionParams.connectionType));
}

void OptiTrackStream::setConnectionParams(OptiTrackConnectionParams params)
{
    m_connectionParams = std::move(params);
}

std::uint64_t OptiTrackStream::implausiblePoseCount() const
{
    return m_impl->implausiblePoses.total();
}

void OptiTrackStream::setMaxError(double value)
{
    if (!isRunning()) {
        m_impl->maxError.store(value, std::memory_order_relaxed);
        return;
    }
    Internal::logMessage(Log::Warning, Internal::kNoCategory, "Can't set max error while stream is running");
}

}  // namespace Quorvane
