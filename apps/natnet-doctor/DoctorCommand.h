// natnet-doctor's command line: parses it, examines the server (or the
// discovered ones) and prints; main() only forwards to it, tests call it too.
#pragma once

#include <ostream>

namespace NatNet::Doctor {

enum ExitCode : int {
    kExitOk = 0,     // verdict ok (with --discover: for every server found)
    kExitNotOk = 1,  // any other verdict, or no server found
    kExitUsage = 2,  // options that do not fit together or a value they cannot use
};

int runDoctorCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace NatNet::Doctor
