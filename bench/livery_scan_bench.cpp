// The livery scan over a generated set of AI packages: 10 packages x 300
// aircraft.cfg files x 10 fltsim sections (3000 files, 30 000 liveries), 30 %
// of the files in UTF-16, every file with long comment lines. Timed end to
// end side by side in one run with a plain program that finds and reads the
// same files (the standard library's recursive walk of the same folders,
// every aircraft.cfg read whole): they take turns, and "ratio" is the scan's
// time over the plain one's. "ratio_own_walk" is over the same plain read
// found with the scan's own folder walk instead. Then per phase (walk,
// folders as the scan does them, read, parse, sort and dedupe, write).
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=LiveryScan
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_scan_driver.h"
#include "liveries/livery_scan_reports.h"
#include "liveries/model_database.h"
#include "tests/support/data_sets.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;

namespace {

constexpr int c_packages = 10, c_files = 300, c_sections = 10;
constexpr const char* c_airlines[] = {"KLM", "TRA", "BAW", "DLH", "EZY", "AFR", "RYR", "WZZ", "SAS", "IBE",
                                      "UAE", "QTR", "DAL", "UAL", "AAL", "FDX", "UPS", "SWR", "AUA", "TAP"};
constexpr const char* c_types[] = {"A319", "A320", "A321", "A20N", "A21N", "A332", "A333", "A359", "A388", "B737",
                                   "B738", "B38M", "B744", "B748", "B763", "B772", "B77W", "B788", "B789", "E190"};

std::string lf_utf16le(const std::string& text)
{
    std::string out = "\xFF\xFE";
    for (wchar_t c : utf8_to_wide(text)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

struct ScanWorld {
    kvr::test::ScopedTestFolders folders{"scanbench"};
    LiveryFolderList packages;
    std::vector<fs::path> files;

    ScanWorld()
    {
        fs::create_directories(g_inputFolder);
        fs::create_directories(g_outputFolder);
        kvr::test::writeRepoDataSet(kvr::test::DataSetKind::Dbase, g_dbaseEncPath);
        gf_clearModelDatabase();
        gf_readDbase();
        const std::string comment = "; " + std::string(4000, '-') + "\r\n";
        for (int p = 0; p < c_packages; ++p) {
            packages.push_back(fs::absolute(fmt::format("Community\\package-{:02}", p)));
            for (int f = 0; f < c_files; ++f) {
                const int n = p * c_files + f;
                std::string text = comment + "[General]\r\nicao_type_designator=" + c_types[n % 20] + "\r\n";
                for (int k = 0; k < c_sections; ++k)
                    text += fmt::format("[fltsim.{}]\r\ntitle=Package {} file {} livery {}\r\nicao_airline={}\r\n"
                                        "atc_parking_types=GATE,RAMP\r\ntexture={}\r\n{}",
                                        k, p, f, k, c_airlines[(n + k) % 20], k, k % 3 == 0 ? comment : "");
                const fs::path folder = packages.back() / "SimObjects" / "Airplanes" / fmt::format("model-{:03}", f);
                fs::create_directories(folder);
                files.push_back(folder / "aircraft.cfg");
                kvr::test::writeBytes(files.back(), n % 10 < 3 ? lf_utf16le(text) : text);
            }
        }
        gf_openLog();
    }
};

ScanWorld& lf_world()
{
    static ScanWorld world;
    return world;
}

void lf_readWhole(const fs::path& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    bytes.resize(size_t(in.tellg()));
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
}

// Finds the aircraft.cfg files below the folders with the standard library's
// recursive walk and reads each whole.
size_t lf_findAndRead(const LiveryFolderList& folders, std::string& bytes)
{
    size_t files = 0;
    for (const fs::path& folder : folders)
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
            if (entry.path().filename() == L"aircraft.cfg") {
                lf_readWhole(entry.path(), bytes);
                ++files;
            }
    return files;
}

// The same with the scan's own folder walk (one listing per folder, no
// status query per entry), each file read as the walk finds it.
size_t lf_walkAndRead(const LiveryFolderList& folders, std::string& bytes)
{
    size_t files = 0;
    std::error_code ec;
    for (const fs::path& folder : folders)
        lf_walkLiveryFolder(folder, [&](const fs::path& path) { lf_readWhole(path, bytes), ++files; }, ec);
    return files;
}

// Per iteration the scan and both plain programs, in turns that rotate.
void BM_LiveryScanBesideFindAndRead(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    std::string bytes;
    const auto scan = [&world] {
        gf_clearLiveryScanReports();
        return lf_scanLiveryFolders(world.packages, true);
    };
    // Once each untimed, so all start from the same caches.
    scan();
    lf_findAndRead(world.packages, bytes);
    using Clock = std::chrono::steady_clock;
    std::array<Clock::duration, 3> time{};
    std::array<size_t, 3> found{};
    for (int round = 0; auto _ : state) {
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (turn + round) % 3;
            const auto start = Clock::now();
            if (which == 0)
                benchmark::DoNotOptimize(scan());
            else
                found[which] = which == 1 ? lf_findAndRead(world.packages, bytes) : lf_walkAndRead(world.packages, bytes);
            time[which] += Clock::now() - start;
        }
        ++round;
    }
    const double runs = double(state.iterations());
    const auto ms = [runs](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count() / runs; };
    state.counters["scan_ms"] = ms(time[0]);
    state.counters["plain_ms"] = ms(time[1]);
    state.counters["ratio"] = double(time[0].count()) / double(std::max<Clock::rep>(time[1].count(), 1));
    state.counters["own_walk_ms"] = ms(time[2]);
    state.counters["ratio_own_walk"] = double(time[0].count()) / double(std::max<Clock::rep>(time[2].count(), 1));
    state.counters["files"] = double(found[1]);
    state.counters["liveries"] = double(LiveryScanResult.size());
}
BENCHMARK(BM_LiveryScanBesideFindAndRead)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_LiveryScanPhaseWalk(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    for (auto _ : state) {
        size_t found = 0;
        std::error_code ec;
        for (const fs::path& package : world.packages)
            lf_walkLiveryFolder(package, [&found](const fs::path&) { ++found; }, ec);
        benchmark::DoNotOptimize(found);
        state.counters["files"] = double(found);
    }
}
BENCHMARK(BM_LiveryScanPhaseWalk)->Unit(benchmark::kMillisecond);

// Walk, read and parse together, as the scan overlaps them: the folders
// without the reports and the list.
void BM_LiveryScanPhaseFolders(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    for (auto _ : state) {
        gf_clearLiveryScanReports();
        LiveryScanResult.clear();
        for (size_t p = 0; p < world.packages.size(); ++p)
            lf_scanLiveryFolder(uint32_t(p + 1), world.packages[p]);
    }
    state.counters["liveries"] = double(LiveryScanResult.size());
}
BENCHMARK(BM_LiveryScanPhaseFolders)->Unit(benchmark::kMillisecond);

void BM_LiveryScanPhaseRead(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    CfgLines lines;
    for (auto _ : state)
        for (const fs::path& file : world.files) {
            lines.clear();
            gf_readTextFileLines(file, lines);
            benchmark::DoNotOptimize(lines.size());
        }
}
BENCHMARK(BM_LiveryScanPhaseRead)->Unit(benchmark::kMillisecond);

void BM_LiveryScanPhaseParse(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    std::vector<CfgLines> read(world.files.size());
    for (size_t i = 0; i < world.files.size(); ++i)
        gf_readTextFileLines(world.files[i], read[i]);
    for (auto _ : state) {
        gf_clearLiveryScanReports();
        size_t records = 0;
        for (size_t i = 0; i < read.size(); ++i) {
            lf_checkFltsimNumbers(read[i], world.files[i]);
            const std::string model = lf_modelOfAircraftCfg(world.files[i], read[i]);
            records += lf_splitFltSimSections(1, read[i], model, world.files[i], world.files[i].parent_path()).size();
        }
        benchmark::DoNotOptimize(records);
    }
}
BENCHMARK(BM_LiveryScanPhaseParse)->Unit(benchmark::kMillisecond);

// Sorting with duplicate removal and the written list, over one scan's result.
void BM_LiveryScanPhaseSortWrite(benchmark::State& state)
{
    ScanWorld& world = lf_world();
    gf_clearLiveryScanReports();
    lf_scanLiveryFolders(world.packages, false);
    std::vector<LiveryRecord> scanned = LiveryScanResult;
    std::reverse(scanned.begin(), scanned.end());
    const bool write = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        LiveryScanResult = scanned;
        state.ResumeTiming();
        if (write) {
            benchmark::DoNotOptimize(gf_writeScannedLiveries());
        } else {
            std::sort(LiveryScanResult.begin(), LiveryScanResult.end());
            LiveryScanResult.erase(std::unique(LiveryScanResult.begin(), LiveryScanResult.end(),
                                               [](const LiveryRecord& a, const LiveryRecord& b) {
                                                   return a.title == b.title && a.ids == b.ids &&
                                                          a.registration == b.registration;
                                               }),
                                   LiveryScanResult.end());
        }
    }
    state.SetLabel(write ? "write" : "sort+dedupe");
}
BENCHMARK(BM_LiveryScanPhaseSortWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
