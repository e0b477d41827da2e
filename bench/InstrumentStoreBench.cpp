// How much does a reader on another thread slow down the frame path of the instrument store?
// One frame = one Writer (the store's writer lock and the clock, once) and an update of each of
// 32 known instruments through it, as the stream does, while a second thread reads the same
// store: not at all, without pause one instrument at a time (findInstrument) or all of them
// (instruments(), what a view refresh does), and all of them at 120 Hz (a view refreshing at
// display rate, the realistic case).

#include <Quorvane/Stream/InstrumentModification.h>
#include <Quorvane/Stream/InstrumentStore.h>
#include <Quorvane/Stream/Pose.h>
#include <Quorvane/Stream/TrackerID.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane::Bench {
namespace {

constexpr int kInstruments = 32;

enum class Reader { None = 0, Find = 1, Snapshot = 2, ViewAt120Hz = 3 };

void BM_InstrumentStoreFrame(benchmark::State& state)
{
    const auto reader = static_cast<Reader>(state.range(0));
    InstrumentStore store;
    std::vector<std::string> identifiers;
    for (int i = 0; i < kInstruments; ++i) {
        identifiers.push_back("optitrack-" + std::to_string(i + 1));
        store.add(TrackerID(identifiers.back(), "", "OptiTrack " + std::to_string(i + 1)), true);
    }

    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> reads{0};
    std::thread readerThread;
    if (reader != Reader::None) {
        readerThread = std::thread([&] {
            std::int64_t n = 0;
            std::size_t next = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                if (reader == Reader::Find) {
                    benchmark::DoNotOptimize(store.find(identifiers[next]));
                    next = (next + 1) % identifiers.size();
                } else {
                    benchmark::DoNotOptimize(store.snapshot());
                    if (reader == Reader::ViewAt120Hz)
                        std::this_thread::sleep_for(std::chrono::microseconds(8333));
                }
                ++n;
            }
            reads.store(n);
        });
    }

    Pose pose = Pose::Identity();
    std::uint64_t timestamp = 0;
    for (auto _ : state) {
        ++timestamp;
        pose(0, 3) = static_cast<double>(timestamp);
        InstrumentModifications changes;
        {
            InstrumentStore::Writer writer(store);
            for (const std::string& identifier : identifiers)
                changes |= writer.update(identifier, pose, 0.9, timestamp, 0);
        }
        if (!changes.test(InstrumentModification::Updated)) state.SkipWithError("instrument missing");
        benchmark::DoNotOptimize(changes);
    }
    stop.store(true);
    if (readerThread.joinable()) readerThread.join();

    state.SetItemsProcessed(state.iterations());
    state.counters["readerOps/s"] =
        benchmark::Counter(static_cast<double>(reads.load()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_InstrumentStoreFrame)
    ->ArgName("reader")
    ->Arg(static_cast<int>(Reader::None))
    ->Arg(static_cast<int>(Reader::Find))
    ->Arg(static_cast<int>(Reader::Snapshot))
    ->Arg(static_cast<int>(Reader::ViewAt120Hz))
    ->UseRealTime();

}  // namespace
}  // namespace Quorvane::Bench
