#include "ClientShared.h"

#include <cstring>

namespace NatNet::Net {

NatNetExt::ClientCounters AtomicCounters::snapshot() const
{
    const auto load = [](const std::atomic<uint64_t>& value) {
        return value.load(std::memory_order_relaxed);
    };
    NatNetExt::ClientCounters out;
    out.datagramsReceived = load(datagramsReceived);
    out.framesDecoded = load(framesDecoded);
    out.droppedForeignSender = load(droppedForeignSender);
    out.droppedMalformed = load(droppedMalformed);
    out.droppedBadFrame = load(droppedBadFrame);
    out.droppedStaleReply = load(droppedStaleReply);
    out.droppedLateAnswer = load(droppedLateAnswer);
    out.droppedUnsolicited = load(droppedUnsolicited);
    out.droppedOldFrame = load(droppedOldFrame);
    out.framesMissing = load(framesMissing);
    out.frameNumberRestarts = load(frameNumberRestarts);
    out.droppedUnexpected = load(droppedUnexpected);
    out.unknownMessages = load(unknownMessages);
    out.requestsSent = load(requestsSent);
    out.requestTimeouts = load(requestTimeouts);
    out.keepAlivesSent = load(keepAlivesSent);
    out.echoRequestsSent = load(echoRequestsSent);
    out.echoResponsesReceived = load(echoResponsesReceived);
    out.reconnectsSent = load(reconnectsSent);
    out.lastBadFrameStatus = lastBadFrameStatus.load(std::memory_order_relaxed);
    return out;
}

ClientShared::RequestBuffers::RequestBuffers()
    : response(std::make_unique<uint8_t[]>(kResponseCapacity + kResponseSlack))
{
    std::memset(response.get(), 0, kResponseCapacity + kResponseSlack);
    scratchReply.reserve(kResponseCapacity);
}

ClientShared::ClientShared()
    : m_description(sServerDescription{}),
      m_frame(std::make_unique<sFrameOfMocapData>())  // value-initialised: all zero
{
}

ClientShared::~ClientShared() = default;

void ClientShared::setFrameCallback(NatNetFrameReceivedCallback callback, void* context)
{
    m_callbacks.lock()->frame = {callback, context};
}

ClientShared::Callback<NatNetFrameReceivedCallback> ClientShared::frameCallback() const
{
    return m_callbacks.lock()->frame;
}

void ClientShared::setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context)
{
    m_callbacks.lock()->unknown = {callback, context};
}

ClientShared::Callback<NatNetUnknownMessageCallback> ClientShared::unknownMessageCallback() const
{
    return m_callbacks.lock()->unknown;
}

void ClientShared::setServerDescription(const sServerDescription& description)
{
    *m_description.lock() = description;
}

void ClientShared::clearServerDescription()
{
    std::memset(&*m_description.lock(), 0, sizeof(sServerDescription));
}

sServerDescription ClientShared::serverDescription() const
{
    return *m_description.lock();
}

void ClientShared::setDecodeVersion(Wire::Version version)
{
    const uint32_t packed = (uint32_t{version.major} << 24) | (uint32_t{version.minor} << 16) |
                            (uint32_t{version.build} << 8) | version.revision;
    m_decodeVersion.store(packed, std::memory_order_release);
}

Wire::Version ClientShared::decodeVersion() const
{
    const uint32_t packed = m_decodeVersion.load(std::memory_order_acquire);
    return Wire::Version(static_cast<uint8_t>(packed >> 24), static_cast<uint8_t>(packed >> 16),
                         static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>(packed));
}

sPacket& ClientShared::packet()
{
    if (!m_packet) {
        m_packet = std::make_unique<sPacket>();
    }
    return *m_packet;
}

}  // namespace NatNet::Net
