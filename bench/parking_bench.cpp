// Parking on a large airport: 500 stands with 20 options each, spread over
// the week, half of the stands wanted. Reports the time of the build and the
// engine-clock ticks that the run's own duration adds.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=Parking
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "parking/stand_table.h"

namespace {

constexpr int kStands = 500;
constexpr int kOptions = 20;

std::vector<Stand> lf_airport()
{
    static const char* airlines[] = {"KLM", "DLH", "BAW", "EZY", "TRA", "AFR", "SWR", "RYR"};
    static const char* models[] = {"B738", "A320", "A20N", "E190", "B77W", "A332"};
    std::mt19937 random(7);
    std::vector<Stand> stands;
    stands.reserve(kStands);
    for (int i = 1; i <= kStands; ++i) {
        Stand s;
        s.id = i;
        s.name = fmt::format("GATE {}{}", static_cast<char>('A' + i / 100), i % 100);
        s.lat = 52.30 + 0.0004 * (i / 25);
        s.lon = 4.76 + 0.0006 * (i % 25);
        s.heading = 3.14159 * (i % 4) / 2;
        s.radius = 0.02;
        s.type = static_cast<uint32_t>(StandType::GATE_MEDIUM);
        if (i > 1 && i % 5 != 0)
            s.exclusions = {static_cast<uint32_t>(i - 1)};
        for (int k = 0; k < kOptions; ++k) {
            StandOption o;
            o.aom.airline = gf_airlineCode2Id(airlines[random() % 8]);
            o.aom.model = gf_modelCode2Id(models[random() % 6]);
            o.callsign = fmt::format("{}{}", gf_airlineCodeText(o.aom.airline), random() % 9000 + 100);
            o.callsign2 = k % 3 == 0 ? fmt::format("{}{}", gf_airlineCodeText(o.aom.airline), random() % 9000 + 100)
                                     : std::string();
            o.registration = fmt::format("PH-{:04}", i * kOptions + k);
            o.weekday = static_cast<uint32_t>(random() % 7 + 1);
            const auto from = static_cast<size_t>(random() % 44);
            for (size_t h = from; h < from + 4; ++h)
                o.halfHours.set(h);
            o.optionId = k + 1;
            o.real = k % 4 == 0 ? 0 : 1;
            s.options.push_back(std::move(o));
        }
        stands.push_back(std::move(s));
    }
    return stands;
}

void lf_setUp()
{
    gf_initTrafficState();
    gf_modifyParameters([](Parameters& p) {
        p.parking_percentage = 50;
        p.MAX_PARK_SEL = 500;
        p.AUTO_PARK = true;
        p.RT_PARKTRAFFIC_ONLY = false;
        p.RANDOM = true;
    });
    weekdayHalfHourWord.store(3 | (int64_t{30} << 32)); // Wednesday 15:00
}

// The whole first run on the airport with a parked aircraft reported at
// every stand (parked traffic only, RT App): quota, the parked traffic
// planned stand by stand, sort and log.
void BM_ParkingBuild500Stands(benchmark::State& state)
{
    lf_setUp();
    gf_modifyParameters([](Parameters& p) { p.RT_PARKTRAFFIC_ONLY = true; });
    const auto mode = g_modeSettings.load();
    g_modeSettings.store(std::make_shared<ModeSettings>(ModeSettings{mode->sim, true}));
    const std::vector<Stand> airport = lf_airport();
    std::vector<ParkedTrafficRecord> parked;
    for (const Stand& s : airport) {
        ParkedTrafficRecord r;
        r.hexid = 0x480000u + static_cast<uint32_t>(s.id);
        r.callsign = s.options[0].callsign;
        r.registration = s.options[0].registration;
        r.ids = s.options[0].aom;
        r.lat = s.lat;
        r.lon = s.lon;
        r.stand = s.name;
        r.slot = gf_halfHourSlotNow();
        parked.push_back(std::move(r));
    }
    ParkedTrafficShare& share = gf_parkedTrafficOf(1);
    double lastMs = 0.0;
    int32_t lastTicks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gf_setStandTable(airport);
        gf_clearParkingPlan();
        {
            std::lock_guard lock(share.mutex);
            share.list = parked;
        }
        share.received.store(true);
        const int32_t clockBefore = engineClock.load();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        gf_buildParkingPlan();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        state.PauseTiming();
        lastMs = std::chrono::duration<double, std::milli>(elapsed).count();
        gf_catchUpEngineClock(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        lastTicks = engineClock.load() - clockBefore;
        state.ResumeTiming();
    }
    state.counters["build_ms"] = lastMs;
    state.counters["clock_ticks_added"] = lastTicks;
    state.counters["planned"] = static_cast<double>(gf_parkingPlanSize());
    g_modeSettings.store(mode);
    gf_clearStandTable();
}
BENCHMARK(BM_ParkingBuild500Stands)->Unit(benchmark::kMillisecond);

// The option planning that a day's searches make: every stand at every
// half-hour back from now, real options of the weekday, until half the
// stands are used.
void BM_ParkingPlanFromOptions500Stands(benchmark::State& state)
{
    lf_setUp();
    const std::vector<Stand> airport = lf_airport();
    size_t planned = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gf_setStandTable(airport);
        gf_clearParkingPlan();
        const int32_t quota = gf_parkingRunQuota(*gf_parametersSnapshot());
        state.ResumeTiming();
        ParkingSearchResult result;
        const WeekSlot now{3, 30};
        bool full = false;
        for (int32_t offset = 0; offset < 48 && !full; ++offset) {
            const StandSearchContext ctx{1, 1, gf_weekSlotBack(now, offset), now, offset, &result, quota};
            for (Stand& s : gf_standTable().stands)
                if ((full = lf_planStaticAtStand(ctx, s)))
                    break;
        }
        planned = gf_parkingPlanSize();
    }
    state.counters["planned"] = static_cast<double>(planned);
    gf_clearStandTable();
}
BENCHMARK(BM_ParkingPlanFromOptions500Stands)->Unit(benchmark::kMillisecond);

} // namespace
