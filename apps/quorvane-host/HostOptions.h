#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// What the command line of quorvane-host asks for.
struct HostOptions
{
    /// Plugin folders (every "*.so" in them is loaded) or single plugin files, in order.
    std::vector<std::string> pluginPaths;
    bool list = false;
    /// Registered name of the algorithm to run, e.g. "OptiTrack.OptiTrackStream"; empty: none.
    std::string run;
    /// The "key=value" texts of every --set, in order.
    std::vector<std::string> settings;
    bool json = false;
    /// Run time in seconds; 0 runs until Ctrl-C (or --frames).
    double durationS = 0.0;
    /// Frames to show before ending; 0: no limit.
    std::uint64_t frames = 0;
    int logLevel = 2;
    /// OpenIGTLink server port; 0: no server.
    int igtlPort = 0;
    std::string igtlAddress = "127.0.0.1";
    /// Most TRANSFORMs per second per instrument and client; 0: every frame.
    double igtlRate = 0.0;
};

/// Parses the command line. Returns -1 when the program should go on with `options`, else the
/// exit code to end with: 0 after --help, 2 for bad usage (the message went to `err`).
/// `defaultPluginDir` is used when no --plugins is given.
int parseHostOptions(int argc, const char* const* argv, const std::string& defaultPluginDir,
                     HostOptions& options, std::ostream& out, std::ostream& err);

}  // namespace Host
}  // namespace Quorvane
