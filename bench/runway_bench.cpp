// Runway matching on the synthetic 12-runway airport: a fixed walk of
// positions and headings over the airport (on runways, beside them, between
// parallels and off the field), each one lf_matchRunway call.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=MatchRunway
#include <benchmark/benchmark.h>

#include <numbers>
#include <vector>

#include "runways/runway_matching.h"
#include "runways/runway_table.h"
#include "tests/runways/runway_fixture.h"

namespace {

struct Probe {
    LatLon position;
    double heading; // radians
};

std::vector<Probe> lf_probes(const std::vector<RunwayRecord>& specs)
{
    std::vector<Probe> probes;
    for (const auto& s : specs)
        for (bool primary : {true, false})
            for (double metres : {-300.0, 300.0, 900.0}) {
                const double heading = std::fmod(s.heading + (primary ? 0.0 : 180.0), 360.0);
                probes.push_back({kvr::test::pointFromEnd(s, primary, metres), heading * std::numbers::pi / 180.0});
            }
    // A grid over the field, heading north-east.
    for (int east = -5000; east <= 7000; east += 1500)
        for (int north = -4000; north <= 4000; north += 1000) {
            probes.push_back({kvr::test::syntheticPoint(east, north), std::numbers::pi / 4});
        }
    return probes;
}

void BM_MatchRunway(benchmark::State& state)
{
    const auto specs = kvr::test::syntheticAirport();
    runwayTable.runways = specs;
    const std::vector<Probe> probes = lf_probes(specs);
    const bool strict = state.range(0) != 0;
    size_t valid = 0;
    for (auto _ : state) {
        for (const Probe& p : probes) {
            const RunwayMatch m = lf_matchRunway(p.position, p.heading, strict, 75.0);
            valid += m.valid;
            benchmark::DoNotOptimize(m);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
    state.counters["matched"] = static_cast<double>(valid) / static_cast<double>(state.iterations() * probes.size());
    gf_clearRunwayTable();
}
BENCHMARK(BM_MatchRunway)->Arg(0)->Arg(1);

} // namespace
