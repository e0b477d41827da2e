// A scripted stand-in for a NatNet server on raw loopback sockets, for the
// misbehaviour the simulator does not script: answers late by exact delays,
// every answer sent more than once, server information nobody asked for,
// frames from the command port or from a third port.
//
// It has a command socket and a data socket on 127.0.0.1 (ephemeral ports)
// and one thread ("stand-in") that answers NAT_CONNECT with server
// information advertising the data port, and NAT_REQUEST with the value set
// for its command, after the delay that the script gives the n-th answer.
// Everything else it receives is ignored. Frames are sent only when the test
// says so.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/transport/UdpSocket.h"

#include "NatNetTypes.h"

#include <boost/asio/io_context.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace NatNetTest {

class StandInServer
{
public:
    using Clock = std::chrono::steady_clock;
    // Delay of the n-th answer (0-based, counted over all answers to requests).
    using DelayScript = std::function<std::chrono::milliseconds(int)>;
    // Whether the n-th answer may go (asked on the stand-in's thread once its delay has passed).
    using ReleaseGate = std::function<bool(int)>;

    explicit StandInServer(std::array<uint8_t, 4> version = {4, 1, 0, 0})
        : m_command(m_io), m_data(m_io), m_other(m_io), m_version(version)
    {
        open(m_command);
        open(m_data);
        open(m_other);
        m_thread = std::thread([this] { run(); });
    }
    ~StandInServer()
    {
        m_stopping = true;
        m_thread.join();
    }
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    uint16_t commandPort() const { return m_command.localEndpoint().port; }
    uint16_t dataPort() const { return m_data.localEndpoint().port; }

    // ---- Script (before the client connects) ---------------------------------
    void answerFloat(const std::string& command, float value)
    {
        std::vector<uint8_t> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[command] = bytes;
    }
    void setDelays(DelayScript delays)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_delays = std::move(delays);
    }
    // Each answer also waits until the gate lets it go: an answer "after the timeout" that waits
    // for the client to give up, rather than for a delay a loaded client may outlast.
    void holdAnswersUntil(ReleaseGate gate)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gate = std::move(gate);
    }
    void setCopiesPerAnswer(int copies) { m_copies = copies; }

    // ---- Observation ---------------------------------------------------------
    int requestsReceived() const { return m_requests.load(); }
    bool clientKnown() const { return m_clientPort.load() != 0; }

    // ---- Sending -------------------------------------------------------------
    enum class From { DataPort, CommandPort, OtherPort };
    // Server information with this version, unasked, from the command port.
    void sendServerInfo(uint8_t major, uint8_t minor)
    {
        sendTo(m_command, [&](NatNet::Wire::ByteWriter& out) {
            NatNet::Wire::encodeServerInfo(out, serverInfo({major, minor, 0, 0}));
        });
    }
    // A frame with one tracked rigid body (ID 1) at x, in the server's version.
    void sendFrame(int32_t number, float x, From from = From::DataPort)
    {
        auto frame = std::make_unique<sFrameOfMocapData>();
        frame->iFrame = number;
        frame->nRigidBodies = 1;
        frame->RigidBodies[0].ID = 1;
        frame->RigidBodies[0].x = x;
        frame->RigidBodies[0].qw = 1.0f;
        frame->RigidBodies[0].params = 1;
        frame->fTimestamp = number / 120.0;
        NatNet::Net::UdpSocket& socket =
            from == From::DataPort ? m_data : (from == From::CommandPort ? m_command : m_other);
        const NatNet::Wire::Version version(m_version[0], m_version[1]);
        std::vector<uint8_t> bytes(65536);
        NatNet::Wire::ByteWriter out(bytes.data(), bytes.size());
        if (NatNet::Wire::encodeFrame(out, *frame, version) == NatNet::Wire::Status::Ok) {
            std::lock_guard<std::mutex> lock(m_socketMutex);
            (void)socket.sendTo(bytes.data(), out.size(), client());
        }
    }

private:
    struct Due
    {
        Clock::time_point at;
        int n = 0;
        std::vector<uint8_t> datagram;
    };

    void open(NatNet::Net::UdpSocket& socket) { (void)socket.open({0x7F000001u, 0}, {}); }

    NatNet::Net::Ipv4Endpoint client() const { return {0x7F000001u, m_clientPort.load()}; }

    NatNet::Wire::ServerInfo serverInfo(std::array<uint8_t, 4> version) const
    {
        NatNet::Wire::ServerInfo info;
        info.sender.setName("Stand-in");
        std::copy(version.begin(), version.end(), info.sender.natNetVersion);
        info.hasConnectionInfo = true;
        info.highResClockFrequency = 10'000'000;
        info.dataPort = dataPort();
        return info;
    }

    template <class Encode>
    void sendTo(NatNet::Net::UdpSocket& socket, Encode&& encode)
    {
        uint8_t bytes[512];
        NatNet::Wire::ByteWriter out(bytes, sizeof(bytes));
        encode(out);
        std::lock_guard<std::mutex> lock(m_socketMutex);
        (void)socket.sendTo(bytes, out.size(), client());
    }

    void run()
    {
        std::vector<uint8_t> buffer(65536);
        int answered = 0;
        while (!m_stopping) {
            size_t size = 0;
            NatNet::Net::Ipv4Endpoint from;
            uint32_t local = 0;
            std::unique_lock<std::mutex> socketLock(m_socketMutex);
            const bool received = !m_command.receiveNow(buffer.data(), buffer.size(), size, from, local);
            socketLock.unlock();
            if (received && size >= 4) {
                m_clientPort = from.port;
                const int id = buffer[0] | (buffer[1] << 8);
                if (id == static_cast<int>(NatNet::Wire::MessageId::Connect)) {
                    sendTo(m_command, [&](NatNet::Wire::ByteWriter& out) {
                        NatNet::Wire::encodeServerInfo(out, serverInfo(m_version));
                    });
                } else if (id == static_cast<int>(NatNet::Wire::MessageId::Request)) {
                    ++m_requests;
                    schedule(std::string(reinterpret_cast<const char*>(buffer.data()) + 4), answered++);
                }
                continue;
            }
            flushDue();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }

    void schedule(const std::string& command, int n)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_answers.find(command);
        if (it == m_answers.end()) {
            return;
        }
        std::vector<uint8_t> datagram(4 + it->second.size());
        NatNet::Wire::ByteWriter out(datagram.data(), datagram.size());
        NatNet::Wire::encodeMessage(out, static_cast<uint16_t>(NatNet::Wire::MessageId::Response),
                                    it->second.data(), it->second.size());
        // In order, like a server working through its queue: never before the previous answer.
        Clock::time_point at = Clock::now() + (m_delays ? m_delays(n) : std::chrono::milliseconds(0));
        if (!m_due.empty() && at < m_due.back().at) {
            at = m_due.back().at;
        }
        for (int copy = 0; copy < m_copies; ++copy) {
            m_due.push_back({at, n, datagram});
        }
    }

    void flushDue()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::lock_guard<std::mutex> socketLock(m_socketMutex);
        while (!m_due.empty() && m_due.front().at <= Clock::now() && (!m_gate || m_gate(m_due.front().n))) {
            (void)m_command.sendTo(m_due.front().datagram.data(), m_due.front().datagram.size(), client());
            m_due.pop_front();
        }
    }

    boost::asio::io_context m_io;
    NatNet::Net::UdpSocket m_command;
    NatNet::Net::UdpSocket m_data;
    NatNet::Net::UdpSocket m_other;
    const std::array<uint8_t, 4> m_version;
    std::atomic<int> m_copies{1};
    std::atomic<uint16_t> m_clientPort{0};
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_stopping{false};

    // The sockets' Asio state is not thread-safe: receiving flips the non-blocking flag.
    std::mutex m_socketMutex;
    std::mutex m_mutex;
    std::map<std::string, std::vector<uint8_t>> m_answers;
    DelayScript m_delays;
    ReleaseGate m_gate;
    std::deque<Due> m_due;

    std::thread m_thread;
};

}  // namespace NatNetTest
