// The SimClient's frame step against the stand-in simulator in manual mode:
// the try-locked swap of the posted positions, the histories, the
// interpolation and one position write per object.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=SimClientFrame
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "bench/tick_spread.h"
#include "simlink/sim_client_internal.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"
#include "standins/simconnect/standin_control.h"

namespace {

// The frame's time: 5 ms after the engine's latest tick, so every object is
// interpolated between its last two samples.
std::atomic<int64_t> g_frameTime{0};
int64_t lf_frameClock()
{
    return g_frameTime.load();
}

struct Assigned {
    std::vector<uint32_t> ids;
    static void collect(SIMCONNECT_RECV* p, ScDword, void* context)
    {
        if (p->dwID == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID)
            static_cast<Assigned*>(context)->ids.push_back(
                reinterpret_cast<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(p)->dwObjectID);
    }
};

void BM_SimClientFrame(benchmark::State& state)
{
    const auto objects = static_cast<int>(state.range(0));
    if (!gf_loadSimConnectFrom(gf_programFileFolder().parent_path() / "tests")) {
        state.SkipWithError("stand-in SimConnect.dll not found");
        return;
    }
    SimConnectStandin sim;
    sim.bind();
    sim.reset();
    sim.load({{"assign_delay_frames", 0}, {"trace_positions", false}, {"trace_calls", false}, {"object_limit", 4000}});
    const SimConnectApi& sc = gf_simConnect();
    ScHandle handle = nullptr;
    sc.Open(&handle, "Kelo", nullptr, 0, nullptr, 0);
    sc.AddToDataDefinition(handle, DEFINITION_LATLONPIBAHEALVSTAS, "Plane Latitude", "degree",
                           SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    for (const char* f : {"Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees", "Plane Heading degrees true",
                          "Plane Altitude", "Vertical Speed", "Airspeed True"})
        sc.AddToDataDefinition(handle, DEFINITION_LATLONPIBAHEALVSTAS, f, "degree", SIMCONNECT_DATATYPE_FLOAT64, 0,
                               SIMCONNECT_UNUSED);
    for (int i = 0; i < objects; ++i) {
        SIMCONNECT_DATA_INITPOSITION init{47.0 + 0.001 * i, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
        sc.AICreateNonATCAircraft(handle, "A320", "BENCH", init, 20000u + static_cast<uint32_t>(i));
    }
    Assigned assigned;
    sc.CallDispatch(handle, &Assigned::collect, &assigned);
    g_simHandle.store(handle);
    g_aiBooks.owned.insert(assigned.ids.begin(), assigned.ids.end());
    g_positionBuffer.reset(true);

    gf_setSteadyClockForTest(&lf_frameClock);
    std::vector<double> frameUs;
    int64_t now = 1'000'000'000;
    int tick = 0;
    for (auto _ : state) {
        // The engine's tick (10 ms): one position per object, not timed.
        now += 10'000'000;
        for (size_t k = 0; k < assigned.ids.size(); ++k) {
            PositionBlock b{47.0 + 0.001 * static_cast<double>(k) + 1e-6 * tick, 8.0, 0.0, 0.0, 1.5, 3000.0, 0.0, 250.0};
            g_positionBuffer.stage(assigned.ids[k], b);
        }
        g_positionBuffer.flushStaging(now);
        ++tick;
        g_frameTime.store(now + 5'000'000);
        const auto t0 = std::chrono::steady_clock::now();
        lf_sendAiPositions();
        const auto t1 = std::chrono::steady_clock::now();
        const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count();
        frameUs.push_back(ns / 1000.0);
        state.SetIterationTime(ns / 1e9);
    }
    gf_reportSpreadUs(state, frameUs);
    state.counters["objects"] = static_cast<double>(assigned.ids.size());
    gf_setSteadyClockForTest(nullptr);
    g_simHandle.store(nullptr);
    sc.Close(handle);
    g_positionBuffer.reset(false);
    g_positionStreamer.clear();
    g_aiBooks.clearAll();
}
BENCHMARK(BM_SimClientFrame)->Arg(500)->Arg(1000)->Arg(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
