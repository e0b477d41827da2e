#pragma once

#include "HostOptions.h"

#include <Quorvane/Core/Properties.h>

#include <ostream>

namespace Quorvane {

class ApplicationController;
class TrackingStream;

namespace Host {

/// One run of quorvane-host: load the plugins into an application controller through the
/// host's plugin loader, then list the algorithms and/or run one, then unload everything.
///
/// Running: the algorithm is created by its registered name, configured with the --set values
/// (plus "open" and "start" = true unless flag keys were given) and executed; its stream is
/// taken with takeOutput. While the stream runs, a listener on its update signal copies the
/// instruments into a FrameQueue on the stream's receive thread, and this thread prints them
/// (live table or JSON Lines). --duration, --frames, SIGINT and SIGTERM end the run: listener
/// disconnected, stream stopped, closed and destroyed, algorithm destroyed, plugins unloaded.
///
/// Exit codes: 0 success, 1 when the stream could not start (status 1 from execute) or the
/// algorithm handed out no stream, 2 for bad usage (a bad --set, an unknown algorithm name).
class HostSession
{
public:
    /// `interactive`: stdout is a terminal (the live table redraws in place).
    HostSession(const HostOptions& options, std::ostream& out, std::ostream& err, bool interactive);

    int run();

private:
    void listAlgorithms(const ApplicationController& controller);
    int runAlgorithm(ApplicationController& controller, const Properties& properties);
    /// Shows the stream's instruments until the run ends.
    void watch(TrackingStream* stream);

    const HostOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_interactive;
};

}  // namespace Host
}  // namespace Quorvane
