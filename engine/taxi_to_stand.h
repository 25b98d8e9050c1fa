// The last metres of a live aircraft that has won a stand: a short synthetic
// path onto the stand point with the stand heading and a stop, in place of
// the live samples; and when a taxiing aircraft is handed over to parking.
// Main task only.
#pragma once

#include "engine/aircraft.h"

struct StandPoint {
    double lat = 0.0;     // degrees
    double lon = 0.0;     // degrees
    double heading = 0.0; // radians
};

// Replaces the rest of the stream (which holds the sample just reached) by
// the path to the stand: a lead-in point 10 m before it on its axis when the
// aircraft is too far off, too much to the side, turned away or beyond the
// stand's nose (from there round beside the stand first, and onto the axis
// 30 m out when the way turns onto it), the stand point, and a stop 50 ticks
// later. The aircraft drives there nose first along its way.
void drive2Stand(LiveAircraft& aircraft, const StandPoint& stand);

// A taxiing aircraft of the current airport whose samples have come to rest
// (the last one at 0.5 kt or less) is handed to parking: after a push-back
// (its samples stayed at 6 kt or less) or after its landing roll.
bool lf_parkingHandOverDue(const LiveAircraft& aircraft);
