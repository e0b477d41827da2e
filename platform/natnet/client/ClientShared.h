// What one NatNetClient keeps across its connections and shares with its
// receive thread: callbacks, the server description, the clock model, the
// counters, the reused frame record and the response buffer.
#pragma once

#include "ClockSync.h"
#include "RigidBodyHistory.h"

#include "natnet/codec/FrameStorage.h"
#include "natnet/codec/Version.h"
#include "natnet/transport/Guarded.h"
#include "natnet_ext/NatNetExt.h"

#include "NatNetTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace NatNet::Net {

// Incremented on the receive thread, read anywhere; relaxed is enough for counts.
struct AtomicCounters
{
    std::atomic<uint64_t> datagramsReceived{0};
    std::atomic<uint64_t> framesDecoded{0};
    std::atomic<uint64_t> droppedForeignSender{0};
    std::atomic<uint64_t> droppedMalformed{0};
    std::atomic<uint64_t> droppedBadFrame{0};
    std::atomic<uint64_t> droppedStaleReply{0};
    std::atomic<uint64_t> droppedLateAnswer{0};
    std::atomic<uint64_t> droppedUnsolicited{0};
    std::atomic<uint64_t> droppedOldFrame{0};
    std::atomic<uint64_t> framesMissing{0};
    std::atomic<uint64_t> frameNumberRestarts{0};
    std::atomic<uint64_t> droppedUnexpected{0};
    std::atomic<uint64_t> unknownMessages{0};
    std::atomic<uint64_t> requestsSent{0};
    std::atomic<uint64_t> requestTimeouts{0};
    std::atomic<uint64_t> keepAlivesSent{0};
    std::atomic<uint64_t> echoRequestsSent{0};
    std::atomic<uint64_t> echoResponsesReceived{0};
    std::atomic<uint64_t> reconnectsSent{0};
    std::atomic<uint16_t> lastBadFrameStatus{0};

    NatNetExt::ClientCounters snapshot() const;
};

inline void bump(std::atomic<uint64_t>& counter)
{
    counter.fetch_add(1, std::memory_order_relaxed);
}

class ClientShared
{
public:
    // Room for the largest datagram plus zeros after it, so that a caller who
    // reads a 4-byte answer from a shorter response reads zeros, not past the end.
    static constexpr size_t kResponseCapacity = 65536;
    static constexpr size_t kResponseSlack = 16;

    ClientShared();
    ~ClientShared();
    ClientShared(const ClientShared&) = delete;
    ClientShared& operator=(const ClientShared&) = delete;

    // A callback the application set (null: none), with the context it gets back.
    template <typename Function>
    struct Callback
    {
        Function function = nullptr;
        void* context = nullptr;
    };

    void setFrameCallback(NatNetFrameReceivedCallback callback, void* context);
    Callback<NatNetFrameReceivedCallback> frameCallback() const;
    void setUnknownMessageCallback(NatNetUnknownMessageCallback callback, void* context);
    Callback<NatNetUnknownMessageCallback> unknownMessageCallback() const;

    void setServerDescription(const sServerDescription& description);
    void clearServerDescription();
    sServerDescription serverDescription() const;

    void setDecodeVersion(Wire::Version version);
    Wire::Version decodeVersion() const;

    ClockSync clock;
    AtomicCounters counters;
    RigidBodyHistory rigidBodies;

    // Receive thread only (one session at a time uses them).
    sFrameOfMocapData& frame() { return *m_frame; }
    Wire::FrameStorage& frameStorage() { return m_storage; }
    sPacket& packet();

    // The buffers of one request and its answer. Holding the lock serialises the
    // requests of this client; the response buffer keeps the last answer until
    // the next request.
    struct RequestBuffers
    {
        RequestBuffers();

        std::unique_ptr<uint8_t[]> response;  // kResponseCapacity + kResponseSlack
        size_t responseSize = 0;
        std::vector<uint8_t> scratchReply;  // model definitions and connect replies
    };
    Guarded<RequestBuffers> requests;

private:
    struct Callbacks
    {
        Callback<NatNetFrameReceivedCallback> frame;
        Callback<NatNetUnknownMessageCallback> unknown;
    };
    Guarded<Callbacks> m_callbacks;
    Guarded<sServerDescription> m_description;

    std::atomic<uint32_t> m_decodeVersion{0};

    std::unique_ptr<sFrameOfMocapData> m_frame;
    Wire::FrameStorage m_storage;
    std::unique_ptr<sPacket> m_packet;
};

}  // namespace NatNet::Net
