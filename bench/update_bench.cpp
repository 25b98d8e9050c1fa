// Update benchmarks: a data set fetched from the stand-in site over loopback,
// checked (decrypted and parsed) and put in place.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=DataSet
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "core/log.h"
#include "standins/download_site.h"
#include "tests/support/enc_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "update/downloader.h"

namespace {

void BM_DownloadDataSet(benchmark::State& state)
{
    kvr::test::ScopedTestFolders folders("bench");
    gf_openLog();
    std::filesystem::create_directories("input");
    std::string xml = "<root>";
    while (xml.size() < static_cast<std::size_t>(state.range(0)))
        xml += "<airport icao='EDDF' lat='50.03' lon='8.57'/>";
    xml += "</root>";
    kvr::test::writeEncFile("source.enc", xml);
    DownloadSite site;
    site.putFile("input/airports.enc", kvr::test::readBytes("source.enc"));
    gf_setDownloadSiteForTests(site.rootUrl());
    for (auto _ : state) {
        if (!gf_downloadDataFile("airports.enc", "input/airports.enc"))
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(xml.size()));
    gf_setDownloadSiteForTests("");
    gf_closeLog();
}
BENCHMARK(BM_DownloadDataSet)->Arg(1 << 20)->Arg(6 << 20)->Unit(benchmark::kMillisecond);

} // namespace
