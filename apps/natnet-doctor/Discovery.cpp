#include "Discovery.h"

#include "NatNetCAPI.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace NatNet::Doctor {

std::vector<FoundServer> discoverServers(double seconds)
{
    std::array<sNatNetDiscoveredServer, 32> answers{};
    int count = static_cast<int>(answers.size());
    const auto timeoutMs = static_cast<unsigned>(std::clamp(seconds, 0.1, 600.0) * 1000.0);
    std::vector<FoundServer> found;
    if (NatNet_BroadcastServerDiscovery(answers.data(), &count, timeoutMs) != ErrorCode_OK) return found;
    count = std::clamp(count, 0, static_cast<int>(answers.size()));
    for (int i = 0; i < count; ++i) {
        const auto& answer = answers[static_cast<size_t>(i)];
        FoundServer server;
        server.server.assign(answer.serverAddress,
                             strnlen(answer.serverAddress, sizeof answer.serverAddress));
        server.local.assign(answer.localAddress, strnlen(answer.localAddress, sizeof answer.localAddress));
        server.commandPort = answer.serverCommandPort;
        found.push_back(std::move(server));
    }
    return found;
}

}  // namespace NatNet::Doctor
