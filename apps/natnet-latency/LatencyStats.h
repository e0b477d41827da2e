#pragma once

// One-way latencies of one run and their summary.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace NatNetLatency {

struct LatencySummary
{
    std::size_t count = 0;
    // Nearest-rank percentiles: the smallest sample that at least p percent of all samples do not
    // exceed. All zero without samples.
    std::uint64_t p50Ns = 0;
    std::uint64_t p99Ns = 0;
    std::uint64_t p999Ns = 0;
    std::uint64_t maxNs = 0;
    double meanNs = 0.0;
};

/// The sample at nearest rank `percent` (0 < percent <= 100) of `sorted` (ascending, not empty).
std::uint64_t nearestRank(const std::vector<std::uint64_t>& sorted, double percent);

/// Summary of `samples` (any order; the vector is sorted in place).
LatencySummary summarize(std::vector<std::uint64_t>& samples);

/// Nanoseconds as microseconds.
inline double microseconds(std::uint64_t ns)
{
    return static_cast<double>(ns) / 1000.0;
}

}  // namespace NatNetLatency
