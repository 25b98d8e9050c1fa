// The SimClient frame's own work without the simulator: the try-locked swap
// of the posted positions, the histories and the interpolation of every
// object (the write is a no-op). Portable, so it runs natively too.
// Run on demand: kelo_bench.exe / kelo_native_bench --benchmark_filter=PositionFrame
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/tick_spread.h"
#include "simlink/position_stream.h"

namespace {

void BM_PositionFrame(benchmark::State& state)
{
    const auto objects = static_cast<uint32_t>(state.range(0));
    PositionDoubleBuffer buffer;
    PositionStreamer streamer;
    std::vector<double> frameUs;
    int64_t now = 1'000'000'000;
    int tick = 0;
    for (auto _ : state) {
        // The engine's tick (10 ms): one position per object, not timed.
        now += 10'000'000;
        for (uint32_t k = 0; k < objects; ++k) {
            const double east = 1e-6 * tick;
            buffer.stage(100 + k, PositionBlock{47.0 + 0.001 * k, 8.0 + east, 0.0, 0.0, 1.5, 3000.0, 0.0, 250.0});
        }
        buffer.flushStaging(now);
        ++tick;
        const auto t0 = std::chrono::steady_clock::now();
        streamer.takePosted(buffer);
        double sum = 0.0;
        streamer.writeAll(now + 5'000'000, 0, [&sum](uint32_t, const PositionBlock& b) {
            sum += b.longitude;
            return true;
        });
        benchmark::DoNotOptimize(sum);
        const auto t1 = std::chrono::steady_clock::now();
        const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count();
        frameUs.push_back(ns / 1000.0);
        state.SetIterationTime(ns / 1e9);
    }
    gf_reportSpreadUs(state, frameUs);
}
BENCHMARK(BM_PositionFrame)->Arg(500)->Arg(1000)->Arg(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
