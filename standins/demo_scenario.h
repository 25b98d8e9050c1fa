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

// The demo traffic around Amsterdam on these runways.
RtAppScenario gf_amsterdamDemoTraffic(const std::vector<RunwayGeometry>& runways);

// The scenario as the stand-in App reads it (tracks as "points").
nlohmann::json gf_scenarioJson(const RtAppScenario& scenario);

} // namespace kvr::standin
