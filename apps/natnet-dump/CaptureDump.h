// The capture half of natnet-dump: every NatNet datagram of a capture file as
// one JSON line, then a summary of what was read, skipped and dropped.
#pragma once

#include "DatagramDescriber.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>

namespace NatNet::Dump {

struct CaptureDumpOptions
{
    std::set<uint16_t> ports;  // NatNet ports, source or destination
    size_t count = 0;          // stop after this many datagrams (0: all)
};

// Datagram lines go to `out`; the summary and errors to `err`. Returns an ExitCode.
int dumpCapture(const std::string& path, const CaptureDumpOptions& options, DatagramDescriber& describer,
                std::ostream& out, std::ostream& err);

}  // namespace NatNet::Dump
