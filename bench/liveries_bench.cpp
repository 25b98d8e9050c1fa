// Livery benchmarks: building the matching tables from a large scanned-livery
// list at start-up, and the livery choice made for every spawned aircraft.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=Livery
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/layout.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft.h"
#include "engine/livery_choice.h"
#include "liveries/livery_list_file.h"
#include "liveries/model_database.h"
#include "tests/support/data_sets.h"
#include "tests/support/test_folders.h"

namespace {

constexpr const char* c_models[] = {"A319", "A320", "A321", "A20N", "A21N", "A332", "A333", "A359", "A388",
                                    "B737", "B738", "B38M", "B744", "B748", "B763", "B772", "B77L", "B77W",
                                    "B788", "B789", "E170", "E75L", "E190", "E195", "CRJ9", "DH8D", "AT76",
                                    "C172", "C208", "C56X", "CL35", "GLF6", "EC35", "H145"};
constexpr size_t c_modelCount = std::size(c_models);

std::string lf_airline(size_t i)
{
    return fmt::format("{}{}{}", static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 26 % 26),
                       static_cast<char>('A' + i / 676 % 26));
}

// A program folder with the data sets, a scanned-livery list of `count`
// liveries (400 airlines, a third with a registration, one in 20 generic)
// and the model database loaded; RANDOM on, depth 4.
struct LiveryWorld {
    kvr::test::ScopedTestFolders folders{"bench"};
    std::shared_ptr<const Parameters> oldParameters = g_parameters.load();

    explicit LiveryWorld(size_t count)
    {
        std::filesystem::create_directories(g_inputFolder);
        std::filesystem::create_directories(g_outputFolder);
        kvr::test::writeRepoDataSet(kvr::test::DataSetKind::Dbase, g_dbaseEncPath);
        kvr::test::writeRepoDataSet(kvr::test::DataSetKind::AigRegcodes, g_aigRegcodesEncPath);
        gf_clearModelDatabase();
        gf_readDbase();
        gf_modifyParameters([](Parameters& p) {
            p.RANDOM = true;
            p.MATCHING_DEPTH = 4;
        });
        LiveryScanResult.clear();
        LiveryScanResult.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            LiveryRecord r;
            const std::string airline = i % 20 == 0 ? std::string("ZZZ") : lf_airline(i % 400);
            const char* model = c_models[i % c_modelCount];
            r.title = fmt::format("{} {} livery {}", model, airline, i);
            if (i % 3 == 0)
                r.registration = fmt::format("X-{}", i);
            r.ids.airline = gf_airlineCode2Id(airline);
            r.ids.model = gf_modelCode2Id(model);
            r.ids.cargo = i % 17 == 0 ? 1 : 0;
            LiveryScanResult.push_back(std::move(r));
        }
        std::sort(LiveryScanResult.begin(), LiveryScanResult.end());
        gf_writeScannedLiveries();
        LiveryScanResult.clear();
    }
    ~LiveryWorld()
    {
        g_parameters.store(oldParameters);
        gf_clearLiveryMemory();
    }
};

void BM_LiveryMatchingBuild(benchmark::State& state)
{
    LiveryWorld world(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        gf_processScannedLiveries();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LiveryMatchingBuild)->Arg(30000)->Unit(benchmark::kMillisecond);

// 100 000 choices per iteration, for aircraft of every kind: registration
// matches, airline and model, similar types, generic and fallback liveries.
void BM_LiveryChoice(benchmark::State& state)
{
    LiveryWorld world(30000);
    gf_processScannedLiveries();
    std::vector<AircraftBase> aircraft(100000);
    for (size_t i = 0; i < aircraft.size(); ++i) {
        AircraftBase& ac = aircraft[i];
        ac.identity.ids.airline = gf_airlineCode2Id(i % 5 == 0 ? std::string("PVT") : lf_airline(i % 600));
        ac.identity.ids.model = gf_modelCode2Id(c_models[(i * 7) % c_modelCount]);
        ac.identity.ids.cargo = i % 13 == 0 ? 1 : 0;
        ac.identity.category = gf_modelCategory(ac.identity.ids.model);
        ac.identity.callsign = fmt::format("BEN{}", i);
        if (i % 4 == 0)
            ac.identity.registration = fmt::format("X-{}", (i * 3) % 40000);
    }
    size_t chosen = 0;
    for (auto _ : state) {
        for (AircraftBase& ac : aircraft) {
            ac.identity.liveryTitle = {};
            chosen += gf_pickLiveryLiveAc(ac, 10000.0) ? 1 : 0;
        }
    }
    state.counters["chosen %"] =
        100.0 * static_cast<double>(chosen) / static_cast<double>(state.iterations() * aircraft.size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(aircraft.size()));
}
BENCHMARK(BM_LiveryChoice)->Unit(benchmark::kMillisecond);

} // namespace
