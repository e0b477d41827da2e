// Sends the command socket's answers as the script says: at once, or late (a
// delay drawn per answer, in the order the requests came), twice, or shifted by
// one (each request gets the answer owed to the one before it). Runs on the
// command thread, whose io_context it uses for the delays, so the thread keeps
// receiving while answers wait.
#pragma once

#include "ServerState.h"

#include "natnet/transport/Ipv4Text.h"
#include "natnet/transport/UdpSocket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace NatNet::Sim::Internal {

class AnswerScheduler
{
public:
    AnswerScheduler(boost::asio::io_context& io, Net::UdpSocket& socket, ServerState& state);

    // Command thread: the answer to a request (NAT_CONNECT, NAT_REQUEST, NAT_REQUEST_MODELDEF) from `to`.
    void submit(const uint8_t* bytes, size_t size, Net::Ipv4Endpoint to);
    // After the command thread ended: answers not sent yet are dropped.
    void reset();

private:
    struct Pending
    {
        std::vector<uint8_t> bytes;
        Net::Ipv4Endpoint to;
        std::chrono::steady_clock::time_point due;
        bool twice = false;
    };

    void send(const Pending& answer);
    void arm();
    void onTimer();

    Net::UdpSocket& m_socket;
    ServerState& m_state;
    boost::asio::steady_timer m_timer;
    std::deque<Pending> m_pending;  // due times never decrease: the order of the requests
    std::vector<std::pair<Net::Ipv4Endpoint, std::vector<uint8_t>>> m_owed;  // shifted answers, per client
};

}  // namespace NatNet::Sim::Internal
