#include "FullPathProbe.h"

#include "Clocks.h"
#include "RatePacer.h"

#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackStream.h"

#include <natnet/codec/ByteWriter.h>
#include <natnet/codec/FrameCodec.h>
#include <natnet/sim/Scenario.h>
#include <natnet/sim/Simulator.h>

#include <Quorvane/Stream/InstrumentModification.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace NatNetLatency {

namespace {

constexpr const char* kGroup = "239.255.42.101";
constexpr const char* kProbeIdentifier = "optitrack-1";  // the scenario's body 0

NatNet::Sim::ScenarioConfig scenarioFor(const ProbeConfig& config)
{
    NatNet::Sim::ScenarioConfig scenario;
    scenario.rigidBodies = config.rigidBodies;
    scenario.rateHz = config.rateHz;
    scenario.markers = false;
    scenario.firstFrameNumber = 0;
    return scenario;
}

// What the listener on the NatNet receive thread fills. The vectors are sized before the stream
// starts and read after it stopped (Disconnect joins the receive thread).
struct Arrivals
{
    Arrivals(std::uint64_t totalFrames, std::uint64_t warmupFrames)
        : total(totalFrames),
          warmup(warmupFrames),
          sentNs(std::make_unique<std::atomic<std::uint64_t>[]>(totalFrames)),
          seen(totalFrames, 0)
    {
        samples.reserve(totalFrames - warmupFrames);
    }

    void onUpdate(const Quorvane::OptiTrackStream& stream)
    {
        const auto instrument = stream.findInstrument(kProbeIdentifier);
        const std::uint64_t now = monotonicNs();
        if (!clockKnown.load(std::memory_order_relaxed)) {
            receiverClock.store(currentThreadCpuClock());
            clockKnown.store(true);
        }
        if (!instrument) return;
        const double x = instrument->pose(0, 3);
        if (!(x >= 0.0) || x >= static_cast<double>(total) || x != std::floor(x)) return;
        const auto sequence = static_cast<std::uint64_t>(x);
        if (seen[sequence] != 0) return;
        seen[sequence] = 1;
        if (sequence >= warmup) samples.push_back(now - sentNs[sequence].load(std::memory_order_relaxed));
        arrived.fetch_add(1, std::memory_order_relaxed);
    }

    const std::uint64_t total;
    const std::uint64_t warmup;
    std::unique_ptr<std::atomic<std::uint64_t>[]> sentNs;  // written by the sender
    std::vector<std::uint8_t> seen;                        // receive thread only
    std::vector<std::uint64_t> samples;                    // receive thread only
    std::atomic<std::uint64_t> arrived{0};
    std::atomic<bool> clockKnown{false};
    std::atomic<clockid_t> receiverClock{CLOCK_THREAD_CPUTIME_ID};
};

}  // namespace

std::size_t fullPathDatagramBytes(int rigidBodies)
{
    ProbeConfig config;
    config.rigidBodies = rigidBodies;
    NatNet::Sim::Scenario scenario(scenarioFor(config));
    auto frame = std::make_unique<sFrameOfMocapData>();
    scenario.fill(0, *frame);
    std::vector<std::uint8_t> bytes(65536);
    NatNet::Wire::ByteWriter writer(bytes.data(), bytes.size());
    if (NatNet::Wire::encodeFrame(writer, *frame, NatNet::Wire::Version(4, 1)) != NatNet::Wire::Status::Ok) {
        return 0;
    }
    return writer.size();
}

ProbeResult runFullPath(const ProbeConfig& config)
{
    ProbeResult result;
    const std::uint64_t warmup = config.warmupFrames();
    const std::uint64_t total = warmup + config.measuredFrames();
    if (config.rigidBodies < 1 || total > kMaxFullPathFrames) {
        result.error = "needs at least one rigid body and at most 2^24 frames";
        return result;
    }

    NatNet::Sim::SimulatorConfig simConfig;
    simConfig.localAddress = "127.0.0.1";
    simConfig.multicast = config.multicast;
    simConfig.multicastAddress = kGroup;
    simConfig.multicastTtl = 0;
    NatNet::Sim::Simulator sim(simConfig);
    sim.setUnitsToMillimeters(1.0f);  // the sequence number arrives unscaled
    sim.setFrameRate(static_cast<float>(config.rateHz));
    if (!sim.start(&result.error)) return result;

    Arrivals arrivals(total, warmup);
    auto stream = std::make_unique<Quorvane::OptiTrackStream>();
    Quorvane::OptiTrackConnectionParams params;
    params.connectionType = config.multicast ? 0 : 1;
    params.commandPort = sim.commandPort();
    params.dataPort = sim.dataPort();
    params.serverAddress = "127.0.0.1";
    params.localAddress = "127.0.0.1";
    if (config.multicast) params.multicastAddress = kGroup;
    stream->setConnectionParams(params);
    const Quorvane::OptiTrackStream& reader = *stream;
    stream->instrumentsUpdated.connect(
        [&arrivals, &reader](Quorvane::InstrumentModifications) { arrivals.onUpdate(reader); });
    if (!stream->start()) {
        result.error = "the stream did not start (no connection to the simulator)";
        return result;
    }

    std::atomic<bool> warmedUp{false};
    std::uint64_t firstMeasuredNs = 0;
    std::uint64_t lastNs = 0;
    std::uint64_t sendFailures = 0;
    std::thread sender([&] {
        NatNet::Sim::Scenario scenario(scenarioFor(config));
        auto frame = std::make_unique<sFrameOfMocapData>();
        RatePacer pacer(config.rateHz);
        for (std::uint64_t k = 0; k < total; ++k) {
            pacer.waitFor(k);
            scenario.fill(k, *frame);
            frame->RigidBodies[0].x = static_cast<float>(k);
            const std::uint64_t ticks = sim.ticksNow();
            frame->CameraMidExposureTimestamp = ticks;
            frame->CameraDataReceivedTimestamp = ticks;
            frame->TransmitTimestamp = ticks;
            const std::uint64_t now = monotonicNs();
            arrivals.sentNs[k].store(now, std::memory_order_relaxed);
            if (sim.sendFrame(*frame) != 1) ++sendFailures;
            if (k == warmup) {
                firstMeasuredNs = now;
                warmedUp.store(true);
            }
            lastNs = now;
        }
    });

    // The receiving thread's CPU clock over the measured frames.
    while (!warmedUp.load() && arrivals.arrived.load() < total) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const long long dropsBefore = udpReceiveBufferErrors();
    const bool clockKnown = arrivals.clockKnown.load();
    const clockid_t clock = arrivals.receiverClock.load();
    const std::uint64_t cpuBefore = clockKnown ? cpuNs(clock) : 0;
    sender.join();
    const std::uint64_t drainUntil = monotonicNs() + static_cast<std::uint64_t>(config.drainSeconds * 1e9);
    while (arrivals.arrived.load(std::memory_order_relaxed) < total && monotonicNs() < drainUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::uint64_t cpuAfter = clockKnown ? cpuNs(clock) : 0;
    const long long dropsAfter = udpReceiveBufferErrors();
    stream->stop();  // joins the receive thread: the arrivals are complete and ours to read
    stream.reset();

    result.kernelDrops = (dropsBefore >= 0 && dropsAfter >= 0) ? dropsAfter - dropsBefore : -1;
    result.sent = total - warmup;
    result.received = arrivals.samples.size();
    result.lost = result.sent - result.received;
    result.sendSeconds = static_cast<double>(lastNs - firstMeasuredNs) / 1e9;
    result.receiverCpuKnown = clockKnown && cpuBefore > 0 && cpuAfter >= cpuBefore;
    result.receiverCpuNs = result.receiverCpuKnown ? cpuAfter - cpuBefore : 0;
    result.latency = summarize(arrivals.samples);
    result.ok = true;
    if (sendFailures > 0) result.error = std::to_string(sendFailures) + " sends failed";
    return result;
}

}  // namespace NatNetLatency
