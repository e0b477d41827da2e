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

    explicit StandInServer(std::array<uint8_t, 4> version = {4, 1, 0, 0})
        : command_(io_), data_(io_), other_(io_), version_(version)
    {
        open(command_);
        open(data_);
        open(other_);
        thread_ = std::thread([this] { run(); });
    }
    ~StandInServer()
    {
        stopping_ = true;
        thread_.join();
    }
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    uint16_t commandPort() const { return command_.localEndpoint().port; }
    uint16_t dataPort() const { return data_.localEndpoint().port; }

    // ---- Script (before the client connects) ---------------------------------
    void answerFloat(const std::string& command, float value)
    {
        std::vector<uint8_t> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[command] = bytes;
    }
    void setDelays(DelayScript delays)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delays_ = std::move(delays);
    }
    void setCopiesPerAnswer(int copies) { copies_ = copies; }

    // ---- Observation ---------------------------------------------------------
    int requestsReceived() const { return requests_.load(); }
    bool clientKnown() const { return clientPort_.load() != 0; }

    // ---- Sending -------------------------------------------------------------
    enum class From { DataPort, CommandPort, OtherPort };
    // Server information with this version, unasked, from the command port.
    void sendServerInfo(uint8_t major, uint8_t minor)
    {
        sendTo(command_, [&](NatNet::Wire::ByteWriter& out) {
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
            from == From::DataPort ? data_ : (from == From::CommandPort ? command_ : other_);
        const NatNet::Wire::Version version(version_[0], version_[1]);
        std::vector<uint8_t> bytes(65536);
        NatNet::Wire::ByteWriter out(bytes.data(), bytes.size());
        if (NatNet::Wire::encodeFrame(out, *frame, version) == NatNet::Wire::Status::Ok) {
            std::lock_guard<std::mutex> lock(socketMutex_);
            (void)socket.sendTo(bytes.data(), out.size(), client());
        }
    }

private:
    struct Due
    {
        Clock::time_point at;
        std::vector<uint8_t> datagram;
    };

    void open(NatNet::Net::UdpSocket& socket) { (void)socket.open({0x7F000001u, 0}, {}); }

    NatNet::Net::Ipv4Endpoint client() const { return {0x7F000001u, clientPort_.load()}; }

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
        std::lock_guard<std::mutex> lock(socketMutex_);
        (void)socket.sendTo(bytes, out.size(), client());
    }

    void run()
    {
        std::vector<uint8_t> buffer(65536);
        int answered = 0;
        while (!stopping_) {
            size_t size = 0;
            NatNet::Net::Ipv4Endpoint from;
            uint32_t local = 0;
            std::unique_lock<std::mutex> socketLock(socketMutex_);
            const bool received = !command_.receiveNow(buffer.data(), buffer.size(), size, from, local);
            socketLock.unlock();
            if (received && size >= 4) {
                clientPort_ = from.port;
                const int id = buffer[0] | (buffer[1] << 8);
                if (id == static_cast<int>(NatNet::Wire::MessageId::Connect)) {
                    sendTo(command_, [&](NatNet::Wire::ByteWriter& out) {
                        NatNet::Wire::encodeServerInfo(out, serverInfo(version_));
                    });
                } else if (id == static_cast<int>(NatNet::Wire::MessageId::Request)) {
                    ++requests_;
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
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = answers_.find(command);
        if (it == answers_.end()) {
            return;
        }
        std::vector<uint8_t> datagram(4 + it->second.size());
        NatNet::Wire::ByteWriter out(datagram.data(), datagram.size());
        NatNet::Wire::encodeMessage(out, static_cast<uint16_t>(NatNet::Wire::MessageId::Response),
                                    it->second.data(), it->second.size());
        // In order, like a server working through its queue: never before the previous answer.
        Clock::time_point at = Clock::now() + (delays_ ? delays_(n) : std::chrono::milliseconds(0));
        if (!due_.empty() && at < due_.back().at) {
            at = due_.back().at;
        }
        for (int copy = 0; copy < copies_; ++copy) {
            due_.push_back({at, datagram});
        }
    }

    void flushDue()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::lock_guard<std::mutex> socketLock(socketMutex_);
        while (!due_.empty() && due_.front().at <= Clock::now()) {
            (void)command_.sendTo(due_.front().datagram.data(), due_.front().datagram.size(), client());
            due_.pop_front();
        }
    }

    boost::asio::io_context io_;
    NatNet::Net::UdpSocket command_;
    NatNet::Net::UdpSocket data_;
    NatNet::Net::UdpSocket other_;
    const std::array<uint8_t, 4> version_;
    std::atomic<int> copies_{1};
    std::atomic<uint16_t> clientPort_{0};
    std::atomic<int> requests_{0};
    std::atomic<bool> stopping_{false};

    // The sockets' Asio state is not thread-safe: receiving flips the non-blocking flag.
    std::mutex socketMutex_;
    std::mutex mutex_;
    std::map<std::string, std::vector<uint8_t>> answers_;
    DelayScript delays_;
    std::deque<Due> due_;

    std::thread thread_;
};

}  // namespace NatNetTest
