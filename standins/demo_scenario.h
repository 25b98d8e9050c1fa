// The demo's world at Amsterdam: the stand-in simulator's runways from the
// published runway list, and about two minutes of traffic for the stand-in
// App on them (departures, arrivals, taxiing, overflights and aircraft
// parked at stands), written as the JSON the two stand-ins read.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "standins/rt_app_scenario.h"
#include "standins/track_generator.h"

namespace kvr::standin {

// The facility data of the runways ("RUNWAY" and "START" arrays, altitudes
// and lengths in metres) as the stand-in simulator's airports carry it.
nlohmann::json gf_facilityRunways(const std::vector<RunwayGeometry>& runways);

// The aircraft parked at Amsterdam's stands, as the App reports them.
std::vector<AppParked> gf_amsterdamDemoParked();

// A stand of the stand-in's facility data, named "GATE <letter><number>".
struct DemoStand {
    char letter = 'A';
    int number = 0;
    LatLon position;
    double headingDeg = 0.0;
    double radiusM = 0.0;
    int type = 9; // GATE_MEDIUM
};

// The stands at Amsterdam: the user's pier and the piers where the demo's
// parked aircraft stand, each of them on a stand of its own.
std::vector<DemoStand> gf_amsterdamDemoStands();

// The "TAXI_PARKING" array of these stands, placed by their offsets (BIAS_X
// east, BIAS_Z north, metres) from the airport's reference point.
nlohmann::json gf_facilityStands(LatLon airport, const std::vector<DemoStand>& stands);

// The demo traffic around Amsterdam on these runways.
RtAppScenario gf_amsterdamDemoTraffic(const std::vector<RunwayGeometry>& runways);

// The scenario as the stand-in App reads it (tracks as "points").
nlohmann::json gf_scenarioJson(const RtAppScenario& scenario);

} // namespace kvr::standin
