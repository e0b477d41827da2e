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
    : frame_(std::make_unique<sFrameOfMocapData>())  // value-initialised: all zero
      ,
      response_(std::make_unique<uint8_t[]>(kResponseCapacity + kResponseSlack))
{
    std::memset(response_.get(), 0, kResponseCapacity + kResponseSlack);
    scratchReply.reserve(kResponseCapacity);
}

ClientShared::~ClientShared() = default;

void ClientShared::setFrameCallback(NatNetFrameReceivedCallback callback, void* context)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    frameCallback_ = callback;
    frameContext_ = context;
}

void ClientShared::frameCallback(NatNetFrameReceivedCallback& callback, void*& context) const
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback = frameCallback_;
    context = frameContext_;
}

void ClientShared::setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    unknownCallback_ = callback;
    unknownContext_ = context;
}

void ClientShared::unknownMessageCallback(NatNetUnknownMessageCallback& callback, void*& context) const
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback = unknownCallback_;
    context = unknownContext_;
}

void ClientShared::setServerDescription(const sServerDescription& description)
{
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    description_ = description;
}

void ClientShared::clearServerDescription()
{
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    std::memset(&description_, 0, sizeof(description_));
}

sServerDescription ClientShared::serverDescription() const
{
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    return description_;
}

void ClientShared::setDecodeVersion(Wire::Version version)
{
    const uint32_t packed = (uint32_t{version.major} << 24) | (uint32_t{version.minor} << 16) |
                            (uint32_t{version.build} << 8) | version.revision;
    decodeVersion_.store(packed, std::memory_order_release);
}

Wire::Version ClientShared::decodeVersion() const
{
    const uint32_t packed = decodeVersion_.load(std::memory_order_acquire);
    return Wire::Version(static_cast<uint8_t>(packed >> 24), static_cast<uint8_t>(packed >> 16),
                         static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>(packed));
}

sPacket& ClientShared::packet()
{
    if (!packet_) {
        packet_ = std::make_unique<sPacket>();
    }
    return *packet_;
}

}  // namespace NatNet::Net
