// How hard a roll brakes: the speed ramp of a roll slowing on its runway
// toward a slower leg (an exit, a taxi speed).
#pragma once

#include "engine/flight_state.h"

// Harder than this (m/s², about 8 kt/s) no landing roll brakes.
inline constexpr double kRollHardestBrakeMps2 = 4.1;

// A ramp over the straight leg from `from` to `to` in `seconds` that brakes
// from v0 into v1 (m/s, v1 below v0): never faster than v0, never slower than
// v1, never braking harder than a roll does. When the leg's time is too short
// for that, `seconds` is lengthened to the even braking's time (the leg then
// ends later). False when no such ramp fits (the leg is too short to brake).
bool lf_planBrakingRamp(RollRamp& ramp, const LatLon& from, const LatLon& to, double& seconds, double v0, double v1);
