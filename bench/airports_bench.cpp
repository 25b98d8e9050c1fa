// Airport database benchmarks: airports.enc with 24 000 airports read, checked
// and sorted, and the airport at a position found among them.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=Airport
#include <benchmark/benchmark.h>

#include <windows.h>

#include <psapi.h>

#include <filesystem>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "airports/airport_database_load.h"
#include "core/log.h"
#include "tests/support/enc_writer.h"
#include "tests/support/test_folders.h"
#include "update/version_check.h"

namespace {

constexpr int kAirports = 24000;

// 24 000 airports on a grid 15 nm apart (no two within reach of one
// position), listed in a shuffled order as a real data set would be.
std::string lf_airportsXml()
{
    std::vector<std::string> lines;
    for (int i = 0; i < kAirports; ++i) {
        const std::string code{char('A' + i / 17576), char('A' + i / 676 % 26), char('A' + i / 26 % 26),
                               char('A' + i % 26)};
        lines.push_back(fmt::format(R"(<ap c="{}" i="{}" la="{:.4f}" lo="{:.4f}" a="{}"/>)", code, code.substr(1),
                                    -30.0 + (i / 160) * 0.25, -20.1 + (i % 160) * 0.25, i % 3000));
    }
    std::shuffle(lines.begin(), lines.end(), std::mt19937(7));
    std::string xml = "<?xml version=\"1.0\"?><root><airports>";
    for (const std::string& l : lines)
        xml += l;
    return xml + "</airports></root>";
}

PROCESS_MEMORY_COUNTERS lf_memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

void BM_AirportDatabaseLoad(benchmark::State& state)
{
    kvr::test::ScopedTestFolders folders("bench");
    std::filesystem::create_directories("input");
    kvr::test::writeEncFile("input/airports.enc", lf_airportsXml());
    gf_installAirportDatabase({}, false);
    // The first load: what the database keeps and the peak the load reached
    // (decrypted text and XML document included).
    const PROCESS_MEMORY_COUNTERS before = lf_memory();
    const AirportDatabaseLoad first = gf_loadAirportDatabase();
    const PROCESS_MEMORY_COUNTERS after = lf_memory();
    if (first.error) {
        state.SkipWithError(first.error->c_str());
        return;
    }
    size_t count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gf_installAirportDatabase({}, false);
        state.ResumeTiming();
        count = gf_loadAirportDatabase().count;
    }
    constexpr double kMiB = 1 << 20;
    state.counters["airports"] = static_cast<double>(count);
    state.counters["kept_MiB"] = static_cast<double>(after.WorkingSetSize) / kMiB - before.WorkingSetSize / kMiB;
    state.counters["peak_MiB"] = static_cast<double>(after.PeakWorkingSetSize) / kMiB - before.WorkingSetSize / kMiB;
    state.counters["records_MiB"] = static_cast<double>(count * sizeof(AirportDbRecord)) / kMiB;
    gf_installAirportDatabase({}, false);
}
BENCHMARK(BM_AirportDatabaseLoad)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_AirportAtPosition(benchmark::State& state)
{
    kvr::test::ScopedTestFolders folders("bench");
    std::filesystem::create_directories("input");
    kvr::test::writeEncFile("input/airports.enc", lf_airportsXml());
    gf_installAirportDatabase({}, false);
    if (gf_loadAirportDatabase().error) {
        state.SkipWithError("load failed");
        return;
    }
    WebMaintenanceFlag = true; // nothing is fetched
    // Half the positions lie within 5 nm of an airport, half between them.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> cell(0, kAirports - 1);
    std::uniform_real_distribution<double> jitter(-0.06, 0.06);
    std::vector<LatLon> positions(4096);
    for (size_t k = 0; k < positions.size(); ++k) {
        const int i = cell(rng);
        const double offset = k % 2 ? 0.125 : 0.0;
        positions[k] = {-30.0 + (i / 160) * 0.25 + offset + jitter(rng), -20.1 + (i % 160) * 0.25 + offset};
    }
    size_t found = 0, k = 0;
    for (auto _ : state) {
        found += gf_findAirportAt(positions[k++ & 4095]).has_value();
    }
    state.counters["found_share"] = static_cast<double>(found) / static_cast<double>(state.iterations());
    WebMaintenanceFlag = false;
    gf_installAirportDatabase({}, false);
}
BENCHMARK(BM_AirportAtPosition)->Unit(benchmark::kMicrosecond)->Iterations(1000000);

} // namespace
