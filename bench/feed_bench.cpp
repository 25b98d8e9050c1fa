// Decoding of the RealTraffic App's position lines into traffic records.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "core/settings_snapshot.h"
#include "feed/rt_app_readers.h"
#include "standins/rt_app_lines.h"

namespace {

std::vector<std::string> lf_rttfcLines(size_t count)
{
    static const char* types[] = {"A320", "B738", "E190", "B77W", "A20N", "DH8D"};
    std::vector<std::string> lines;
    for (size_t i = 0; i < count; ++i) {
        kvr::standin::AppAircraft a;
        a.hexid = static_cast<uint32_t>(0x400000 + i);
        a.callsign = "KLM" + std::to_string(100 + i % 900);
        a.type = types[i % 6];
        a.registration = "PH-B" + std::to_string(i % 100);
        a.origin = "AMS";
        a.destination = "LHR";
        a.lat = 52.3 + (static_cast<double>(i % 40) - 20.0) / 60.0;
        a.lon = 4.76 + (static_cast<double>(i % 37) - 18.0) / 60.0;
        a.altitude = 2000.0 + 500.0 * static_cast<double>(i % 70);
        a.groundSpeed = 180 + static_cast<double>(i % 250);
        a.track = static_cast<double>(i % 360);
        a.tas = -1.0;
        lines.push_back(kvr::standin::trafficLine(a, 1700000000.0 + static_cast<double>(i % 30)));
    }
    return lines;
}

// Lines to records: splitting, field parsing and every rule of the conversion.
void BM_RttfcLinesToRecords(benchmark::State& state)
{
    auto mode = std::make_shared<ModeSettings>(*g_modeSettings.load());
    mode->rtApp = true;
    g_modeSettings.store(mode);
    const std::vector<std::string> lines = lf_rttfcLines(1000);
    TrafficReader reader;
    reader.userLat = 52.3;
    reader.userLon = 4.76;
    reader.cosUserLat = std::cos(52.3 * std::numbers::pi / 180);
    reader.qnh = 1013;
    size_t records = 0;
    for (auto _ : state) {
        for (const std::string& line : lines)
            reader.handleLine(line);
        records += reader.batch.size();
        reader.batch.clear();
        reader.batchContext.reset();
    }
    if (records != static_cast<size_t>(state.iterations()) * lines.size())
        state.SkipWithError("a line was not converted");
    state.SetItemsProcessed(static_cast<int64_t>(records));
}
BENCHMARK(BM_RttfcLinesToRecords);

// The floor of the same work: only a plain comma split of the same lines
// into field views, the ratio's baseline.
void BM_RttfcCommaSplit(benchmark::State& state)
{
    const std::vector<std::string> lines = lf_rttfcLines(1000);
    std::vector<std::string_view> fields;
    size_t count = 0;
    for (auto _ : state) {
        for (const std::string& text : lines) {
            const std::string_view line(text);
            fields.clear();
            size_t start = 0;
            for (size_t comma; (comma = line.find(',', start)) != std::string_view::npos; start = comma + 1)
                fields.push_back(line.substr(start, comma - start));
            fields.push_back(line.substr(start));
            count += fields.size();
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(lines.size()));
}
BENCHMARK(BM_RttfcCommaSplit);

} // namespace
