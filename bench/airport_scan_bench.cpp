// Airport scan benchmark: a Community folder of many small non-airport BGL
// files and some large airport BGLs (500 parkings each, padded to 5-50 MB),
// scanned by the recursive package walk (facility data unavailable, so every
// airport goes through the BGL reader), side by side in one run with a plain
// read of the same tree: the same recursive walk, the header of every BGL
// (all the scan needs of a file without an airport section) and every airport
// file whole into one reused buffer. The two alternate on the same tree, so
// both find the same files in the same caches; "ratio" is the scan's time
// over the plain read's. "full_reads" counts the files the scan read whole.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=AirportScan
// Arguments: small files, airport files, smallest and largest airport file in MB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
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

// What a reader of the tree must do at the least: walk it, read each BGL's
// header and section table, and read the files with an airport section whole.
uint64_t lf_plainRead(const fs::path& root, std::vector<char>& buffer)
{
    uint64_t sum = 0;
    std::array<char, 4096> head{};
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".bgl")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        in.read(head.data(), head.size());
        const size_t got = size_t(in.gcount());
        uint32_t sections = 0;
        if (got >= 24)
            std::memcpy(&sections, head.data() + 20, 4);
        bool airport = false;
        for (uint32_t s = 0; s < sections && 56 + 20 * size_t(s) + 4 <= got; ++s)
            airport = airport || uint8_t(head[56 + 20 * s]) == 3;
        if (!airport)
            continue;
        in.clear();
        in.seekg(0, std::ios::end);
        const size_t size = size_t(in.tellg());
        in.seekg(0);
        if (buffer.size() < size)
            buffer.resize(size);
        in.read(buffer.data(), std::streamsize(size));
        sum += uint8_t(buffer[size / 2]);
    }
    return sum;
}

void BM_AirportScanBesidePlainRead(benchmark::State& state)
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
    const fs::path root = fs::absolute("Community");
    std::vector<char> buffer;
    const auto scan = [&root] {
        ScanLogLines.clear();
        lf_scanPackageTree(root);
    };
    // Once each untimed, so both start from the same caches.
    scan();
    benchmark::DoNotOptimize(lf_plainRead(root, buffer));
    using Clock = std::chrono::steady_clock;
    Clock::duration scanTime{}, plainTime{};
    int64_t fullReads = 0;
    bool scanFirst = false;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = Clock::now();
            if ((turn == 0) == scanFirst) {
                scan();
                scanTime += Clock::now() - start;
            } else {
                benchmark::DoNotOptimize(lf_plainRead(root, buffer));
                plainTime += Clock::now() - start;
            }
        }
        scanFirst = !scanFirst;
        fullReads = std::count_if(ScanLogLines.begin(), ScanLogLines.end(),
                                  [](const std::string& l) { return l.starts_with("Fac depth"); });
    }
    const double runs = double(state.iterations());
    const auto ms = [runs](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count() / runs; };
    state.counters["scan_ms"] = ms(scanTime);
    state.counters["plain_ms"] = ms(plainTime);
    state.counters["ratio"] = plainTime.count() > 0 ? double(scanTime.count()) / double(plainTime.count()) : 0.0;
    state.counters["files"] = double(tree.files.size());
    state.counters["full_reads"] = double(fullReads);
    state.counters["generated"] = double(std::distance(fs::directory_iterator("airports/my_thirdparty"), {}));
    state.counters["GB"] = double(tree.bytes) / 1e9;
    gf_setFacilityStandsReader(previous);
    ScanLogLines.clear();
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

BENCHMARK(BM_AirportScanBesidePlainRead)->Apply(lf_sizes);

} // namespace
