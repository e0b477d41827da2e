#pragma once

// A UDP socket bound to 127.0.0.1 on an ephemeral port that nobody reads from: where tests
// point the NatNet library's discovery announcements when no server is meant to answer, so
// that discovery never sends anywhere but this machine.

#include <natnet_ext/NatNetExt.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace Quorvane::Support {

class LoopbackSink
{
public:
    LoopbackSink()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            socklen_t length = sizeof(address);
            if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
                m_port = ntohs(address.sin_port);
            }
        }
    }
    ~LoopbackSink()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string target() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

/// The process's sink: where discovery goes whenever a test has not pointed it elsewhere.
inline const LoopbackSink& processSink()
{
    static const LoopbackSink sink;
    return sink;
}

/// Points the library's discovery at the process's sink. Call before any test runs: without a
/// list the library would announce on every interface of the machine.
inline bool keepDiscoveryOnLoopback()
{
    return processSink().port() != 0 && NatNetExt::SetDiscoveryTargets(processSink().target().c_str()) == ErrorCode_OK;
}

/// Points the library's discovery at `target` (loopback only) for as long as it lives, then
/// back at the process's sink.
class ScopedDiscoveryTargets
{
public:
    explicit ScopedDiscoveryTargets(const std::string& target)
        : m_ok(NatNetExt::SetDiscoveryTargets(target.c_str()) == ErrorCode_OK)
    {
    }
    ~ScopedDiscoveryTargets() { keepDiscoveryOnLoopback(); }
    ScopedDiscoveryTargets(const ScopedDiscoveryTargets&) = delete;
    ScopedDiscoveryTargets& operator=(const ScopedDiscoveryTargets&) = delete;

    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace Quorvane::Support
