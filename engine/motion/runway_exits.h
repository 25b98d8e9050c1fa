// The runway exit after a landing roll: where a roll turns off toward a
// report beside its runway, and how fast. Main task only.
#pragma once

#include "engine/aircraft.h"

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
    // A report behind the corner: the roll turns off at a right angle onto
    // the line abeam the report, then taxis back along it.
    bool turnsBack = false;
    LatLon abeam;
    double onKt = 0.0; // the speed from the exit on to the report
    double lagS = 0.0; // seconds the report waits for the roll
};
RunwayExit gf_runwayExit(const LiveAircraft& aircraft, const LatLon& from, double fromKt, int32_t fromTime,
                         const TrafficSample& report);
// A landing roll at taxi speed whose report lies beside its runway and behind
// it: true when stopping, turning round and taxiing back there does not fit
// the report's time.
bool gf_leftRunwayBehindSlowRoll(const LiveAircraft& aircraft, const LatLon& from, double fromKt, int32_t fromTime,
                                 const TrafficSample& report);
// A report beside the runway that a landing roll (at `from`, rolling at
// fromKt at engine time fromTime) reaches neither forward in its time nor by
// stopping and taxiing back: the aircraft left the runway unseen.
bool gf_leftRunwayUnseen(const LiveAircraft& aircraft, const LatLon& from, double fromKt, int32_t fromTime,
                         const TrafficSample& report);
// In a landing roll whose next sample lies beside its runway: the corner on
// the centre line where it turns off is put before it, reached at exit
// speed, so that the turn planning lays the exit turn over it. True when the
// stream changed.
bool lf_planRunwayExit(LiveAircraft& aircraft);
// In a landing roll: a sample of the way off the runway, one of the exit's
// or a report beside the runway it landed on. The reports that follow it go
// where the taxiing aircraft goes, behind the roll's way or not.
bool gf_besideLandingRunway(const LiveAircraft& aircraft, const TrafficSample& sample);
// In a landing roll: the sample after the next one lies beside the runway,
// so the next one is the last on it; the exit is planned from there.
bool lf_exitAfterNextSample(const LiveAircraft& aircraft);
