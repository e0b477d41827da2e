#pragma once

// The NatNet library reports its own warnings and errors (a socket it cannot open, a server that
// does not answer) through a log callback, and prints them to stderr while none is set. The hosts
// route them into the host log instead, in the category "NatNet", so they sit with the module's
// own lines and obey the same levels and sinks.

namespace AppsCommon {

/// Host log level of a NatNet verbosity: Error 4, Warning 3, Info 2, Debug 0; -1 for None and
/// for values the library does not define (not logged).
int hostLogLevel(int natNetVerbosity);

/// Installs the callback (NatNet_SetLogCallback) for the rest of the process. Call once, early.
void routeNatNetLogToHostLog();

}  // namespace AppsCommon
