#include "DoctorCommand.h"

#include "Discovery.h"
#include "Doctor.h"
#include "ReportPrinter.h"

#include "NatNetCAPI.h"

#include <common/CommandLineChecks.h>
#include <CLI/CLI.hpp>

namespace NatNet::Doctor {

namespace {

CheckListener printerFor(bool json, std::ostream& out)
{
    if (json) return [&out](const CheckResult& check) { printCheckJson(check, out); };
    return [&out](const CheckResult& check) { printCheckText(check, out); };
}

int examineDiscovered(const DoctorOptions& base, bool json, std::ostream& out)
{
    const auto servers = discoverServers(base.seconds);
    if (servers.empty()) {
        CheckResult none;
        none.check = "discovery";
        none.detail = "no server answered discovery";
        none.cause = Verdict::ServerSilent;
        none.fix =
            "start Motive with streaming on, on this machine's network (or set NATNET_DISCOVERY_TARGETS "
            "to the server's address); allow UDP port 1510 through the firewalls";
        json ? printCheckJson(none, out) : printCheckText(none, out);
        return kExitNotOk;
    }
    bool allOk = true;
    for (const auto& found : servers) {
        DoctorOptions options = base;
        options.server = found.server;
        options.local = found.local;
        options.commandPort = found.commandPort;
        if (!json) {
            out << "== " << found.server << ":" << found.commandPort << " (seen on " << found.local << ")\n";
        }
        const Report report = examine(options, printerFor(json, out));
        json ? printVerdictJson(report, true, out) : printVerdictText(report, out);
        allOk = allOk && report.verdict == Verdict::Ok;
    }
    return allOk ? kExitOk : kExitNotOk;
}

// The checks explain every failure themselves; the library's own warnings would only repeat them.
void NATNET_CALLCONV quietLog(Verbosity, const char*) {}

}  // namespace

int runDoctorCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    NatNet_SetLogCallback(&quietLog);
    CLI::App app{"Tell why no poses arrive from a NatNet server (Motive), and how to fix it"};
    app.footer(std::string(kVerdictHelp));
    DoctorOptions options;
    bool discover = false;
    bool json = false;
    std::string mode = "auto";
    auto* server = app.add_option("--server", options.server, "the server's IPv4 address");
    app.add_option("--local", options.local,
                   "this machine's address on the tracking network (default: the route's)");
    app.add_option("--mode", mode, "auto (the server's own way), unicast or multicast")
        ->check(CLI::IsMember({"auto", "unicast", "multicast"}))
        ->capture_default_str();
    app.add_option("--command-port", options.commandPort, "the server's command port")
        ->check(CommandLine::port(1))
        ->capture_default_str();
    app.add_option("--data-port", options.dataPort, "the server's data port")
        ->check(CommandLine::port(1))
        ->capture_default_str();
    app.add_option("--multicast-address", options.multicastAddress, "the multicast group")
        ->capture_default_str();
    app.add_option("--seconds", options.seconds, "how long to wait for answers and measure frames")
        ->check(CommandLine::inRange<double>(0.1, 600.0))
        ->capture_default_str();
    app.add_flag("--json", json, "one JSON object per line");
    auto* discoverFlag =
        app.add_flag("--discover", discover, "find servers by broadcast discovery, examine each");
    server->excludes(discoverFlag);

    if (const int exitCode = CommandLine::parse(app, argc, argv, out, err); exitCode >= 0) return exitCode;
    options.mode = mode == "unicast" ? Mode::Unicast : mode == "multicast" ? Mode::Multicast : Mode::Auto;
    if (!discover && options.server.empty()) {
        err << "natnet-doctor: give --server ADDRESS or --discover (see --help)\n";
        return CommandLine::kUsageError;
    }
    if (discover) return examineDiscovered(options, json, out);
    if (const std::string problem = validateOptions(options); !problem.empty()) {
        err << "natnet-doctor: " << problem << "\n";
        return CommandLine::kUsageError;
    }
    const Report report = examine(options, printerFor(json, out));
    json ? printVerdictJson(report, false, out) : printVerdictText(report, out);
    return report.verdict == Verdict::Ok ? kExitOk : kExitNotOk;
}

}  // namespace NatNet::Doctor
