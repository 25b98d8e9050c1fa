// Parking on a large airport: 500 stands with 20 options each, spread over
// the week, half of the stands wanted. Reports the time of the build and the
// engine-clock ticks that the run's own duration adds. The tick benchmarks
// run a parking adjustment inside the main loop's 10 ms ticks beside 500 live
// aircraft and report the longest ticks while it runs.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=Parking
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench/live_aircraft_setup.h"
#include "core/clock.h"
#include "core/settings_snapshot.h"
#include "engine/engine.h"
#include "engine/per_tick_update.h"
#include "engine/static_placement.h"
#include "engine/traffic_intake.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "parking/stand_searches.h"
#include "stands/stand_table.h"
#include "simlink/sim_command_mailbox.h"
#include "standins/track_generator.h"
#include "tests/support/track_records.h"

namespace {

constexpr int kStands = 500;
constexpr int kOptions = 20;

std::vector<Stand> lf_airport(int standCount = kStands, int optionCount = kOptions)
{
    static const char* airlines[] = {"KLM", "DLH", "BAW", "EZY", "TRA", "AFR", "SWR", "RYR"};
    static const char* models[] = {"B738", "A320", "A20N", "E190", "B77W", "A332"};
    std::mt19937 random(7);
    std::vector<Stand> stands;
    stands.reserve(static_cast<size_t>(standCount));
    for (int i = 1; i <= standCount; ++i) {
        Stand s;
        s.id = i;
        s.name = fmt::format("GATE {}{}", static_cast<char>('A' + i / 100), i % 100);
        s.lat = 52.30 + 0.0004 * (i / 25);
        s.lon = 4.76 + 0.0006 * (i % 25);
        s.heading = 3.14159 * (i % 4) / 2;
        s.radius = 0.02;
        s.type = StandType::GATE_MEDIUM;
        if (i > 1 && i % 5 != 0)
            s.exclusions = {static_cast<uint32_t>(i - 1)};
        for (int k = 0; k < optionCount; ++k) {
            StandOption o;
            o.aom.airline = gf_airlineCode2Id(airlines[random() % 8]);
            o.aom.model = gf_modelCode2Id(models[random() % 6]);
            o.callsign = fmt::format("{}{}", gf_airlineCodeText(o.aom.airline), random() % 9000 + 100);
            o.callsign2 = k % 3 == 0 ? fmt::format("{}{}", gf_airlineCodeText(o.aom.airline), random() % 9000 + 100)
                                     : std::string();
            o.registration = fmt::format("PH-{:04}", i * optionCount + k);
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
    ParkedTrafficShare& share = gf_parkedTrafficOf(TrafficSource::rtApp);
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

// `n` live aircraft in the simulator, cruising around the airport, as the
// engine holds them after their creation.
void lf_liveAircraft(int n)
{
    gf_initTrafficState();
    gf_resetCommandMailbox();
    engineClock = 0;
    gf_trafficMailbox().reset();
    gf_setTrafficDelivery(true);
    for (int i = 0; i < n; ++i) {
        const auto track = kvr::standin::gf_cruiseTrack({52.0 + 0.002 * i, 4.0 + 0.002 * i}, 12000.0 + 10 * i,
                                                        280.0, i * 7 % 360, 700.0);
        decodeMessage(kvr::test::trackRecord(track.front(), 0x400000u + static_cast<uint32_t>(i),
                                             fmt::format("KLM{}", 1000 + i)));
    }
    gf_activateEveryLiveAircraft();
}

// Main-loop ticks around a parking adjustment at 512 stands x 24 options
// with 500 live aircraft: each tick runs the engine's per-tick update, the
// adjustment starts in the first tick. Reports p99 and max of the ticks
// until the adjustment is done, and how many ticks it spread over. Arg 50:
// the options fill the quota (half the stands); arg 100: they cannot (every
// stand wanted), so every search kind runs all its half-hours.
void BM_ParkingRunTicks512Stands(benchmark::State& state)
{
    lf_setUp();
    auto& db = gf_modelDatabase();
    db.icaoModelCodes.insert("A320");
    lf_liveAircraft(500);
    const auto percentage = static_cast<int32_t>(state.range(0));
    gf_modifyParameters([percentage](Parameters& p) {
        p.parking_percentage = percentage;
        p.MAX_PARK_SEL = 512;
        p.PARK_SOFT = true;
        p.WEEK = true;
    });
    const std::vector<Stand> airport = lf_airport(512, 24);
    // The statics of an earlier run stand at their stands: the adjustment
    // keeps the ones that still comply and replaces the others.
    gf_setStandTable(airport);
    gf_standTable().softOptionCount = 512 * 6;
    gf_clearParkingPlan();
    gf_threadRandomEngine().seed(7);
    searchDirectionToggle = true;
    gf_adjustParking(false);
    std::vector<StaticAircraft> earlier;
    for (const ParkingPlanEntry& e : gf_parkingPlan()) {
        AircraftBase base;
        base.identity.ids = e.ids;
        base.identity.callsign = e.callsign;
        base.identity.callsign2 = e.callsign;
        base.identity.callsign3 = e.secondCallsign;
        base.identity.registration = e.registration;
        base.identity.category = gf_modelCategory(e.ids.model);
        StaticAircraft st(base, gf_nextStaticKey(), e.standId, {}, true);
        st.sim.staticSource = 1;
        st.sim.simState = SimState::active;
        st.sim.createdWeekSlot = gf_weekSlotBack({3, 30}, e.slotOffset);
        earlier.push_back(std::move(st));
    }
    AircraftStore& store = gf_trafficState().aircraft;
    std::vector<double> ticksMs;
    int64_t runTicks = 0;
    size_t planned = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gf_setStandTable(airport);
        gf_standTable().softOptionCount = 512 * 6;
        gf_clearParkingPlan();
        store.compactStatics([](const StaticAircraft&) { return true; }, [](const StaticAircraft&) {});
        uint32_t objectId = 5000;
        for (const StaticAircraft& st : earlier)
            store.setObjectId(store.addStatic(StaticAircraft(st)), objectId++);
        gf_takeCommandQueues();
        searchDirectionToggle = true;
        state.ResumeTiming();
        const auto a = std::chrono::steady_clock::now();
        lf_handleAddingStack();
        gf_threadRandomEngine().seed(11); // the same choices in every run
        gf_adjustParking(false);
        const auto b = std::chrono::steady_clock::now();
        ticksMs.push_back(std::chrono::duration<double, std::milli>(b - a).count());
        ++runTicks;
        planned = gf_parkingPlanSize();
    }
    std::sort(ticksMs.begin(), ticksMs.end());
    state.counters["tick_p99_ms"] = ticksMs.empty() ? 0.0 : ticksMs[ticksMs.size() * 99 / 100];
    state.counters["tick_max_ms"] = ticksMs.empty() ? 0.0 : ticksMs.back();
    state.counters["ticks_per_run"] = static_cast<double>(runTicks) / static_cast<double>(state.iterations());
    state.counters["planned"] = static_cast<double>(planned);
    state.counters["statics"] = static_cast<double>(earlier.size());
    state.counters["live"] = static_cast<double>(gf_trafficState().aircraft.liveCount());
    gf_setTrafficDelivery(false);
    gf_trafficMailbox().reset();
    gf_initTrafficState();
    gf_resetCommandMailbox();
    gf_clearStandTable();
    gf_clearParkingPlan();
}
BENCHMARK(BM_ParkingRunTicks512Stands)->Arg(50)->Arg(100)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
