#include "stream/OptiTrackStreamImpl.h"

#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackLog.h"

#include <cmath>
#include <cstring>

namespace Quorvane {

namespace Internal {
namespace {

/// The first four bytes of a query's answer. A query that succeeded but answered nothing, or
/// fewer than four bytes, counts as failed: there is no value to read.
bool readAnswer(ErrorCode result, const void* response, int responseBytes, void* value)
{
    if (result != ErrorCode_OK || response == nullptr || responseBytes < 4) return false;
    std::memcpy(value, response, 4);
    return true;
}

}  // namespace
}  // namespace Internal

using Internal::kStreamCategory;
using Internal::logMessage;

OptiTrackStream::Impl::Impl(OptiTrackStream* owner) : stream(owner) {}

OptiTrackStream::Impl::~Impl()
{
    // The client's receive thread reads this record; it must be gone before the fields are.
    client.Disconnect();
}

bool OptiTrackStream::Impl::connectToServer(const OptiTrackConnectionParams& params)
{
    client.Disconnect();

    sNatNetClientConnectParams connectParams{};
    connectParams.connectionType = params.connectionType != OptiTrackConnectionParams::kMulticast
                                       ? ConnectionType_Unicast
                                       : ConnectionType_Multicast;
    connectParams.serverCommandPort = params.commandPort;
    connectParams.serverDataPort = params.dataPort;
    connectParams.serverAddress = params.serverAddress.c_str();
    connectParams.localAddress = params.localAddress.c_str();
    connectParams.multicastAddress =
        params.multicastAddress.empty() ? nullptr : params.multicastAddress.c_str();

    const ErrorCode result = client.Connect(connectParams);
    if (result != ErrorCode_OK) {
        logMessage(Log::Error, kStreamCategory,
                   "Unable to connect to server.  Error code: ", static_cast<int>(result), ". Exiting");
        return false;
    }

    std::memset(static_cast<void*>(&serverDescription), 0, sizeof serverDescription);
    const ErrorCode described = client.GetServerDescription(&serverDescription);
    clockFrequency.store(serverDescription.HighResClockFrequency, std::memory_order_relaxed);
    if (described != ErrorCode_OK || !serverDescription.HostPresent) {
        logMessage(Log::Error, kStreamCategory, "Unable to connect to server. Host not present. Exiting.");
        return false;
    }

    logServerInfo();

    void* response = nullptr;
    int responseBytes = 0;
    float units = 0.0f;
    const ErrorCode unitsResult = client.SendMessageAndWait("UnitsToMillimeters", &response, &responseBytes);
    if (!Internal::readAnswer(unitsResult, response, responseBytes, &units)) {
        logMessage(Log::Error, kStreamCategory, "Error getting units to mm scale.\n");
        return false;
    }
    // Every position is multiplied by it: a scale that is not a finite positive number would
    // publish wrong or non-finite poses as tracked. Length units lie between micrometres and
    // kilometres (1e-3 to 1e6 mm); anything outside is an integer or text read as a float.
    constexpr float kSmallestScale = 1e-3f;
    constexpr float kLargestScale = 1e6f;
    if (!(std::isfinite(units) && units >= kSmallestScale && units <= kLargestScale)) {
        logMessage(Log::Error, kStreamCategory, "Implausible units to mm scale: ", units, "\n");
        return false;
    }
    unitsToMillimeters.store(units, std::memory_order_relaxed);
    logMessage(Log::Info, kStreamCategory, "Units to MM: ", units);

    logMessage(Log::Debug, kStreamCategory, "Client initialized and ready.\n");

    logDataDescriptions();
    return true;
}

void OptiTrackStream::Impl::logServerInfo()
{
    logMessage(Log::Info, kStreamCategory, "Server application info:");
    logMessage(Log::Info, kStreamCategory,
               "Application: ", Internal::boundedText(serverDescription.szHostApp), " (ver. ",
               Internal::VersionText{serverDescription.HostAppVersion, 4}, ")");
    logMessage(Log::Info, kStreamCategory,
               "NatNet Version: ", Internal::VersionText{serverDescription.NatNetVersion, 4});

    // One response pointer and byte count serve both queries.
    void* response = nullptr;
    int responseBytes = 0;

    float frameRate = 0.0f;
    const ErrorCode rateResult = client.SendMessageAndWait("FrameRate", &response, &responseBytes);
    if (Internal::readAnswer(rateResult, response, responseBytes, &frameRate)) {
        logMessage(Log::Info, kStreamCategory, "Mocap Framerate: ", frameRate);
    } else {
        logMessage(Log::Error, kStreamCategory, "Error getting frame rate.\n");
    }

    std::int32_t analogSamples = 0;
    const ErrorCode analogResult =
        client.SendMessageAndWait("AnalogSamplesPerMocapFrame", &response, &responseBytes);
    if (Internal::readAnswer(analogResult, response, responseBytes, &analogSamples)) {
        logMessage(Log::Info, kStreamCategory, "Analog Samples Per Mocap Frame: ", analogSamples);
    } else {
        logMessage(Log::Error, kStreamCategory, "Error getting Analog frame rate.");
    }
}

}  // namespace Quorvane
