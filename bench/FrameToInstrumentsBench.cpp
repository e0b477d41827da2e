// What does one frame cost the stream once the NatNet library hands it over?
// `onFrameReceived` with 32 tracked rigid bodies and one listener on the update signal:
// - steady: every instrument exists (one update, with its one lookup, per body; one emission);
// - firstSighting: no instrument exists yet (each body also gets its display name and an add);
// each with the per-frame diagnostics off (the host's default level 2) and on (level 0, every
// line formatted and handed to a sink that discards it).
// And does a body cost the same however many there are? `BM_FrameToInstrumentsBodies`: the
// steady case, diagnostics off, from 1 to 1000 bodies, with the time per body as a counter.

#include "BenchFrames.h"
#include "BenchLog.h"

#include "stream/OptiTrackStream.h"
#include "stream/OptiTrackStreamImpl.h"

#include <Quorvane/Stream/InstrumentModification.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace Quorvane::Bench {
namespace {

constexpr int kRigidBodies = 32;

struct Case
{
    bool firstSighting;
    int logLevel;
};

void BM_FrameToInstruments(benchmark::State& state, Case c)
{
    const QuietLog log(c.logLevel);
    OptiTrackStream stream;
    // A callback context of our own, as the stream's tests use: the stream's private record is
    // not reachable from outside, and this one is connected to nothing.
    OptiTrackStream::Impl context(&stream);
    context.clockFrequency = 10'000'000;
    std::int64_t emissions = 0;
    stream.instrumentsUpdated.connect([&emissions](InstrumentModifications) { ++emissions; });

    auto frame = rigidBodyFrame(kRigidBodies);
    std::vector<std::string> identifiers;
    for (int i = 0; i < kRigidBodies; ++i)
        identifiers.push_back("optitrack-" + std::to_string(frame->RigidBodies[i].ID));
    // Steady state: the instruments exist before timing starts.
    OptiTrackStream::onFrameReceived(frame.get(), &context);

    for (auto _ : state) {
        if (c.firstSighting) {
            state.PauseTiming();
            for (const std::string& identifier : identifiers) stream.removeInstrument(identifier);
            // The stream caps the instruments it ever creates; a stream whose instruments were
            // all removed would otherwise stop creating them after a few dozen iterations.
            context.instrumentsCreated = 0;
            state.ResumeTiming();
        }
        ++frame->iFrame;
        frame->fTimestamp += 0.001;
        OptiTrackStream::onFrameReceived(frame.get(), &context);
    }
    if (stream.numInstruments() != static_cast<std::size_t>(kRigidBodies))
        state.SkipWithError("the instruments were not all created");

    state.SetItemsProcessed(state.iterations());
    state.counters["bodies/s"] =
        benchmark::Counter(static_cast<double>(kRigidBodies), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["emissions"] = static_cast<double>(emissions);
}

void BM_FrameToInstrumentsBodies(benchmark::State& state)
{
    const int rigidBodies = static_cast<int>(state.range(0));
    const QuietLog log(2);
    OptiTrackStream stream;
    OptiTrackStream::Impl context(&stream);
    context.clockFrequency = 10'000'000;
    stream.instrumentsUpdated.connect([](InstrumentModifications) {});
    auto frame = rigidBodyFrame(rigidBodies);
    OptiTrackStream::onFrameReceived(frame.get(), &context);
    if (stream.numInstruments() != static_cast<std::size_t>(rigidBodies))
        state.SkipWithError("the instruments were not all created");

    for (auto _ : state) {
        ++frame->iFrame;
        frame->fTimestamp += 0.001;
        OptiTrackStream::onFrameReceived(frame.get(), &context);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["perBody"] =
        benchmark::Counter(static_cast<double>(rigidBodies),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_FrameToInstruments, steady_level0_off, Case{false, 2});
BENCHMARK_CAPTURE(BM_FrameToInstruments, steady_level0_on, Case{false, 0});
BENCHMARK_CAPTURE(BM_FrameToInstruments, firstSighting_level0_off, Case{true, 2});
BENCHMARK_CAPTURE(BM_FrameToInstruments, firstSighting_level0_on, Case{true, 0});
BENCHMARK(BM_FrameToInstrumentsBodies)->ArgName("rigidBodies")->Arg(1)->Arg(8)->Arg(32)->Arg(128)->Arg(1000);

}  // namespace
}  // namespace Quorvane::Bench
