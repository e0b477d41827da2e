#include "ViewerOptions.h"

#include <common/CommandLineChecks.h>
#include <common/Orientation.h>

#include <CLI/CLI.hpp>

namespace Quorvane::Viewer {

int parseViewerOptions(int argc, char** argv, ViewerOptions& options)
{
    CLI::App app{
        "Quorvane viewer: loads the tracking plugins, shows the OptiTrack panel and the live "
        "instruments, seen from above (x to the right, z up) with each one's x axis as a short "
        "orange line from its dot, and as a table whose orientation column gives " +
        AppsCommon::orientationConvention() + "."};
    app.add_option("--plugins", options.pluginDir,
                   "folder of the plugin modules to load (default: the build's)");
    app.add_option("--algorithm", options.algorithm, "stream IO algorithm to create")->capture_default_str();
    app.add_option("--server", options.server, "server address to put into the panel");
    app.add_option("--command-port", options.commandPort, "server command port to put into the panel")
        ->check(CommandLine::port());
    app.add_option("--data-port", options.dataPort, "server data port to put into the panel")
        ->check(CommandLine::port());
    bool unicast = false;
    bool multicast = false;
    auto* unicastFlag = app.add_flag("--unicast", unicast, "choose Unicast in the panel");
    app.add_flag("--multicast", multicast, "choose Multicast in the panel (starts server discovery)")
        ->excludes(unicastFlag);
    app.add_flag("--connect", options.connect,
                 "press Connect at start (in Multicast, after selecting the discovered --server, if it shows "
                 "up within 5 s)");
    app.add_option("--discovery-targets", options.discoveryTargets,
                   "where discovery announcements go: a.b.c.d[:port],... (default: NATNET_DISCOVERY_TARGETS, "
                   "else every interface)");
    app.add_option("--settings-dir", options.settingsDir,
                   "keep the panel's remembered settings in this folder (INI)");
    app.add_option("--screenshot", options.screenshot,
                   "save a PNG of the window, and FILE's name with .json, then quit");
    app.add_option("--after", options.screenshotAfter, "seconds before the screenshot")
        ->check(CommandLine::inRange(0.0, 3600.0))
        ->capture_default_str();
    app.add_option("--range-mm", options.rangeMm, "half the width of the area shown, in mm")
        ->check(CommandLine::inRange(1.0, 1e6))
        ->capture_default_str();
    app.footer("Exit codes: 0 success, 1 no stream to show or no screenshot written, 2 bad usage.");
    if (const int code = CommandLine::parse(app, argc, argv); code >= 0) {
        return code;
    }
    if (unicast) {
        options.connection = ViewerOptions::Connection::Unicast;
    } else if (multicast) {
        options.connection = ViewerOptions::Connection::Multicast;
    }
    return -1;
}

}  // namespace Quorvane::Viewer
