// The engine's tick over a busy sky: live aircraft (half cruising, a quarter
// on approach, a quarter taxiing) that receive a feed batch every 2 s, with
// the simulator link's queues emptied between batches and the posted
// positions taken after every tick, as the simulator frame takes them.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=EngineTick
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "bench/live_aircraft_setup.h"
#include "bench/tick_spread.h"
#include "engine/engine.h"
#include "engine/per_tick_update.h"
#include "engine/traffic_intake.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "liveries/model_database.h"
#include "simlink/position_stream.h"
#include "simlink/sim_command_mailbox.h"
#include "standins/track_generator.h"
#include "tests/support/track_records.h"

namespace {

using kvr::standin::TrackPoint;

LiveTrafficRecord lf_record(const TrackPoint& p, uint32_t hexid, double t0)
{
    return kvr::test::trackRecord(p, hexid, "KLM" + std::to_string(hexid & 0xFFFF), t0);
}

std::vector<std::vector<TrackPoint>> lf_tracks(int n)
{
    const auto runways =
        kvr::standin::gf_loadRunwayCsv(std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv");
    const auto& end = kvr::standin::gf_runwayEnd(runways, "18R");
    std::vector<std::vector<TrackPoint>> tracks;
    for (int i = 0; i < n; ++i) {
        const double d = 0.002 * i;
        switch (i % 4) {
        case 0:
        case 1:
            tracks.push_back(kvr::standin::gf_cruiseTrack({52.0 + d, 4.0 + d}, 12000.0 + 10 * i, 280.0, i * 7 % 360,
                                                          700.0));
            break;
        case 2: {
            auto t = kvr::standin::gf_landingTrack(end, 20.0 + d * 100);
            tracks.push_back(std::move(t));
            break;
        }
        default:
            tracks.push_back(kvr::standin::gf_taxiTrack(
                {{52.30 + d * 0.1, 4.76}, {52.31 + d * 0.1, 4.76}, {52.31 + d * 0.1, 4.78}, {52.30 + d * 0.1, 4.78}},
                -11.0, 15.0));
        }
    }
    return tracks;
}

// The SimClient frame's side of the hand-over: the posted positions are
// swapped out and dropped.
void lf_takePositionsAsTheFrame()
{
    {
        std::lock_guard lock(g_positionBuffer.mutex);
        g_positionBuffer.posted.swap(g_positionBuffer.taken);
    }
    g_positionBuffer.taken.clear();
}

// Aircraft of the run that the intake never gave a record after their first:
// gone, or still at their first record's time.
int lf_withoutSecondRecord(const std::vector<std::vector<TrackPoint>>& tracks, double t0)
{
    int count = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const LiveAircraft* ac = gf_trafficState().aircraft.findLive(0x400000u + static_cast<uint32_t>(i));
        if (!ac || ac->stream.lastRecordTime == t0 + tracks[i][0].t)
            ++count;
    }
    return count;
}

void BM_EngineTick(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    auto& db = gf_modelDatabase();
    db.icaoModelCodes.insert("A320");
    db.large.insert(gf_modelCode2Id("A320"));
    gf_initTrafficState();
    gf_resetCommandMailbox();
    engineClock = 0;
    TrafficMailbox& box = gf_trafficMailbox();
    box.reset();
    gf_setTrafficDelivery(true);
    const auto tracks = lf_tracks(n);
    const double t0 = 1.7e9;
    // Every aircraft known and in the simulator, as after its creation.
    std::vector<LiveTrafficRecord> first;
    for (int i = 0; i < n; ++i)
        decodeMessage(lf_record(tracks[i][0], 0x400000u + i, t0));
    gf_activateEveryLiveAircraft();
    std::vector<double> ticksUs;
    int tick = 0;
    for (auto _ : state) {
        if (tick % 200 == 0) {
            state.PauseTiming();
            std::vector<LiveTrafficRecord> batch;
            const size_t k = static_cast<size_t>(tick / 100);
            for (int i = 0; i < n; ++i)
                batch.push_back(lf_record(tracks[i][std::min(k, tracks[i].size() - 1)], 0x400000u + i, t0));
            box.post(batch, TrafficBatchKind::Live, 3, false);
            gf_takeCommandQueues();
            state.ResumeTiming();
        }
        const auto a = std::chrono::steady_clock::now();
        lf_handleAddingStack();
        const auto b = std::chrono::steady_clock::now();
        ticksUs.push_back(std::chrono::duration<double, std::micro>(b - a).count());
        lf_takePositionsAsTheFrame();
        ++tick;
    }
    gf_reportSpreadUs(state, ticksUs);
    state.counters["live"] = static_cast<double>(gf_trafficState().aircraft.liveCount());
    state.counters["without_second_record"] = static_cast<double>(lf_withoutSecondRecord(tracks, t0));
    gf_setTrafficDelivery(false);
    box.reset();
    gf_initTrafficState();
    gf_resetCommandMailbox();
}

} // namespace

BENCHMARK(BM_EngineTick)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(6000)->Unit(benchmark::kMicrosecond);
