// Foundation benchmarks: decrypting data sets and writing the log.
// Run on demand: wine build/bench/kelo_bench.exe
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "core/encrypted_file.h"
#include "core/log.h"
#include "tests/support/enc_writer.h"
#include "tests/support/test_folders.h"

namespace {

// The model database is the largest data set read at every first start.
void BM_DecryptDataSet(benchmark::State& state)
{
    kvr::test::TempDir dir("bench");
    const auto path = dir.path() / "dbase.enc";
    const std::string plain(static_cast<std::size_t>(state.range(0)), 'x');
    kvr::test::writeEncFile(path, plain);
    for (auto _ : state) {
        DecryptResult result = gf_decryptFile(path, 64u << 20);
        if (!result.ok)
            state.SkipWithError("decryption failed");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecryptDataSet)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// Ordinary log lines: buffered, flushed every 4096 bytes.
void BM_LogLine(benchmark::State& state)
{
    kvr::test::ScopedTestFolders folders("bench");
    gf_openLog();
    const std::string line(80, 'l');
    for (auto _ : state)
        gf_logLine(line);
    gf_closeLog();
    state.SetBytesProcessed(state.iterations() * 81);
}
BENCHMARK(BM_LogLine);

} // namespace
