// How long does the client take to turn one frame datagram into the SDK's frame record?
// Header check plus the bounds-checked two-pass decode, for 1 to 1000 rigid bodies in the
// 3.0 layout and in the 4.1 layout (section sizes and precision timestamps).

#include "BenchFrames.h"

#include <natnet/codec/FrameCodec.h>
#include <natnet/codec/FrameStorage.h>
#include <natnet/codec/Messages.h>

#include <benchmark/benchmark.h>

#include <memory>

namespace Quorvane::Bench {
namespace {

void BM_DecodeFrame(benchmark::State& state, NatNet::Wire::Version version)
{
    const int rigidBodies = static_cast<int>(state.range(0));
    const std::vector<std::uint8_t> datagram = encodeDatagram(*rigidBodyFrame(rigidBodies), version);
    if (datagram.empty()) {
        state.SkipWithError("the codec refused the frame");
        return;
    }
    NatNet::Wire::FrameStorage storage;
    auto frame = std::make_unique<sFrameOfMocapData>();

    for (auto _ : state) {
        NatNet::Wire::Datagram message;
        NatNet::Wire::Status status = NatNet::Wire::decodeDatagram(datagram.data(), datagram.size(), message);
        if (status == NatNet::Wire::Status::Ok)
            status =
                NatNet::Wire::decodeFrame(message.payload, message.payloadSize, version, storage, *frame);
        if (status != NatNet::Wire::Status::Ok) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(frame->RigidBodies[rigidBodies - 1].qw);
        benchmark::ClobberMemory();
    }
    if (frame->nRigidBodies != rigidBodies) state.SkipWithError("wrong rigid-body count after decode");

    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(datagram.size()));
    state.counters["datagramBytes"] = static_cast<double>(datagram.size());
    state.counters["bodies/s"] =
        benchmark::Counter(static_cast<double>(rigidBodies), benchmark::Counter::kIsIterationInvariantRate);
}

void rigidBodyCounts(benchmark::internal::Benchmark* b)
{
    b->ArgName("rigidBodies");
    for (const int count : {1, 8, 32, 128, 1000}) b->Arg(count);
}

BENCHMARK_CAPTURE(BM_DecodeFrame, bitstream_3_0, NatNet::Wire::Version(3, 0))->Apply(rigidBodyCounts);
BENCHMARK_CAPTURE(BM_DecodeFrame, bitstream_4_1, NatNet::Wire::Version(4, 1))->Apply(rigidBodyCounts);

}  // namespace
}  // namespace Quorvane::Bench
