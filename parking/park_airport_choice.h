// The user's park airports file and the choice of the park airport while the
// user flies: the nearest park airport moves to the front, the current airport
// is chosen from the user aircraft, and an airport out of reach is left.
#pragma once

#include "core/value_types.h"

// What the choice needs of the user aircraft.
struct ParkUserPosition {
    LatLon position;
    double altitudeFt = 0.0;
    bool onGround = false;
};

void gf_readMyParkAirportsFile();
void gf_saveMyParkAirportsFile();
// Within AIRP_RANGE nm (flat earth) and not above AIRP_HEIGHT feet.
bool lf_isAirportWithinReach(const ParkUserPosition& user, const LatLon& airport);
void gf_selectNearestParkAirport(const ParkUserPosition& user);
void gf_chooseParkAirport(const ParkUserPosition& user);
void gf_checkParkAirportReach(const ParkUserPosition& user);
