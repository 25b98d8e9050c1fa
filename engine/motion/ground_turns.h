// Turn planning of an aircraft on the ground. Live samples of a taxiing
// aircraft come every few seconds, so a taxiway corner shows as a sharp bend
// between three samples. Before the aircraft drives to its next sample the
// planning decides whether the bend ahead needs a turn, where it must start
// for the speed, and which curve carries the aircraft round it: it merges a
// nearly straight zig-zag of samples into one leg, inserts a sample before or
// after the corner, or lays a GroundTurn or GroundCurve over the corner and
// consumes the corner sample(s). Main task only.
//
// s0 is the front sample (just reached), s1, s2, s3 the following ones.
#pragma once

#include "engine/aircraft.h"

// Turn-rate factor of a ground speed (kt): 1.2 up to 8 kt falling to 0.6 above 30.
double gf_groundSpeedFactor(double speedKt) noexcept;
// The aircraft's ground turn rate in degrees per second at the s0 speed.
double gf_groundTurnRateDegS(const LiveAircraft& aircraft) noexcept;
// How far ahead a turn is looked for at a speed (kt): 100..160 m.
double gf_turnLookAheadM(double speedKt) noexcept;
// Where a turn of angleDeg at speedKt must begin before the corner: 12..90 m.
double gf_turnLeadM(double angleDeg, double speedKt, double turnRateDegS) noexcept;

// The decision for the bend ahead; true when the stream or the curves changed.
bool lf_planGroundTurn(LiveAircraft& aircraft);
// Lays the curve over the corner s1; true when one was laid.
bool makeTurnGnd(LiveAircraft& aircraft, double turnAngleDeg);
// makeTurnGnd unless s2 repeats s0 or s1; remembers the angle on success.
bool lf_makeTurnNow(LiveAircraft& aircraft, double turnAngleDeg);
// A sample d metres before s1 on the line from s0 (or from the aircraft).
bool lf_insertSampleBeforeCorner(LiveAircraft& aircraft, double distanceM, bool fromCurrent);
// A sample d metres after s1 on the line to s2.
bool lf_insertSampleAfterCorner(StreamState& aircraft, double distanceM);
// Drops s1..s(k-1) when they only zig-zag about the line to sk.
bool lf_mergeStraightRun(LiveAircraft& aircraft, size_t k);
// A bend reported as an arc of samples from s1 to sk (legs turning one way
// by 30..150 degrees in all, sk followed by a leg straight on): s1..s(k-1)
// become the one corner where the line into s1 meets the line out of sk.
bool lf_mergeSampledBend(LiveAircraft& aircraft);
// Splits a long first leg whose speed changes much (or the first leg after
// a push-back), so that the change is spread.
void lf_checkSpeedChangeSplit(LiveAircraft& aircraft, bool afterPushBack);
