// quorvane-host: the headless Quorvane host. Loads plugins with the host's plugin loader, lists
// their algorithms and runs a stream algorithm, showing its instruments live on stdout.

#include "HostOptions.h"
#include "HostSession.h"
#include "TerminationSignals.h"

#include <common/NatNetLogBridge.h>

#include <Quorvane/Core/Log.h>

#include <unistd.h>
#include <cstdlib>
#include <exception>
#include <iostream>

#ifndef QUORVANE_HOST_DEFAULT_PLUGIN_DIR
#define QUORVANE_HOST_DEFAULT_PLUGIN_DIR "plugins"
#endif

int main(int argc, char** argv)
{
    try {
        const char* fromEnvironment = std::getenv("QUORVANE_PLUGIN_DIR");
        const std::string defaultPluginDir = fromEnvironment != nullptr && *fromEnvironment != '\0'
                                                 ? std::string(fromEnvironment)
                                                 : std::string(QUORVANE_HOST_DEFAULT_PLUGIN_DIR);

        Quorvane::Host::HostOptions options;
        const int parsed =
            Quorvane::Host::parseHostOptions(argc, argv, defaultPluginDir, options, std::cout, std::cerr);
        if (parsed >= 0) {
            return parsed;
        }
        // Logs go to stderr through the console sink, the NatNet library's among them; stdout
        // carries the table or JSON only.
        Quorvane::Log::g_globalLevel = options.logLevel;
        AppsCommon::routeNatNetLogToHostLog();
        Quorvane::Host::TerminationSignals::install();

        Quorvane::Host::HostSession session(options, STDOUT_FILENO, std::cerr, ::isatty(STDOUT_FILENO) == 1);
        return session.run();
    } catch (const std::exception& e) {
        std::cerr << "quorvane-host: " << e.what() << "\n";
        return 1;
    }
}
