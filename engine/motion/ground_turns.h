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

// A ground report beside the runway a landing roll faster than taxi speed
// is on: the roll's exit.
// Where the roll leaves the centre line for it, at what speed, and whether
// a forward path from `from` (rolling at fromKt at engine time fromTime)
// slowing believably gets there by the report's time.
struct RunwayExit {
    bool beside = false;    // the report lies beside the runway the roll is on
    bool reachable = false; // a forward path fits
    LatLon corner;          // on the centre line, where the turn off begins
    double cornerM = 0.0;   // from `from` along the runway
    double exitKt = 0.0;    // the speed at the corner
    double cornerS = 0.0;   // seconds from `from` to the corner, slowing evenly
};
RunwayExit gf_runwayExit(const LiveAircraft& aircraft, const LatLon& from, double fromKt, int32_t fromTime,
                         const TrafficSample& report);
// A landing roll at taxi speed whose report lies beside its runway and behind
// it: true when stopping, turning round and taxiing back there does not fit
// the report's time.
bool gf_leftRunwayBehindSlowRoll(const LiveAircraft& aircraft, const LatLon& from, double fromKt, int32_t fromTime,
                                 const TrafficSample& report);
// In a landing roll whose next sample lies beside its runway: the corner on
// the centre line where it turns off is put before it, reached at exit
// speed, so that the turn planning lays the exit turn over it. True when the
// stream changed.
bool lf_planRunwayExit(LiveAircraft& aircraft);
// In a landing roll: the sample after the next one lies beside the runway,
// so the next one is the last on it; the exit is planned from there.
bool lf_exitAfterNextSample(const LiveAircraft& aircraft);
