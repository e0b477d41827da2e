#include "ServerSession.h"

#include "NatNetCAPI.h"

#include <algorithm>
#include <cstring>

namespace NatNet::Doctor {

std::string versionText(const uint8_t version[4])
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) +
           "." + std::to_string(version[3]);
}

std::string printableName(const char* text, size_t capacity)
{
    std::string name(text, strnlen(text, capacity));
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '?';
    }
    return name;
}

ServerSession::ServerSession()
{
    m_client.SetFrameReceivedCallback(&FrameSampler::onFrame, &m_sampler);
}

ServerSession::~ServerSession()
{
    m_client.Disconnect();
}

ErrorCode ServerSession::connect(const Connection& connection, std::chrono::milliseconds wait)
{
    NatNetExt::ClientTimeouts timeouts;
    timeouts.connectTries = 4;
    timeouts.connectTryMs = std::max(50, static_cast<int>(wait.count() / timeouts.connectTries));
    NatNetExt::SetClientTimeouts(m_client, timeouts);

    sNatNetClientConnectParams params;
    params.connectionType = connection.multicast ? ConnectionType_Multicast : ConnectionType_Unicast;
    params.serverAddress = connection.server.c_str();
    params.localAddress = connection.local.empty() ? nullptr : connection.local.c_str();
    params.serverCommandPort = connection.commandPort;
    params.serverDataPort = connection.dataPort;
    params.multicastAddress = connection.multicastAddress.c_str();
    const ErrorCode result = m_client.Connect(params);
    if (result == ErrorCode_OK) m_client.GetServerDescription(&m_description);
    return result;
}

NatNetExt::ClientCounters ServerSession::counters() const
{
    NatNetExt::ClientCounters counters;
    NatNetExt::GetClientCounters(m_client, &counters);
    return counters;
}

std::string ServerSession::decodeVersion() const
{
    uint8_t version[4] = {};
    NatNetExt::GetDecodeVersion(m_client, version);
    return versionText(version);
}

std::vector<std::pair<int32_t, std::string>> ServerSession::rigidBodyNames()
{
    std::vector<std::pair<int32_t, std::string>> names;
    sDataDescriptions* descriptions = nullptr;
    if (m_client.GetDataDescriptionList(&descriptions) != ErrorCode_OK || descriptions == nullptr) {
        return names;
    }
    const int count = std::clamp(descriptions->nDataDescriptions, 0, MAX_MODELS);
    for (int i = 0; i < count; ++i) {
        const sDataDescription& entry = descriptions->arrDataDescriptions[i];
        if (entry.type != Descriptor_RigidBody || entry.Data.RigidBodyDescription == nullptr) continue;
        const sRigidBodyDescription& body = *entry.Data.RigidBodyDescription;
        names.emplace_back(body.ID, printableName(body.szName, sizeof body.szName));
    }
    NatNet_FreeDescriptions(descriptions);
    return names;
}

std::optional<double> ServerSession::clockSyncRoundTripMs() const
{
    double ms = 0.0;
    if (NatNetExt::GetClockSyncRoundTripMs(m_client, &ms) != ErrorCode_OK) return std::nullopt;
    return ms;
}

std::optional<double> ServerSession::requestRoundTripMs(int tries)
{
    std::optional<double> best;
    for (int i = 0; i < tries; ++i) {
        void* response = nullptr;
        int size = 0;
        const auto start = std::chrono::steady_clock::now();
        if (m_client.SendMessageAndWait("FrameRate", 1, 500, &response, &size) != ErrorCode_OK) continue;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!best || ms < *best) best = ms;
    }
    return best;
}

}  // namespace NatNet::Doctor
