// Every live aircraft the engine knows, made active in the simulator at its
// first sample, as after its creation: the state the tick benchmarks start from.
#pragma once

#include <cstdint>

#include "engine/traffic_state.h"

inline void gf_activateEveryLiveAircraft()
{
    uint32_t objectId = 100;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        ac.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(ac, objectId++);
        const TrafficSample& f = ac.samples.front();
        ac.lat = f.lat;
        ac.lon = f.lon;
        ac.altitudeFt = f.altitudeFt;
        ac.groundMode = f.airborne ? 0 : 1;
        ac.phase = f.airborne ? FlightPhase::flying : FlightPhase::taxi;
    }
}
