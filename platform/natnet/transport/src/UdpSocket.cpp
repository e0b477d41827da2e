#include "natnet/transport/UdpSocket.h"

#include <boost/asio/ip/multicast.hpp>

#include <array>

#if defined(__unix__) || defined(__APPLE__)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#define NATNET_HAVE_PKTINFO 1
#endif

namespace NatNet::Net {

namespace {

std::error_code toStd(const boost::system::error_code& ec)
{
    return std::error_code(ec.value(), std::system_category());
}

boost::asio::ip::udp::endpoint toAsio(Ipv4Endpoint endpoint)
{
    return {boost::asio::ip::address_v4(endpoint.address), endpoint.port};
}

}  // namespace

UdpSocket::UdpSocket(boost::asio::io_context& io) : m_socket(io) {}

UdpSocket::~UdpSocket()
{
    close();
}

std::error_code UdpSocket::open(Ipv4Endpoint bindTo, const UdpSocketOptions& options)
{
    close();
    m_receiveTimeoutMs = 0;
    boost::system::error_code ec;
    m_socket.open(boost::asio::ip::udp::v4(), ec);
    if (ec) {
        return toStd(ec);
    }
    if (options.reuseAddress) {
        m_socket.set_option(boost::asio::socket_base::reuse_address(true), ec);
    }
    if (!ec && options.broadcast) {
        m_socket.set_option(boost::asio::socket_base::broadcast(true), ec);
    }
    if (!ec && options.receiveBufferBytes > 0) {
        m_socket.set_option(boost::asio::socket_base::receive_buffer_size(options.receiveBufferBytes), ec);
#if defined(SO_RCVBUFFORCE)
        // Above the system limit only a privileged process gets its size; others keep what they got.
        boost::asio::socket_base::receive_buffer_size granted;
        boost::system::error_code readEc;
        m_socket.get_option(granted, readEc);
        if (!ec && !readEc && granted.value() < options.receiveBufferBytes) {
            const int wanted = options.receiveBufferBytes;
            (void)::setsockopt(m_socket.native_handle(), SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof(wanted));
        }
#endif
    }
    if (!ec && options.sendBufferBytes > 0) {
        m_socket.set_option(boost::asio::socket_base::send_buffer_size(options.sendBufferBytes), ec);
    }
    if (!ec) {
        m_socket.bind(toAsio(bindTo), ec);
    }
    if (ec) {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }
    return toStd(ec);
}

void UdpSocket::close()
{
    if (m_socket.is_open()) {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }
    m_localAddressReport = false;
}

Ipv4Endpoint UdpSocket::localEndpoint() const
{
    boost::system::error_code ec;
    const auto endpoint = m_socket.local_endpoint(ec);
    if (ec || !endpoint.address().is_v4()) {
        return {};
    }
    return {endpoint.address().to_v4().to_uint(), endpoint.port()};
}

std::error_code UdpSocket::joinMulticast(uint32_t group, uint32_t interfaceAddress)
{
    boost::system::error_code ec;
    m_socket.set_option(boost::asio::ip::multicast::join_group(boost::asio::ip::address_v4(group),
                                                               boost::asio::ip::address_v4(interfaceAddress)),
                        ec);
    return toStd(ec);
}

std::error_code UdpSocket::setMulticastSending(uint32_t interfaceAddress, int ttl, bool loopback)
{
    boost::system::error_code ec;
    m_socket.set_option(
        boost::asio::ip::multicast::outbound_interface(boost::asio::ip::address_v4(interfaceAddress)), ec);
    if (!ec) {
        m_socket.set_option(boost::asio::ip::multicast::hops(ttl), ec);
    }
    if (!ec) {
        m_socket.set_option(boost::asio::ip::multicast::enable_loopback(loopback), ec);
    }
    return toStd(ec);
}

std::error_code UdpSocket::enableLocalAddressReport()
{
#if defined(NATNET_HAVE_PKTINFO) && defined(IP_PKTINFO)
    const int on = 1;
    if (::setsockopt(m_socket.native_handle(), IPPROTO_IP, IP_PKTINFO, &on, sizeof(on)) != 0) {
        return std::error_code(errno, std::system_category());
    }
    m_localAddressReport = true;
    return {};
#else
    return std::make_error_code(std::errc::operation_not_supported);
#endif
}

std::error_code UdpSocket::sendTo(const void* data, size_t size, Ipv4Endpoint to)
{
    boost::system::error_code ec;
    m_socket.send_to(boost::asio::buffer(data, size), toAsio(to), 0, ec);
    return toStd(ec);
}

std::error_code UdpSocket::receiveNow(void* buffer, size_t capacity, size_t& size, Ipv4Endpoint& sender,
                                      uint32_t& localAddress)
{
    size = 0;
    localAddress = 0;
#if defined(NATNET_HAVE_PKTINFO) && defined(IP_PKTINFO)
    if (m_localAddressReport) {
        sockaddr_in from{};
        iovec io{buffer, capacity};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof(from);
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        const ssize_t got = ::recvmsg(m_socket.native_handle(), &message, MSG_DONTWAIT);
        if (got < 0) {
            return std::error_code(errno, std::system_category());
        }
        size = static_cast<size_t>(got);
        sender = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(header), sizeof(info));
                // ipi_spec_dst is the interface's own address even when the datagram was
                // addressed to a broadcast or group address.
                localAddress = ntohl(info.ipi_spec_dst.s_addr);
            }
        }
        if (localAddress == 0) {
            localAddress = localAddressFacing(sender.address);
        }
        return {};
    }
#endif
    boost::system::error_code ec;
    const bool wasNonBlocking = m_socket.non_blocking();
    m_socket.non_blocking(true, ec);
    boost::asio::ip::udp::endpoint from;
    if (!ec) {
        size = m_socket.receive_from(boost::asio::buffer(buffer, capacity), from, 0, ec);
    }
    boost::system::error_code ignored;
    m_socket.non_blocking(wasNonBlocking, ignored);
    if (ec) {
        return toStd(ec);
    }
    sender = {from.address().to_v4().to_uint(), from.port()};
    localAddress = localAddressFacing(sender.address);
    return {};
}

std::error_code UdpSocket::receiveWaiting(DatagramBatch& batch, int timeoutMs)
{
    batch.m_count = 0;
#if defined(__linux__)
    const int fd = m_socket.native_handle();
    // The timeout bounds the wait should a wake-up be missed; set once, it costs nothing per datagram.
    if (timeoutMs != m_receiveTimeoutMs) {
        timeval timeout{timeoutMs / 1000, static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0) {
            return std::error_code(errno, std::system_category());
        }
        m_receiveTimeoutMs = timeoutMs;
    }
    std::array<mmsghdr, DatagramBatch::kCapacity> headers{};
    std::array<iovec, DatagramBatch::kCapacity> vectors{};
    std::array<sockaddr_in, DatagramBatch::kCapacity> from{};
    for (size_t i = 0; i < DatagramBatch::kCapacity; ++i) {
        vectors[i] = {batch.slot(i), DatagramBatch::kDatagramBytes};
        headers[i].msg_hdr.msg_iov = &vectors[i];
        headers[i].msg_hdr.msg_iovlen = 1;
        headers[i].msg_hdr.msg_name = &from[i];
        headers[i].msg_hdr.msg_namelen = sizeof(from[i]);
    }
    // MSG_WAITFORONE: block for the first datagram only, then take what waits.
    const int got = ::recvmmsg(fd, headers.data(), DatagramBatch::kCapacity, MSG_WAITFORONE, nullptr);
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return {};
        }
        return std::error_code(errno, std::system_category());
    }
    for (int i = 0; i < got; ++i) {
        const auto n = static_cast<size_t>(i);
        batch.m_sizes[n] = headers[n].msg_len;
        batch.m_senders[n] = {ntohl(from[n].sin_addr.s_addr), ntohs(from[n].sin_port)};
    }
    // After shutdownReceive() the kernel reports an empty read: no datagram, not an error.
    const bool woken = got == 0 || (got == 1 && headers[0].msg_len == 0 && from[0].sin_port == 0);
    batch.m_count = woken ? 0 : static_cast<size_t>(got);
    return {};
#else
    // One datagram per call, waiting in Asio's synchronous receive.
    (void)timeoutMs;
    boost::system::error_code ec;
    boost::asio::ip::udp::endpoint sender;
    const size_t size = m_socket.receive_from(
        boost::asio::buffer(batch.slot(0), DatagramBatch::kDatagramBytes), sender, 0, ec);
    if (ec) {
        return toStd(ec);
    }
    batch.m_sizes[0] = size;
    batch.m_senders[0] = {sender.address().to_v4().to_uint(), sender.port()};
    batch.m_count = 1;
    return {};
#endif
}

void UdpSocket::shutdownReceive()
{
    boost::system::error_code ignored;
    // On an unconnected UDP socket this reports "not connected" and still wakes the reader.
    m_socket.shutdown(boost::asio::socket_base::shutdown_receive, ignored);
}

void UdpSocket::cancel()
{
    boost::system::error_code ignored;
    m_socket.cancel(ignored);
}

Ipv4Endpoint UdpSocket::senderEndpoint() const
{
    if (!m_sender.address().is_v4()) {
        return {};
    }
    return {m_sender.address().to_v4().to_uint(), m_sender.port()};
}

uint32_t localAddressFacing(uint32_t destination)
{
#if defined(NATNET_HAVE_PKTINFO)
    // connect() on UDP sends nothing; it only asks the routing table.
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (probe < 0) {
        return 0;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(destination);
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    uint32_t address = 0;
    sockaddr* toAddress = reinterpret_cast<sockaddr*>(&to);
    sockaddr* localAddress = reinterpret_cast<sockaddr*>(&local);
    if (::connect(probe, toAddress, sizeof(to)) == 0 && ::getsockname(probe, localAddress, &length) == 0) {
        address = ntohl(local.sin_addr.s_addr);
    }
    ::close(probe);
    return address;
#else
    boost::asio::io_context io;
    boost::asio::ip::udp::socket probe(io);
    boost::system::error_code ec;
    probe.open(boost::asio::ip::udp::v4(), ec);
    if (!ec) {
        probe.connect(toAsio({destination, 9}), ec);
    }
    if (ec) {
        return 0;
    }
    const auto local = probe.local_endpoint(ec);
    return ec ? 0 : local.address().to_v4().to_uint();
#endif
}

}  // namespace NatNet::Net
