// The leg set-up of the flight phases that the motion dispatch calls when a
// sample is reached (air legs: climb, cruise, descent; ground rolls), and the
// per-tick vertical motion, attitude and air arc that the motion step applies.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/aircraft.h"

inline LatLon lf_samplePosition(const TrafficSample& sample)
{
    return {sample.lat, sample.lon};
}
// The sample's vertical speed, 0 when not known.
inline double lf_sampleVs(const TrafficSample& sample)
{
    return std::isfinite(sample.verticalSpeedFpm) ? sample.verticalSpeedFpm : 0.0;
}

// The vertical motion, attitude, turn and path of an air leg of `legTicks`.
void planAirLeg(LiveAircraft& aircraft, int32_t legTicks);
// Throttle by speed, the take-off decision and the speed ramp or profile of
// a ground leg of `legTicks`.
void planGroundRollLeg(LiveAircraft& aircraft, int32_t legTicks);
// Ends a take-off or landing roll: the aircraft goes back to taxiing.
void abortTakeoffRoll(LiveAircraft& aircraft);

// The descent rate of an aircraft coming down to the ground, ft/min.
double defaultDescentVs(const LiveAircraft& aircraft);
// One tick of climb or descent toward `vsPerTick` (ft per tick).
void applyVerticalSpeed(LiveAircraft& aircraft, double vsPerTick, bool keep);
// A Light aircraft in the circuit levels off above its circuit altitude.
double limitLightClimb(const LiveAircraft& aircraft, double vsFpm);

// One tick along the air arc of the leg; false when no arc is being flown.
bool stepAirArc(LiveAircraft& aircraft);
// One tick of bank, pitch and vertical motion of an airborne aircraft
// outside the take-off.
void stepAirAttitude(LiveAircraft& aircraft);
// One tick of the roll's speed ramp (position and speed); false without one.
bool stepRollRamp(LiveAircraft& aircraft);
// The gear height above ground, ft.
double lf_gearHeightFt(const AircraftBase& aircraft);
