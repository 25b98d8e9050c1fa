// The take-off: the roll on the runway, the decision when the real aircraft
// left the ground, the rotation and the climb-out into `flying`. Main task
// only, inside the per-tick update of one aircraft.
#pragma once

#include <cstdint>

#include "core/value_types.h"
#include "engine/aircraft.h"

// Rotation speed of the take-off in knots: level 1 Vr, 2 Vr - 10, 3 Vr - 20.
double lf_takeoffVr(const AircraftBase& aircraft, int level);
// The height above ground that the configuration and the climb-out use:
// above the current airport when within 10 NM of it, else the front
// sample's altitude.
double lf_heightAboveGround(const LiveAircraft& aircraft);

// Phase `takeoff_roll` and the commands of the roll; `rolling` when the roll
// follows a landing roll (touch-and-go).
void enterTakeoffRoll(LiveAircraft& aircraft, bool rolling);
// The same for an aircraft that was towed to the runway.
void enterTowedTakeoffRoll(LiveAircraft& aircraft);
// Lift-off, abandonment or removal of a roll; true when the aircraft was removed.
bool checkTakeoffRoll(LiveAircraft& aircraft);
// 0 none, 1 lift off along the samples, 2 lift off with the category climb rate.
int takeoffDecision(const LiveAircraft& aircraft);
// 0 not now, else the level of the speed that let the aircraft lift off.
int liftoffDecision(LiveAircraft& aircraft);
// Sets the climb rate, then enters the take-off.
void startTakeoff(LiveAircraft& aircraft, int mode);
// Phase `takeoff`: rotation set-up and the "take off" message.
void enterTakeoff(LiveAircraft& aircraft, int mode);
// Drops the samples before the k-th when that one is airborne.
bool skipToLiftoffSample(LiveAircraft& aircraft, size_t k);
void climbRateToNextSample(LiveAircraft& aircraft);
void applyTakeoffVsFloor(LiveAircraft& aircraft);
// On the take-off runway within `lengthM` metres before its end.
bool isAlignedOnRunway(const LiveAircraft& aircraft, double lengthM);
// One tick of rotation and climb-out in phase `takeoff`.
void stepTakeoff(LiveAircraft& aircraft);
// The decision taken again on the tick after it said "not yet".
void retryTakeoff(LiveAircraft& aircraft);
// A Light aircraft rolling or lifting off stays on the runway's line through
// `previous` (the position at the start of the tick).
void keepLightOnRunwayLine(LiveAircraft& aircraft, const LatLon& previous, double startHeading);
