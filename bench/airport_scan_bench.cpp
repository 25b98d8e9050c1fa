// Airport scan benchmark: a Community folder of many small non-airport BGL
// files and some large airport BGLs (500 parkings each, padded to 5-50 MB),
// scanned by the recursive package walk (facility data unavailable, so every
// airport goes through the BGL reader), side by side with a plain whole-file
// read of the same files. "full_reads" counts the files the scan read whole;
// non-airport files must be rejected from their header alone.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=AirportScan
// Arguments: small files, airport files, smallest and largest airport file in MB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/airport_database_load.h"
#include "airports/bgl_reader.h"
#include "airports/package_scan.h"
#include "airports/publisher_lists.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "tests/support/bgl_writer.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

bool noFacilities(const IcaoCode&, ScannedAirport&, int&)
{
    return false;
}

std::string lf_code(int i)
{
    return fmt::format("B{}{}{}", char('A' + i / 676 % 26), char('A' + i / 26 % 26), char('A' + i % 26));
}

struct ScanTree {
    std::vector<fs::path> files;
    uint64_t bytes = 0;
};

ScanTree lf_makeTree(int smallFiles, int airportFiles, int minMb, int maxMb)
{
    ScanTree tree;
    // A small scenery file without an airport section (section type 0x65).
    const std::string small = bglFile({{0x65, false, {{{bglRecord(0x20, std::string(1018, 'x'))}}}}}).bytes;
    for (int i = 0; i < smallFiles; ++i) {
        const fs::path folder = fs::path("Community") / fmt::format("pkg{}", i / 500) / "scenery";
        if (i % 500 == 0)
            fs::create_directories(folder);
        tree.files.push_back(folder / fmt::format("obj{}.bgl", i));
        std::ofstream(tree.files.back(), std::ios::binary).write(small.data(), std::streamsize(small.size()));
        tree.bytes += small.size();
    }
    std::mt19937 random(11);
    std::vector<AirportDbRecord> known;
    for (int i = 0; i < airportFiles; ++i) {
        BglAirport airport;
        airport.ident = lf_code(i);
        for (int p = 0; p < 500; ++p)
            airport.parkings.push_back({10, uint32_t(p + 1), 9, 2, 25.0f, float(p % 360), 40.0 + p * 1e-4, 10.0});
        std::string bytes = bglAirportFile({airport}).bytes;
        const uint64_t target = uint64_t(std::uniform_int_distribution<int>(minMb, maxMb)(random)) << 20;
        const fs::path folder = fs::path("Community") / fmt::format("airport-{}", airport.ident) / "scenery";
        fs::create_directories(folder);
        tree.files.push_back(folder / (airport.ident + ".bgl"));
        std::ofstream out(tree.files.back(), std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        const std::string padding(1 << 20, '\0');
        for (uint64_t written = bytes.size(); written < target; written += padding.size())
            out.write(padding.data(), std::streamsize(std::min<uint64_t>(padding.size(), target - written)));
        tree.bytes += std::max<uint64_t>(target, bytes.size());
        AirportDbRecord record;
        record.icao = IcaoCode(airport.ident);
        record.position = {40.0, 10.0};
        known.push_back(record);
    }
    std::sort(known.begin(), known.end(), [](const auto& a, const auto& b) { return a.icao.code < b.icao.code; });
    gf_installAirportDatabase(std::move(known), true);
    return tree;
}

void BM_AirportScanPackageTree(benchmark::State& state)
{
    ScopedTestFolders folders("scanbench");
    gf_openLog();
    g_parameters.store(std::make_shared<const Parameters>());
    g_modeSettings.store(std::make_shared<const ModeSettings>());
    const ScanTree tree = lf_makeTree(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
    // The scan transaction makes the scan folders before the walk.
    fs::create_directories("airports/my_simaddon");
    fs::create_directories("airports/my_thirdparty");
    const FacilityStandsReader previous = gf_setFacilityStandsReader(&noFacilities);
    lf_clearPublisherLists();
    int64_t fullReads = 0;
    for (auto _ : state) {
        ScanLogLines.clear();
        lf_scanPackageTree(fs::absolute("Community"));
        fullReads = std::count_if(ScanLogLines.begin(), ScanLogLines.end(),
                                  [](const std::string& l) { return l.starts_with("Fac depth"); });
    }
    state.counters["files"] = double(tree.files.size());
    state.counters["full_reads"] = double(fullReads);
    state.counters["generated"] = double(std::distance(fs::directory_iterator("airports/my_thirdparty"), {}));
    state.SetBytesProcessed(int64_t(state.iterations() * tree.bytes));
    gf_setFacilityStandsReader(previous);
    ScanLogLines.clear();
    gf_installAirportDatabase({}, false);
    gf_closeLog();
}

void BM_AirportScanPlainRead(benchmark::State& state)
{
    ScopedTestFolders folders("scanbench");
    gf_openLog();
    const ScanTree tree = lf_makeTree(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
    std::vector<char> buffer;
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const fs::path& path : tree.files) {
            std::ifstream in(path, std::ios::binary | std::ios::ate);
            buffer.resize(size_t(in.tellg()));
            in.seekg(0);
            in.read(buffer.data(), std::streamsize(buffer.size()));
            sum += buffer.empty() ? 0 : uint8_t(buffer[buffer.size() / 2]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["files"] = double(tree.files.size());
    state.counters["full_reads"] = double(tree.files.size());
    state.SetBytesProcessed(int64_t(state.iterations() * tree.bytes));
    gf_installAirportDatabase({}, false);
    gf_closeLog();
}

// The full figure (50 000 small files, 200 airports of 5-50 MB, about
// 5.5 GB) and two scaled ones that fit a shared build machine.
void lf_sizes(benchmark::internal::Benchmark* b)
{
    b->Args({50000, 200, 5, 50})->Args({50000, 20, 5, 50})->Args({5000, 10, 5, 50});
    b->Unit(benchmark::kMillisecond)->Iterations(3);
}

BENCHMARK(BM_AirportScanPackageTree)->Apply(lf_sizes);
BENCHMARK(BM_AirportScanPlainRead)->Apply(lf_sizes);

} // namespace
