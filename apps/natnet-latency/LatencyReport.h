#pragma once

// One rate's results, as a text block and as the JSON object that `--json` prints.

#include "Probe.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <ostream>
#include <string>

namespace NatNetLatency {

struct RateReport
{
    ProbeConfig config;
    std::size_t datagramBytes = 0;
    double loadAverage = -1.0;  // one-minute load when the rate started
    ProbeResult raw;
    ProbeResult full;
    bool hasReactorFloor = false;
    ProbeResult rawReactor;  // raw UDP received through epoll (--reactor-floor)

    /// Full path over raw UDP, for a percentile given in ns; 0 when raw is 0.
    static double ratio(std::uint64_t fullNs, std::uint64_t rawNs);
};

nlohmann::json toJson(const RateReport& report);
void printText(std::ostream& out, const RateReport& report);

}  // namespace NatNetLatency
