#include "HostOptions.h"

#include <common/CommandLineChecks.h>
#include <common/Orientation.h>

#include <CLI/CLI.hpp>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
/// A longer --duration is a mistake (and beyond it the deadline's arithmetic is not exact).
constexpr double kMaxDurationS = 1e7;
/// Beyond this a cap is no cap.
constexpr double kMaxIgtlRateHz = 100000.0;
}  // namespace
}  // namespace Internal

int parseHostOptions(int argc, const char* const* argv, const std::string& defaultPluginDir,
                     HostOptions& options, std::ostream& out, std::ostream& err)
{
    CLI::App app{
        "quorvane-host: loads Quorvane plugins without a screen, lists their algorithms, and runs a "
        "stream algorithm, showing its tracking instruments live: by default as a table (redrawn "
        "in place on a terminal, appended once a second otherwise) of id, name, position in mm, "
        "quality, update rate, age of the last update in ms, and orientation as " +
            AppsCommon::orientationConvention() + " (\"-\" without valid tracking).",
        "quorvane-host"};
    app.add_option(
           "--plugins", options.pluginPaths,
           "plugin folder or file (repeatable); default: " + defaultPluginDir + " (or $QUORVANE_PLUGIN_DIR)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--list", options.list, "list the registered algorithms by display path");
    app.add_option("--run", options.run,
                   "run the algorithm registered under NAME, e.g. OptiTrack.OptiTrackStream")
        ->option_text("NAME");
    app.add_option(
           "--set", options.settings,
           "key=value for the algorithm (repeatable): localAddress, serverAddress, multicastAddress, "
           "commandPort, dataPort, connectionType (int, unicast, multicast), open, autoOpen, connect, "
           "start, autoStart (bool)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--json", options.json, "JSON Lines on stdout instead of the live table");
    app.add_option("--duration", options.durationS, "seconds to run (default: until Ctrl-C)")
        ->check(CommandLine::inRange(0.0, Internal::kMaxDurationS))
        ->option_text("S");
    app.add_option("--frames", options.frames, "end after N frames")
        ->check(CommandLine::count<std::uint64_t>())
        ->option_text("N");
    app.add_option("--log-level", options.logLevel, "global log level, 0 (everything) to 4 (errors only)")
        ->check(CommandLine::inRange(0, 4))
        ->capture_default_str();
    app.add_option("--igtl-port", options.igtlPort,
                   "serve the valid poses as OpenIGTLink TRANSFORM messages on this TCP port (0: off, the "
                   "default). One message per tracked instrument and frame: device name = the instrument's "
                   "name cut to its first 20 bytes (never inside a UTF-8 character; longer names that share "
                   "those bytes look alike to the client), 4x4 pose in millimetres, timestamp = the "
                   "instrument's. At most 64 clients at once; a client that does not keep up gets the newest "
                   "pose per instrument, the summary counts what it missed")
        ->check(CommandLine::port())
        ->option_text("N");
    app.add_option(
           "--igtl-address", options.igtlAddress,
           "address the OpenIGTLink server listens on; give 0.0.0.0 (or a host address) on purpose to "
           "open it to the network")
        ->capture_default_str()
        ->option_text("A");
    app.add_option("--igtl-rate", options.igtlRate,
                   "most OpenIGTLink messages per second per instrument and client, the newest pose winning "
                   "(0: every frame, the default)")
        ->check(CommandLine::inRange(0.0, Internal::kMaxIgtlRateHz))
        ->option_text("HZ");
    app.footer(
        "Exit codes: 0 success; 1 a --plugins path loaded no plugin, or the stream could not start; 2 bad "
        "usage.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quorvane-host: " << e.what() << "\n"
            << "Run with --help for more information.\n";
        return CommandLine::kUsageError;
    }

    if (!options.list && options.run.empty()) {
        err << "quorvane-host: nothing to do: give --list or --run NAME (see --help)\n";
        return CommandLine::kUsageError;
    }
#ifndef QUORVANE_HOST_OPENIGTLINK
    if (options.igtlPort != 0) {
        err << "quorvane-host: --igtl-port: this build has no OpenIGTLink (install libopenigtlink-dev and "
               "build again)\n";
        return CommandLine::kUsageError;
    }
#endif
    if (options.pluginPaths.empty()) {
        options.pluginPaths.push_back(defaultPluginDir);
    }
    return -1;
}

}  // namespace Host
}  // namespace Quorvane
