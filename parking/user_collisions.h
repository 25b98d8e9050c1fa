// The user aircraft against the traffic and the airport: whether the user
// flies, the removal of aircraft that the user runs into or that come too
// close, and whether a position lies near a runway of the current airport.
// Main task only.
#pragma once

#include "core/value_types.h"

// True when the simulator reports the user off the ground, or on the ground
// but more than 500 ft above it.
bool lf_userIsAirborne();
// Removes at most one active aircraft on the ground that the user aircraft
// touches: live aircraft first, then static ones.
void gf_checkUserAcGndCollisions();
// The per-tick collision checks of every active live aircraft against the
// user aircraft.
void gf_checkUserCollisions();
// True when the position lies within half a runway's length + 1500 m of the
// centre of a runway of the current airport.
bool gf_isNearAnyRunway(const LatLon& position);
