// Extensions of this NatNet library that the vendor's SDK does not have:
// per-client counters, timeouts for tests, and where discovery announcements go.
//
// What this library delivers beyond the SDK's promises (no extension call needed):
// frames in frame-number order, each at most once (duplicates and overtaken
// frames are dropped and counted; a large jump of the numbering is followed);
// frames only from the server's data port; answers never handed to a request
// they do not belong to; and for bitstreams before 2.6, whose rigid bodies
// carry no tracking-valid field, that bit set on every rigid body decoded.
//
// Programs and tests may include this header; code that must also build
// against the vendor's SDK (the module) must not.
//
// Typical test use:
//
//     NatNetClient client;
//     NatNetExt::ClientTimeouts fast;
//     fast.connectTries = 2;
//     fast.connectTryMs = 100;            // Connect to a silent server fails after ~0.2 s
//     NatNetExt::SetClientTimeouts(client, fast);
//     ... client.Connect(params) ...
//     NatNetExt::ClientCounters counters;
//     NatNetExt::GetClientCounters(client, &counters);
//     EXPECT_EQ(counters.droppedForeignSender, 3u);
//
//     NatNetExt::SetDiscoveryTargets("127.0.0.1:41510");  // or NATNET_DISCOVERY_TARGETS=...
#pragma once

#include "NatNetClient.h"
#include "NatNetTypes.h"

#include <cstdint>

namespace NatNetExt {

// How long the client waits, and how often it talks to the server unprompted.
struct ClientTimeouts
{
    // Connect sends NAT_CONNECT up to connectTries times and waits connectTryMs
    // for the server information each time: by default it gives up after 1 s.
    int connectTries = 4;
    int connectTryMs = 250;
    // GetDataDescriptionList: tries and milliseconds per try (descriptions can be large).
    int descriptionTries = 3;
    int descriptionTryMs = 500;
    // Unicast keep-alive period; the server drops clients that fall silent.
    int keepAliveMs = 1000;
    // Echo period for the clock synchronisation.
    int echoMs = 250;
    // Unicast: after this long without a frame, the client repeats NAT_CONNECT
    // with every keep-alive so that a restarted server (which forgot it) streams
    // to it again; a server that merely pauses just answers with its information.
    int reconnectAfterSilenceMs = 3000;
    // NatNet answers carry no request identifier, so answers are matched to the
    // request datagrams sent (retries included), in order: one owed to a request
    // that finished or timed out is dropped, never handed to the next request.
    // A request first waits up to this long for answers still owed to earlier
    // requests of its kind, so that its own tries are not spent on them.
    int lateAnswerMs = 1000;
};

// Applies to the next Connect of this client. Values below 1 are refused.
NATNET_API ErrorCode SetClientTimeouts(NatNetClient& client, const ClientTimeouts& timeouts);
NATNET_API ErrorCode GetClientTimeouts(const NatNetClient& client, ClientTimeouts* timeouts);

// What the client saw since it was constructed (all connections together).
struct ClientCounters
{
    uint64_t datagramsReceived = 0;     // every datagram read from the client's sockets
    uint64_t framesDecoded = 0;         // valid frames (handed to the frame callback if one is set)
    uint64_t droppedForeignSender = 0;  // not from the server the client connected to, or from the
                                        // wrong port (frames only from its data port, the rest only
                                        // from its command port)
    uint64_t droppedMalformed = 0;      // shorter than its header or its payload size
    uint64_t droppedBadFrame = 0;       // a frame that failed to decode (wrong layout, counts, sizes)
    uint64_t droppedOldFrame = 0;  // a frame not newer than the last delivered one (duplicate, reordered)
    uint64_t framesMissing = 0;    // frame numbers skipped between delivered frames that never arrived
    uint64_t frameNumberRestarts =
        0;  // large jumps of the frame number that were followed (server restart, loop)
    uint64_t droppedStaleReply = 0;   // an echo answer that no echo request of this connection matches
    uint64_t droppedLateAnswer = 0;   // owed to a request that already finished or timed out
    uint64_t droppedUnsolicited = 0;  // an answer or server information that nothing sent asked for
    uint64_t droppedUnexpected = 0;   // a message a client does not expect (no unknown-message callback)
    uint64_t unknownMessages = 0;     // handed to the unknown-message callback
    uint64_t requestsSent = 0;        // every try of every request, NAT_CONNECT included
    uint64_t requestTimeouts = 0;     // requests that got no answer in all their tries
    uint64_t keepAlivesSent = 0;
    uint64_t echoRequestsSent = 0;
    uint64_t echoResponsesReceived = 0;
    uint64_t reconnectsSent = 0;      // NAT_CONNECT repeated while no frames came
    uint16_t lastBadFrameStatus = 0;  // NatNet::Wire::Status of the last bad frame
};

NATNET_API ErrorCode GetClientCounters(const NatNetClient& client, ClientCounters* counters);

// The shortest echo round trip of the clock synchronisation, in milliseconds.
// ErrorCode_Other while no echo has been answered yet.
NATNET_API ErrorCode GetClockSyncRoundTripMs(const NatNetClient& client, double* milliseconds);

// The bitstream version the client decodes frames with (zeros before the
// server information arrived).
NATNET_API ErrorCode GetDecodeVersion(const NatNetClient& client, uint8_t version[4]);

// Where discovery announcements go: a comma-separated list of "a.b.c.d" or
// "a.b.c.d:port" (port 1510 when omitted). Without a list set here the
// environment variable NATNET_DISCOVERY_TARGETS is read (same syntax); without
// either, announcements go to port 1510 at the broadcast address of every IPv4
// interface that is up (for loopback: 127.255.255.255). Null or "" clears the
// list set here. A malformed list is ErrorCode_InvalidArgument and changes nothing.
NATNET_API ErrorCode SetDiscoveryTargets(const char* targets);

// Period of the asynchronous discovery's announcements (the first goes out at
// once); default kDefaultDiscoveryIntervalMs, the vendor library's cadence, so
// that a listener logging every reply is not flooded. Applies to handles
// created afterwards.
constexpr int kDefaultDiscoveryIntervalMs = 5000;
NATNET_API ErrorCode SetDiscoveryIntervalMs(int intervalMs);

}  // namespace NatNetExt
