// What does one emission of the update signal cost, with one listener and with eight?
// The listeners do almost nothing, so this is the signal's own cost: the copy-on-write
// snapshot of the slot list and the per-slot call guard.

#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Stream/InstrumentModification.h>

#include <benchmark/benchmark.h>

#include <cstdint>

namespace Quorvane::Bench {
namespace {

void BM_SignalEmit(benchmark::State& state)
{
    const auto slots = static_cast<int>(state.range(0));
    Signal<InstrumentModifications> signal;
    std::int64_t calls = 0;
    for (int i = 0; i < slots; ++i)
        signal.connect([&calls](InstrumentModifications changes) {
            calls += changes.test(InstrumentModification::Updated) ? 1 : 0;
        });
    const InstrumentModifications changes =
        InstrumentModification::Updated | InstrumentModification::PoseChanged;

    for (auto _ : state) {
        signal.emitSignal(changes);
        benchmark::ClobberMemory();
    }
    if (calls != state.iterations() * slots) state.SkipWithError("a listener missed an emission");
    state.SetItemsProcessed(state.iterations());
    state.counters["slotCalls/s"] =
        benchmark::Counter(static_cast<double>(slots), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_SignalEmit)->ArgName("slots")->Arg(1)->Arg(8);

}  // namespace
}  // namespace Quorvane::Bench
