// Every live aircraft the engine knows, made active in the simulator at its
// first sample, as after its creation: the state the tick benchmarks start from.
#pragma once

#include <cstdint>

#include "engine/traffic_state.h"

inline void gf_activateEveryLiveAircraft()
{
    uint32_t objectId = 100;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        ac.sim.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(ac, objectId++);
        const TrafficSample& f = ac.stream.samples.front();
        ac.motion.lat = f.lat;
        ac.motion.lon = f.lon;
        ac.motion.altitudeFt = f.altitudeFt;
        ac.phases.groundMode = f.airborne ? 0 : 1;
        ac.phases.phase = f.airborne ? FlightPhase::flying : FlightPhase::taxi;
    }
}
