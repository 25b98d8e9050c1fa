// Braking on the ground: an aircraft slows no harder than its brakes allow,
// and into every stop and speed limit ahead of it before it gets there.
// Main task only.
#pragma once

#include "core/geodesy.h"
#include "engine/aircraft.h"

// The hardest an aircraft on the ground slows, per tick (kt): a landing roll
// brakes harder than a taxi.
double gf_brakeKtPerTick(const LiveAircraft& aircraft);
// The fastest the aircraft at `here` may move this tick so that, braking no
// harder than it can, it is down to every limit its reports set ahead by the
// time it gets there: a standstill where they freeze or stop, the pace of a
// slower leg, the taxi speed where they leave the runways. Infinity when
// nothing ahead limits it.
double gf_brakingCapKt(const LiveAircraft& aircraft, const LatLon& here);
