#pragma once

// When the OptiTrack stream cannot start, the hosts point at natnet-doctor with the same
// connection settings, so that the user learns why (a firewall, the wrong interface, the wrong
// mode) instead of only that it failed.

#include <string>
#include <string_view>

namespace Quorvane {
class Properties;
}

namespace AppsCommon {

/// "<program>: no stream from SERVER; run: natnet-doctor --server SERVER --local ... --mode ...
/// --command-port ... --data-port ... [--multicast-address ...]", from the stream's settings
/// ("serverAddress", "localAddress", "connectionType", "commandPort", "dataPort",
/// "multicastAddress"); a missing key takes the module's default.
std::string doctorHint(const std::string& program, const Quorvane::Properties& connection);

/// True for the module's own log line that says its stream could not connect.
bool isStreamConnectFailure(std::string_view category, std::string_view text);

}  // namespace AppsCommon
