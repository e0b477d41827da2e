#pragma once

#include <string>

namespace Quorvane::Viewer {

/// The viewer's command line.
struct ViewerOptions
{
    enum class Connection { Stored, Unicast, Multicast };

    std::string pluginDir;  ///< empty: the build's plugin folder
    std::string algorithm = "OptiTrack.OptiTrackStream";
    std::string server;    ///< empty: the address the panel remembers
    int commandPort = -1;  ///< -1: the port the panel remembers
    int dataPort = -1;
    Connection connection = Connection::Stored;
    bool connect = false;          ///< press Connect once the window is up
    std::string discoveryTargets;  ///< where discovery announcements go (see NatNetExt)
    std::string settingsDir;       ///< keep the panel's settings in an INI file there
    std::string screenshot;        ///< save a PNG of the window (and a JSON beside it), then quit
    double screenshotAfter = 3.0;  ///< seconds after start-up
    double rangeMm = 600.0;        ///< half the width of the area the view shows
};

/// Parses the command line into `options`. Returns -1 to go on, else the exit code (0 after
/// --help, 2 for bad usage, with the message already printed).
int parseViewerOptions(int argc, char** argv, ViewerOptions& options);

}  // namespace Quorvane::Viewer
