// The dispatch path into the stand-in simulator: 500 AI objects, each written
// once per frame from the frame event, through the run-time binding.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=SimConnect
#include <benchmark/benchmark.h>

#include <vector>

#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"
#include "standins/simconnect/standin_control.h"

namespace {

struct FrameWriter {
    ScHandle handle = nullptr;
    std::vector<ScDword> objects;
    double block[8] = {47.45, 8.56, 0.0, 0.0, 1.0, 3000.0, 0.0, 250.0};
    std::uint64_t writes = 0;

    static void onPacket(SIMCONNECT_RECV* packet, ScDword cbData, void* context)
    {
        auto* self = static_cast<FrameWriter*>(context);
        if (cbData < 12)
            return;
        if (packet->dwID == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID && cbData >= 20)
            self->objects.push_back(reinterpret_cast<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(packet)->dwObjectID);
        if (packet->dwID != SIMCONNECT_RECV_ID_EVENT_FRAME)
            return;
        const SimConnectApi& sc = gf_simConnect();
        for (ScDword id : self->objects) {
            self->block[0] += 1e-7;
            sc.SetDataOnSimObject(self->handle, DEFINITION_LATLONPIBAHEALVSTAS, id, 0, 0, sizeof self->block,
                                  self->block);
            ++self->writes;
        }
    }
};

// range(0): objects; range(1) / range(2): 1 = the stand-in traces every call / every position.
void BM_SimConnectFramePositions(benchmark::State& state)
{
    if (!gf_loadSimConnectFrom(gf_programFileFolder().parent_path() / "tests")) {
        state.SkipWithError("no stand-in SimConnect.dll in build/tests");
        return;
    }
    SimConnectStandin sim;
    if (!sim.bind()) {
        state.SkipWithError("the SimConnect.dll is not the stand-in");
        return;
    }
    sim.reset();
    const bool traced = state.range(1) != 0;
    sim.load({{"assign_delay_frames", 0}, {"trace_calls", traced}, {"trace_positions", state.range(2) != 0}});
    const SimConnectApi& sc = gf_simConnect();
    FrameWriter w;
    sc.Open(&w.handle, "Kelo", nullptr, 0, nullptr, 0);
    sc.SubscribeToSystemEvent(w.handle, EVENT_FRAME, "Frame");
    const char* fields[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                            "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    for (const char* f : fields)
        sc.AddToDataDefinition(w.handle, DEFINITION_LATLONPIBAHEALVSTAS, f, "degree", SIMCONNECT_DATATYPE_FLOAT64, 0,
                               SIMCONNECT_UNUSED);
    SIMCONNECT_DATA_INITPOSITION init{47.45, 8.56, 3000, 0, 0, 0, 0, 250};
    for (std::int64_t i = 0; i < state.range(0); ++i)
        sc.AICreateNonATCAircraft(w.handle, "A320", "HB-XYZ", init, 10000 + static_cast<ScDword>(i));
    sc.CallDispatch(w.handle, &FrameWriter::onPacket, &w);
    if (w.objects.size() != static_cast<std::size_t>(state.range(0))) {
        state.SkipWithError("not every object was created");
        return;
    }
    for (auto _ : state) {
        sim.advanceFrames(1);
        sc.CallDispatch(w.handle, &FrameWriter::onPacket, &w);
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["writes/ms"] =
        benchmark::Counter(static_cast<double>(w.writes) / 1000.0, benchmark::Counter::kIsRate);
    sc.Close(w.handle);
    sim.reset();
}
BENCHMARK(BM_SimConnectFramePositions)
    ->Args({500, 0, 0})
    ->Args({500, 1, 0})
    ->Args({500, 0, 1})
    ->Args({500, 1, 1})
    ->Iterations(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
