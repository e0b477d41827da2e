#include "LatencyReport.h"

#include <cmath>
#include <iomanip>

namespace NatNetLatency {

namespace {

// Rounded to `decimals` places, so that the JSON reads 9.245 and not 9.245000000000001.
double rounded(double value, int decimals = 2)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

void latencyFields(nlohmann::json& out, const char* prefix, const LatencySummary& s)
{
    const std::string p(prefix);
    out[p + "P50Us"] = rounded(microseconds(s.p50Ns));
    out[p + "P99Us"] = rounded(microseconds(s.p99Ns));
    out[p + "P999Us"] = rounded(microseconds(s.p999Ns));
    out[p + "MaxUs"] = rounded(microseconds(s.maxNs));
    out[p + "MeanUs"] = rounded(s.meanNs / 1000.0);
}

void printLine(std::ostream& out, const char* name, const ProbeResult& r)
{
    const LatencySummary& s = r.latency;
    out << "  " << std::left << std::setw(10) << name << std::right << std::fixed << std::setprecision(1)
        << std::setw(9) << microseconds(s.p50Ns) << std::setw(9) << microseconds(s.p99Ns) << std::setw(10)
        << microseconds(s.p999Ns) << std::setw(10) << microseconds(s.maxNs) << std::setw(9) << r.sent
        << std::setw(7) << r.lost << std::setw(10) << std::setprecision(0) << r.achievedRateHz()
        << std::setw(10) << std::setprecision(2) << r.cpuPerFrameUs() << std::setw(8) << std::setprecision(1)
        << r.cpuPercentOfCore();
    if (r.kernelDrops > 0) {
        out << "  (kernel buffer drops on this machine meanwhile: " << r.kernelDrops << ")";
    }
    if (!r.error.empty()) out << "  [" << r.error << "]";
    out << '\n';
}

}  // namespace

double RateReport::ratio(std::uint64_t fullNs, std::uint64_t rawNs)
{
    return rawNs == 0 ? 0.0 : static_cast<double>(fullNs) / static_cast<double>(rawNs);
}

nlohmann::json toJson(const RateReport& report)
{
    nlohmann::json out;
    out["rateHz"] = report.config.rateHz;
    out["rigidBodies"] = report.config.rigidBodies;
    out["mode"] = report.config.multicast ? "multicast" : "unicast";
    out["durationS"] = report.config.durationSeconds;
    out["datagramBytes"] = report.datagramBytes;
    out["loadAverage1"] = report.loadAverage;
    latencyFields(out, "raw", report.raw.latency);
    out["rawSent"] = report.raw.sent;
    out["rawLost"] = report.raw.lost;
    out["rawCpuPerFrameUs"] = rounded(report.raw.cpuPerFrameUs(), 3);
    if (report.hasReactorFloor) {
        latencyFields(out, "rawEpoll", report.rawReactor.latency);
        out["rawEpollLost"] = report.rawReactor.lost;
        out["rawEpollCpuPerFrameUs"] = rounded(report.rawReactor.cpuPerFrameUs(), 3);
    }
    latencyFields(out, "full", report.full.latency);
    out["sent"] = report.full.sent;
    out["received"] = report.full.received;
    out["lost"] = report.full.lost;
    out["achievedRateHz"] = rounded(report.full.achievedRateHz(), 1);
    out["kernelDrops"] = report.full.kernelDrops;
    out["ratioP50"] = rounded(RateReport::ratio(report.full.latency.p50Ns, report.raw.latency.p50Ns));
    out["ratioP99"] = rounded(RateReport::ratio(report.full.latency.p99Ns, report.raw.latency.p99Ns));
    out["cpuPerFrameUs"] = rounded(report.full.cpuPerFrameUs(), 3);
    out["cpuPercentOfCore"] = rounded(report.full.cpuPercentOfCore());
    if (!report.raw.error.empty() || !report.full.error.empty()) {
        out["error"] = report.full.error.empty() ? report.raw.error : report.full.error;
    }
    return out;
}

void printText(std::ostream& out, const RateReport& report)
{
    const ProbeConfig& c = report.config;
    out << std::defaultfloat << std::setprecision(6) << "rate " << c.rateHz << " Hz, " << c.rigidBodies
        << " rigid bodies, " << (c.multicast ? "multicast" : "unicast") << ", " << report.datagramBytes
        << "-byte datagrams, " << c.durationSeconds << " s measured, load " << report.loadAverage << '\n';
    out << "  path        p50 us   p99 us  p99.9 us    max us     sent   lost   rate Hz  cpu us/f  %core\n";
    printLine(out, "raw UDP", report.raw);
    if (report.hasReactorFloor) printLine(out, "raw epoll", report.rawReactor);
    printLine(out, "full path", report.full);
    out << std::fixed << std::setprecision(2) << "  full / raw: p50 "
        << RateReport::ratio(report.full.latency.p50Ns, report.raw.latency.p50Ns) << "x, p99 "
        << RateReport::ratio(report.full.latency.p99Ns, report.raw.latency.p99Ns) << "x\n"
        << std::defaultfloat;
}

}  // namespace NatNetLatency
