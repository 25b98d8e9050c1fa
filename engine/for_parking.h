// What parking may see of and ask of the engine besides the parking plan
// (engine/static_placement.h): views of the live and static aircraft, the
// removals it may ask for, and the report of a caught exception. Parking writes no field
// of a live aircraft, and of a static one only keepStand and callsign.
// Main task only.
#pragma once

#include <cstdint>
#include <span>

#include "engine/aircraft.h"

// The live aircraft, read only.
std::span<const LiveAircraft> gf_liveAircraftView();
// The static aircraft; parking marks keepStand and callsign on them.
std::span<StaticAircraft> gf_staticAircraftView();

// The aircraft leaves the simulator by the path its state calls for.
void gf_removeForParking(const AircraftBase& aircraft);
// The n live aircraft parked longest leave (the parked limit).
void gf_removeOldestLiveParkedForParking(int64_t n);
// The park airport is left: every static aircraft and the live aircraft on
// the ground go.
void gf_leaveParkAirport();
// Empties the active traffic reader's parked list before parked traffic is
// asked for again.
void lf_clearRtParkedTraffic();
// The parked-limit holds name stands of the airport that was left.
void gf_forgetParkedLimitHolds();

// Inside a catch clause: the exception is reported as the engine's traffic
// exceptions are. Never throws.
void gf_reportParkingException(const char* function) noexcept;
