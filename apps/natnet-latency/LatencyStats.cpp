#include "LatencyStats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace NatNetLatency {

std::uint64_t nearestRank(const std::vector<std::uint64_t>& sorted, double percent)
{
    const double n = static_cast<double>(sorted.size());
    // The rank is computed in integers where possible: p99.9 of 1000 samples is rank 999, and a
    // floating-point 99.9 / 100 * 1000 must not round that up to 1000.
    auto rank = static_cast<std::size_t>(std::ceil(percent * n / 100.0 - 1e-9));
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

LatencySummary summarize(std::vector<std::uint64_t>& samples)
{
    LatencySummary summary;
    summary.count = samples.size();
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    summary.p50Ns = nearestRank(samples, 50.0);
    summary.p99Ns = nearestRank(samples, 99.0);
    summary.p999Ns = nearestRank(samples, 99.9);
    summary.maxNs = samples.back();
    const long double total = std::accumulate(samples.begin(), samples.end(), 0.0L);
    summary.meanNs = static_cast<double>(total / static_cast<long double>(samples.size()));
    return summary;
}

}  // namespace NatNetLatency
