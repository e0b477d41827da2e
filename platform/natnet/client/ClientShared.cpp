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

ClientShared::ClientShared()
    : m_frame(std::make_unique<sFrameOfMocapData>())  // value-initialised: all zero
      ,
      m_response(std::make_unique<uint8_t[]>(kResponseCapacity + kResponseSlack))
{
    std::memset(m_response.get(), 0, kResponseCapacity + kResponseSlack);
    scratchReply.reserve(kResponseCapacity);
}

ClientShared::~ClientShared() = default;

void ClientShared::setFrameCallback(NatNetFrameReceivedCallback callback, void* context)
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_frameCallback = callback;
    m_frameContext = context;
}

void ClientShared::frameCallback(NatNetFrameReceivedCallback& callback, void*& context) const
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    callback = m_frameCallback;
    context = m_frameContext;
}

void ClientShared::setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context)
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_unknownCallback = callback;
    m_unknownContext = context;
}

void ClientShared::unknownMessageCallback(NatNetUnknownMessageCallback& callback, void*& context) const
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    callback = m_unknownCallback;
    context = m_unknownContext;
}

void ClientShared::setServerDescription(const sServerDescription& description)
{
    std::lock_guard<std::mutex> lock(m_descriptionMutex);
    m_description = description;
}

void ClientShared::clearServerDescription()
{
    std::lock_guard<std::mutex> lock(m_descriptionMutex);
    std::memset(&m_description, 0, sizeof(m_description));
}

sServerDescription ClientShared::serverDescription() const
{
    std::lock_guard<std::mutex> lock(m_descriptionMutex);
    return m_description;
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
