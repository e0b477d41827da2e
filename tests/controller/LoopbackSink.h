#pragma once

// Where the tests point NatNet discovery when no server is meant to answer: a UDP socket on
// 127.0.0.1 that nobody reads, so that discovery never sends anywhere but this machine.

#include <natnet_ext/NatNetExt.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace Quorvane::Support {

/// Binds the process's sink once (it lives until exit) and points discovery at it.
inline bool keepDiscoveryOnLoopback()
{
    static const int port = [] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 0;
        }
        return static_cast<int>(ntohs(address.sin_port));
    }();
    const std::string target = "127.0.0.1:" + std::to_string(port);
    return port != 0 && NatNetExt::SetDiscoveryTargets(target.c_str()) == ErrorCode_OK;
}

/// Discovery aimed at one loopback server, fast, while it lives; then back to the sink.
class ScopedDiscoveryTargets
{
public:
    explicit ScopedDiscoveryTargets(unsigned short port)
        : m_ok(NatNetExt::SetDiscoveryTargets(("127.0.0.1:" + std::to_string(port)).c_str()) == ErrorCode_OK)
    {
        NatNetExt::SetDiscoveryIntervalMs(20);
    }
    ~ScopedDiscoveryTargets()
    {
        NatNetExt::SetDiscoveryIntervalMs(NatNetExt::kDefaultDiscoveryIntervalMs);
        keepDiscoveryOnLoopback();
    }
    ScopedDiscoveryTargets(const ScopedDiscoveryTargets&) = delete;
    ScopedDiscoveryTargets& operator=(const ScopedDiscoveryTargets&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace Quorvane::Support
