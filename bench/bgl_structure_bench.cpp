// The BGL structure check on a hostile file: one airport section whose
// subsection table names as many empty data blocks as the file can hold, each
// at its own offset, so every block is new and must be held against all the
// earlier ones. Sizes of 1.2 MB, 12 MB and 48 MB.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=BglStructure
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "airports/bgl_reader.h"
#include "tests/support/bgl_writer.h"

namespace {

std::string lf_hostileBgl(uint32_t blocks)
{
    const uint32_t table = 56 + 20;
    std::string bytes(table + 16 * size_t(blocks), '\0');
    kvr::test::putU32(bytes, 4, 56);
    kvr::test::putU32(bytes, 20, 1);
    kvr::test::putU32(bytes, 56, 3);
    kvr::test::putU32(bytes, 56 + 8, blocks);
    kvr::test::putU32(bytes, 56 + 12, table);
    for (uint32_t d = 0; d < blocks; ++d) // scattered offsets, no two alike
        kvr::test::putU32(bytes, table + 16 * size_t(d) + 8, uint32_t((uint64_t(d) * 7919u) % blocks));
    return bytes;
}

void BM_BglStructureHostile(benchmark::State& state)
{
    const std::string bytes = lf_hostileBgl(static_cast<uint32_t>(state.range(0)));
    const auto span = std::as_bytes(std::span(bytes.data(), bytes.size()));
    for (auto _ : state) {
        const BglStructure result = lf_readBglStructure(span);
        if (!std::holds_alternative<std::vector<BglRecord>>(result))
            state.SkipWithError("the hostile file was refused");
    }
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_BglStructureHostile)->Arg(75000)->Arg(750000)->Arg(3000000)->Unit(benchmark::kMillisecond);

} // namespace
