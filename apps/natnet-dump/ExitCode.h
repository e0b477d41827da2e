// natnet-dump's exit status, as its --help lists it.
#pragma once

namespace NatNet::Dump {

enum ExitCode : int {
    kExitOk = 0,
    kExitCannotOpen = 1,     // the capture cannot be opened, or the port cannot be bound
    kExitUsage = 2,          // options that do not fit together, or a value they cannot use
    kExitBrokenCapture = 3,  // a record libpcap cannot read; what came before it was printed
};

// The lines of --help that explain the codes above.
inline constexpr const char* kExitCodeHelp =
    "Exit status:\n"
    "  0  done\n"
    "  1  the capture cannot be opened (or its link type is not supported), or --listen cannot bind\n"
    "  2  options that do not fit together or a value they cannot use (neither or both of a capture\n"
    "     and --listen, an unsupported --bitstream), or one the command line parser rejects\n"
    "  3  the capture has a broken record (libpcap's message on stderr); the datagrams before it\n"
    "     were printed\n";

}  // namespace NatNet::Dump
