#pragma once

#include "HostOptions.h"

#include <Quorvane/Core/Properties.h>

#include <ostream>

namespace Quorvane {

class ApplicationController;
class TrackingStream;

namespace Host {

class OutputWriter;

/// One run of quorvane-host: load the plugins into an application controller through the
/// host's plugin loader, then list the algorithms and/or run one, then unload everything.
///
/// Running: the algorithm is created by its registered name, configured with the --set values
/// (plus "open" and "start" = true unless flag keys were given) and executed; its stream is
/// taken with takeOutput. While the stream runs, a listener on its update signal (on the
/// stream's receive thread) queues a copy of the instruments for JSON Lines, or only counts the
/// frame for the live table, which this thread samples from the stream when it draws. Output
/// goes through an OutputWriter, so a stdout that nobody reads holds neither this thread nor the
/// end of the run; while it is full, frames wait in a queue of bounded size and then are
/// dropped (the summary counts them). --duration, --frames, SIGINT and SIGTERM end the run
/// (--duration within a second whatever stdout does): listener disconnected, stream stopped,
/// closed and destroyed, algorithm destroyed, plugins unloaded.
///
/// Exit codes: 0 success; 1 when a --plugins path loaded no plugin, the stream could not start
/// (status 1 from execute) or the algorithm handed out no stream; 2 for bad usage (a bad --set,
/// an unknown algorithm name).
class HostSession
{
public:
    /// Output goes to `outFd` (stdout); `interactive`: it is a terminal (the live table redraws
    /// in place).
    HostSession(const HostOptions& options, int outFd, std::ostream& err, bool interactive);

    int run();

private:
    void listAlgorithms(const ApplicationController& controller, OutputWriter& output);
    int runAlgorithm(ApplicationController& controller, const Properties& properties, OutputWriter& output);
    /// Shows the stream's instruments until the run ends; false when the OpenIGTLink server
    /// could not start.
    bool watch(TrackingStream* stream, OutputWriter& output);

    const HostOptions& m_options;
    const int m_outFd;
    std::ostream& m_err;
    const bool m_interactive;
};

}  // namespace Host
}  // namespace Quorvane
