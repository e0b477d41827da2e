#include "HostOptions.h"

#include <common/CommandLineChecks.h>

#include <CLI/CLI.hpp>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
/// A longer --duration is a mistake (and beyond it the deadline's arithmetic is not exact).
constexpr double kMaxDurationS = 1e7;
}  // namespace
}  // namespace Internal

int parseHostOptions(int argc, const char* const* argv, const std::string& defaultPluginDir,
                     HostOptions& options, std::ostream& out, std::ostream& err)
{
    CLI::App app{
        "quorvane-host: loads Quorvane plugins without a screen, lists their algorithms, and runs a "
        "stream algorithm, showing its tracking instruments live.",
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
    if (options.pluginPaths.empty()) {
        options.pluginPaths.push_back(defaultPluginDir);
    }
    return -1;
}

}  // namespace Host
}  // namespace Quorvane
