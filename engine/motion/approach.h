// The approach and landing: configuration by height, the landing and
// go-around decisions, the glide toward the landing runway, the timing of
// the touch-down and the four-stage flare. The touch-down itself comes from
// the simulator (enterLandingRoll). Main task only.
#pragma once

#include "engine/aircraft.h"
#include "runways/runway_matching.h"

// Lights, throttle, flaps and gear by height below 10000 ft; the landing
// checks at the approach gate.
void configureApproach(LiveAircraft& aircraft, double heightAboveGroundFt);
// Enters `landing`, goes around, or sets the climb configuration.
void checkLandingState(LiveAircraft& aircraft);
// The sample on the ground lies more than 50 m before the landing runway.
bool isShortOfRunway(const LiveAircraft& aircraft, const TrafficSample& sample);
// The landing runway under the aircraft, or the stored one carried forward.
RunwayMatch landingRunwayMatch(const LiveAircraft& aircraft);
// The runway a landing aircraft is bound for: the one at its position, else
// the one whose extended centre line it flies down (up to 10 km out), else
// the stored landing runway carried forward. Invalid when none is known.
RunwayMatch finalApproachRunway(const LiveAircraft& aircraft);
// A landing whose next report is on the ground off its runway, or short of
// the threshold and too slow to be flown over, touches down in the
// touch-down zone first: a sample there goes before that report, and the
// slow reports short of the threshold are dropped. True when the stream
// changed.
bool landOnRunwayFirst(LiveAircraft& aircraft);
// Moves the first sample on the ground onto the aim point of the runway.
void timeTouchdown(LiveAircraft& aircraft);
// The descent (ft per tick) that keeps the aircraft on its glide.
double glidePathVs(LiveAircraft& aircraft, double vsPerTick);
// One tick of descent in `landing`.
void applyLandingVerticalSpeed(LiveAircraft& aircraft, double vsPerTick);
// The ground a landing must stay above: the runway elevation, or the
// simulator's ground where it lies higher (air reports in pressure altitude
// at a high field may read under the runway).
double landingGroundFt(const LiveAircraft& aircraft, double runwayElevationFt);
// The flare stages by height above ground.
void stepFlare(LiveAircraft& aircraft);
// At touch-down: whether the stream climbs again (a touch-and-go); then the
// samples before the climb (all of them without one) are put on the ground.
bool lf_findTouchAndGoClimb(LiveAircraft& aircraft);
