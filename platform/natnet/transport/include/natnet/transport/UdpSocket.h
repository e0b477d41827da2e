// A UDP/IPv4 socket on a Boost.Asio io_context with the options NatNet needs:
// binding, large buffers, broadcast, multicast membership and sending, and the
// local address a datagram arrived on.
//
// Thread use: one thread runs the io_context and owns the receives; sendTo may
// be called from any thread (it only reads the descriptor). Start the first
// asynchronous receive before the io thread starts so that Asio's internal
// non-blocking flag is set before anyone else sends.
#pragma once

#include "natnet/transport/DatagramBatch.h"
#include "natnet/transport/Ipv4Text.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstddef>
#include <cstdint>
#include <system_error>
#include <utility>

namespace NatNet::Net {

struct UdpSocketOptions
{
    bool reuseAddress = false;   // several sockets on one port (shared multicast data port)
    bool broadcast = false;      // may send to broadcast addresses
    int receiveBufferBytes = 0;  // 0: the system default
    int sendBufferBytes = 0;
};

class UdpSocket
{
public:
    explicit UdpSocket(boost::asio::io_context& io);
    ~UdpSocket();

    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Opens and binds; port 0 picks an ephemeral port (read it back with localEndpoint()).
    std::error_code open(Ipv4Endpoint bindTo, const UdpSocketOptions& options);
    void close();
    bool isOpen() const { return m_socket.is_open(); }
    Ipv4Endpoint localEndpoint() const;

    // Receiving a group: membership on the interface with this address (0: the kernel's choice).
    std::error_code joinMulticast(uint32_t group, uint32_t interfaceAddress);
    // Sending to groups: outgoing interface, TTL and whether same-host members hear it.
    std::error_code setMulticastSending(uint32_t interfaceAddress, int ttl, bool loopback);
    // Report the local address that each datagram was addressed to (see receiveNow).
    std::error_code enableLocalAddressReport();

    std::error_code sendTo(const void* data, size_t size, Ipv4Endpoint to);

    // Receives one datagram asynchronously; handler(std::error_code, size_t, Ipv4Endpoint sender)
    // runs on the io thread. One receive outstanding per socket.
    template <class Handler>
    void asyncReceive(void* buffer, size_t capacity, Handler&& handler)
    {
        m_socket.async_receive_from(boost::asio::buffer(buffer, capacity), m_sender,
                                    [this, h = std::forward<Handler>(handler)](
                                        const boost::system::error_code& ec, size_t size) mutable {
                                        h(std::error_code(ec.value(), std::system_category()), size,
                                          senderEndpoint());
                                    });
    }

    // Waits asynchronously until a datagram can be read; handler(std::error_code).
    template <class Handler>
    void asyncWaitReadable(Handler&& handler)
    {
        m_socket.async_wait(
            boost::asio::ip::udp::socket::wait_read,
            [h = std::forward<Handler>(handler)](const boost::system::error_code& ec) mutable {
                h(std::error_code(ec.value(), std::system_category()));
            });
    }

    // Reads one waiting datagram without blocking; localAddress gets the address the
    // datagram was sent to when enableLocalAddressReport() succeeded, else the interface
    // address that faces the sender. Returns std::errc::operation_would_block when none waits.
    std::error_code receiveNow(void* buffer, size_t capacity, size_t& size, Ipv4Endpoint& sender,
                               uint32_t& localAddress);

    // Blocks until a datagram arrives (or `timeoutMs` passes, or shutdownReceive()),
    // then takes every waiting datagram that fits into the batch in the same call.
    // For a socket that no asynchronous operation ever used (Asio would have made it
    // non-blocking). Returns with batch.count() == 0 on a timeout or after
    // shutdownReceive().
    std::error_code receiveWaiting(DatagramBatch& batch, int timeoutMs);
    // Wakes a receiveWaiting() blocked on another thread, for good.
    void shutdownReceive();

    // Cancels outstanding asynchronous operations (their handlers see operation_aborted).
    void cancel();

private:
    Ipv4Endpoint senderEndpoint() const;

    boost::asio::ip::udp::socket m_socket;
    boost::asio::ip::udp::endpoint m_sender;
    bool m_localAddressReport = false;
    int m_receiveTimeoutMs = 0;  // last SO_RCVTIMEO set by receiveWaiting
};

// The local interface address the system would use to reach this destination
// (0 when there is no route).
uint32_t localAddressFacing(uint32_t destination);

}  // namespace NatNet::Net
