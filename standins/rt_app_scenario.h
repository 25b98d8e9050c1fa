// Synthetic traffic for the stand-in App: aircraft around an airport that
// move by dead reckoning along legs (speed change, climb or descent, turn),
// read from a JSON scenario file, and the parked aircraft of the airport.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "standins/rt_app_standin.h"
#include "standins/track_generator.h"

namespace kvr::standin {

struct ScenarioLeg {
    double seconds = 0.0;
    double accel = 0.0; // knots per second
    double vs = 0.0;    // feet per minute
    double turn = 0.0;  // degrees per second
};

struct ScenarioAircraft {
    AppAircraft start;
    std::vector<ScenarioLeg> legs;
    // A recorded track ("points": [[t, lat, lon, alt_ft, gs, track, vs], ...],
    // t in scenario seconds) replaces the legs: the aircraft is reported only
    // between its first and last point, interpolated in between.
    std::vector<TrackPoint> track;
    // The track's points are the App's own reports ("reports": true): each
    // stands as it is, not interpolated, and is sent once.
    bool reports = false;
};

struct RtAppScenario {
    std::string airport;
    std::string metar;
    double loopSeconds = 900.0;
    std::vector<ScenarioAircraft> aircraft;
    std::vector<AppParked> parked;

    // Throws std::runtime_error with the file and the reason.
    static RtAppScenario load(const std::filesystem::path& file);
    // Every aircraft `seconds` after the scenario start (the scenario loops);
    // of an aircraft given by reports, its last report when that came after
    // `since` seconds.
    std::vector<AppAircraft> stateAt(double seconds, double since = -1.0) const;
};

} // namespace kvr::standin
