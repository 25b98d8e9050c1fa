// GroundTurn builds over a spread of corners (turn angles, leg lengths and
// start-heading mismatches, valid and refused alike); items per second are
// turns built per second.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=BuildGroundTurn
#include <benchmark/benchmark.h>

#include <numbers>
#include <vector>

#include "core/geodesy.h"
#include "engine/ground_curves.h"

namespace {

std::vector<GroundTurnParams> lf_corners()
{
    constexpr double kDeg = std::numbers::pi / 180.0;
    const LatLon start{52.3, 4.76};
    std::vector<GroundTurnParams> out;
    for (double turn = -150.0; turn <= 150.0; turn += 15.0)
        for (double leg : {12.0, 40.0, 120.0})
            for (double mismatch : {0.0, 15.0, 45.0}) {
                GroundTurnParams p;
                p.p0 = start;
                p.p1 = gf_destinationPoint(start, {0.0, leg / 0.3048});
                p.p2 = gf_destinationPoint(p.p1, {gf_normalizeAngle(turn * kDeg), 1.5 * leg / 0.3048});
                p.startHeading = gf_normalizeAngle(mismatch * kDeg);
                out.push_back(p);
            }
    return out;
}

void BM_BuildGroundTurn(benchmark::State& state)
{
    const auto corners = lf_corners();
    GroundTurn turn;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_buildGroundTurn(turn, corners[i]));
        i = i + 1 == corners.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildGroundTurn);

} // namespace
