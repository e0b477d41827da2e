#pragma once

namespace Quorvane {
namespace Host {

/// SIGINT and SIGTERM ask the program to end cleanly instead of killing it; SIGPIPE is ignored
/// so that a closed stdout shows up as a failed write, not as sudden death.
class TerminationSignals
{
public:
    /// Installs the handlers (once per process).
    static void install();
    /// Whether SIGINT or SIGTERM arrived since install().
    static bool requested();
};

}  // namespace Host
}  // namespace Quorvane
