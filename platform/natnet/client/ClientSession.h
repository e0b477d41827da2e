// One connection of a NatNetClient to a server: its sockets, its two threads
// and the request/response exchange.
//
// "natnet-recv" sleeps in the kernel on the socket that frames arrive on (the
// command socket in unicast, which also brings the answers; the data socket in
// multicast) and takes every waiting datagram in one call: the frame path
// costs one system call per frame, not a readiness wait plus reads. It puts
// frames in order and calls the frame callback: every frame callback comes
// from this one thread.
// "natnet-io" runs an io_context with the timers (echo requests, unicast
// keep-alives and re-registration) and, in multicast, the command socket's
// answers. Answers are settled with the request ledger on whichever thread
// reads them.
//
// Lifetime: shared between the owning client and the receive thread, so that
// a client destroyed from inside its own frame callback leaves the thread
// to finish safely on its own.
#pragma once

#include "ClientShared.h"
#include "FrameOrder.h"
#include "RequestLedger.h"
#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/NamedThread.h"
#include "natnet/transport/UdpSocket.h"

#include "natnet/codec/Messages.h"
#include "natnet_ext/NatNetExt.h"

#include "NatNetTypes.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace NatNet::Net {

struct SessionConfig
{
    bool multicast = true;
    Ipv4Endpoint server;                     // server address and command port
    uint32_t localAddress = 0;               // 0: any interface
    uint16_t dataPort = 0;                   // multicast data port; 0: from the server information
    std::optional<uint32_t> multicastGroup;  // from the connect parameters; else the server's
    bool subscribedDataOnly = false;
    uint8_t bitstreamVersion[4] = {};  // requested; zeros: the server's own
    NatNetExt::ClientTimeouts timeouts;
};

class ClientSession : public std::enable_shared_from_this<ClientSession>
{
public:
    ClientSession(std::shared_ptr<ClientShared> shared, const SessionConfig& config);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Opens the command socket, starts the receive thread, registers with the
    // server (NAT_CONNECT until NAT_SERVERINFO) and, in multicast, joins the
    // group. Called once, on the connecting thread.
    ErrorCode connect();

    // One request datagram, what answers it, and how often and how long to ask.
    struct Request
    {
        const uint8_t* datagram = nullptr;
        size_t size = 0;
        AnswerKind answer = AnswerKind::Response;
        int tries = 1;
        int timeoutMs = 1;
    };
    // Where the answer's payload goes; size and messageId are outputs.
    struct Reply
    {
        uint8_t* buffer = nullptr;
        size_t capacity = 0;
        size_t size = 0;
        uint16_t messageId = 0;
    };
    // Sends the request up to `tries` times, waiting timeoutMs each time for its
    // answer (see RequestLedger: an answer owed to an earlier request is never
    // taken). Returns ErrorCode_Network without an answer. Requests are
    // serialised by the caller.
    ErrorCode exchange(const Request& request, Reply& reply);

    // Sends "Disconnect" (unicast only) without waiting for an answer.
    void sendDisconnectRequest();

    // Stops the receive thread: no callback starts after this returns. From the
    // receive thread itself it only asks the loop to end (the thread cannot join
    // itself); from any other thread it also joins.
    void stop();
    bool isStopping() const { return m_stopping.load(std::memory_order_acquire); }
    bool isMulticast() const { return m_config.multicast; }

    // The session whose receive thread is calling, or nullptr.
    static ClientSession* current();
    const ClientShared* shared() const { return m_shared.get(); }

private:
    ErrorCode openCommandSocket();
    ErrorCode openDataSocket();
    void startIoThread();
    void startReceiveThread(UdpSocket& socket);
    void runIo();
    void runReceive(UdpSocket& socket);
    // Multicast only: the command socket's answers, read on natnet-io.
    void receiveAnswers();
    void onDatagram(const uint8_t* data, size_t size, Ipv4Endpoint from);
    void onFrame(const uint8_t* payload, size_t size);
    void onServerInfo(const uint8_t* payload, size_t size, Ipv4Endpoint from);
    void onAnswer(AnswerKind kind, uint16_t id, const uint8_t* payload, size_t size);
    void onEchoResponse(const uint8_t* payload, size_t size);
    void onUnknownMessage(uint16_t id, const uint8_t* payload, size_t size);
    void reportBadFrame(Wire::Status status);
    void reportRestart(int32_t from, int32_t to);
    uint16_t advertisedDataPort() const;
    void startTimers();
    // Calls `tick` on natnet-io at `when`, unless the timer is cancelled before.
    void schedule(boost::asio::steady_timer& timer, std::chrono::steady_clock::time_point when,
                  void (ClientSession::*tick)());
    void onEchoTimer();
    void onKeepAliveTimer();
    void send(const uint8_t* datagram, size_t size);
    std::vector<uint8_t> encodeConnectDatagram() const;
    std::vector<uint8_t> encodeKeepAliveDatagram() const;

    std::shared_ptr<ClientShared> m_shared;
    SessionConfig m_config;

    boost::asio::io_context m_io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    UdpSocket m_commandSocket;
    UdpSocket m_dataSocket;               // multicast only
    std::vector<uint8_t> m_answerBuffer;  // multicast only: receiveAnswers()
    boost::asio::steady_timer m_echoTimer;
    boost::asio::steady_timer m_keepAliveTimer;
    std::vector<uint8_t> m_connectDatagram;
    std::vector<uint8_t> m_keepAliveDatagram;

    NamedThread m_ioThread;
    NamedThread m_receiveThread;  // sleeps on the socket frames arrive on; woken by its shutdown
    std::atomic<bool> m_stopping{false};

    RequestLedger m_ledger;

    std::atomic<uint64_t> m_lastFrameNs{0};     // written by natnet-recv, read by the keep-alive timer
    std::atomic<uint16_t> m_dataSourcePort{0};  // frames come from this port of the server only

    // natnet-recv only.
    int32_t m_lastFrameNumber = 0;
    FrameOrder m_frameOrder;
    uint64_t m_badFramesUnreported = 0;
    uint64_t m_lastBadFrameReportNs = 0;
};

}  // namespace NatNet::Net
