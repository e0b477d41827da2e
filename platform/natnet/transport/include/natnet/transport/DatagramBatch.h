// Room for several datagrams read from a socket in one blocking call.
//
// The frame path's receive thread sleeps in the kernel until a datagram is
// there and then takes every datagram that waits (up to kCapacity) in the
// same call: one system call per frame at low rates, fewer under load, and
// no readiness wait plus a read that finds the socket empty.
#pragma once

#include "natnet/transport/Ipv4Text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace NatNet::Net {

class DatagramBatch
{
public:
    static constexpr size_t kCapacity = 16;
    static constexpr size_t kDatagramBytes = 65536;  // the largest UDP datagram

    DatagramBatch() : m_bytes(std::make_unique<uint8_t[]>(kCapacity * kDatagramBytes)) {}

    size_t count() const { return m_count; }
    const uint8_t* data(size_t i) const { return m_bytes.get() + i * kDatagramBytes; }
    size_t size(size_t i) const { return m_sizes[i]; }
    Ipv4Endpoint sender(size_t i) const { return m_senders[i]; }

private:
    friend class UdpSocket;
    uint8_t* slot(size_t i) { return m_bytes.get() + i * kDatagramBytes; }

    std::unique_ptr<uint8_t[]> m_bytes;
    std::array<size_t, kCapacity> m_sizes{};
    std::array<Ipv4Endpoint, kCapacity> m_senders{};
    size_t m_count = 0;
};

}  // namespace NatNet::Net
