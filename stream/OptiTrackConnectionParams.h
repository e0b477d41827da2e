#pragma once

#include "stream/OptiTrackExport.h"

#include <cstdint>
#include <string>

namespace Quorvane {

/// Where and how an `OptiTrackStream` connects to its NatNet server. Read by the stream only when
/// it starts; filled by the panel and by `OptiTrackStream::configure`.
struct OPTITRACK_EXPORT OptiTrackConnectionParams
{
    OptiTrackConnectionParams();
    OptiTrackConnectionParams(const OptiTrackConnectionParams& other);
    OptiTrackConnectionParams(OptiTrackConnectionParams&& other) noexcept;
    OptiTrackConnectionParams& operator=(const OptiTrackConnectionParams& other);
    OptiTrackConnectionParams& operator=(OptiTrackConnectionParams&& other) noexcept;
    ~OptiTrackConnectionParams();

    /// connectionType values; the numbers of the SDK's ConnectionType.
    static constexpr std::int32_t kMulticast = 0;
    static constexpr std::int32_t kUnicast = 1;

    /// kMulticast; any other value connects as unicast (kUnicast is what the panel writes).
    std::int32_t connectionType = kMulticast;
    /// The server's command port.
    std::uint16_t commandPort = 1510;
    /// The server's data port.
    std::uint16_t dataPort = 1511;
    /// Address of the tracking server, as text.
    std::string serverAddress = "127.0.0.1";
    /// Address of the local network interface to use, as text.
    std::string localAddress = "127.0.0.1";
    /// Multicast group address as text; empty means that none is given to the NatNet library.
    std::string multicastAddress;
};

}  // namespace Quorvane
