// Reports that cannot be where the aircraft went: the jitter of an aircraft
// standing lined up for its take-off, and positions that step back against
// the reported track (noise of the position source, multilateration in the
// air). Both are dropped by the sample checks so that the aircraft keeps its
// place or its course. A take-off roll keeps to its runway's centre line.
#pragma once

#include "engine/aircraft.h"

// Lined up in its take-off roll and standing: a report within a few metres
// of the last one, at 2 kt or less, is the position source's jitter.
bool gf_standingJitterInRoll(const LiveAircraft& aircraft, const TrafficSample& sample);

// Both reports moving the same way, and the new one lies behind the last one
// along its track by more than the position noise: no aircraft gets there
// without turning round, which the reported track would show. Judged against
// the last report, never against a predicted sample or a held stop. Never
// so for a helicopter in the air, which hovers and flies any way.
bool gf_stepsBackAgainstTrack(const LiveAircraft& aircraft, const TrafficSample& sample);

// On the ground, both reports moving the same way on one track, and the new
// one lies beside the last one's track by more than the position noise and
// more across it than along it: no aircraft moves sideways while it keeps
// its track. Two receivers placing one aircraft tens of metres apart give
// such reports.
bool gf_stepsAsideOfTrack(const LiveAircraft& aircraft, const TrafficSample& sample);

// The ground report moved from the last report as far as its reported speed
// carries it in the time between them, along or against its track (a
// push-back reports the nose's direction): movement, not noise round a stop.
bool gf_movedAsReported(const LiveAircraft& aircraft, const TrafficSample& sample);

// In a take-off roll on its runway: a report beside the centre line (within
// the runway's half width and 30 m) short of the runway's end is moved toward
// it, so that the roll runs along the runway whatever the position noise. So
// is a report in the air there while the aircraft still rolls: the roll
// toward it would otherwise leave the centre line before the lift-off. The
// aircraft's own offset from the line is taken out gradually: a report
// abeam of it may lie as far off as the aircraft, one 600 m or more ahead
// lies on the line, those between in between.
void gf_keepOnTakeOffCentreLine(const LiveAircraft& aircraft, TrafficSample& sample);
// The same for the samples ahead of the aircraft once its take-off roll
// has its runway.
void gf_keepStreamOnTakeOffCentreLine(LiveAircraft& aircraft);

// A ground report faster than any runway exit is taken, its track along the
// runway whose heading is given (degrees): a report of the roll itself,
// wherever the feed's position error places it beside the centre line.
bool gf_rollsAlongRunway(const TrafficSample& sample, double runwayHeadingDeg);
// Landing: a report of the roll (above), or in the approach a report in the
// air along the runway, beside the centre line of the runway it lands on
// (else of the runway under the report, else of the final it flies down),
// within the runway's half width and 30 m (400 m while the aircraft is still
// in the air), short of the runway's end and not on another runway, is moved
// toward it. Past the touch-down zone (300 m from the runway's beginning) it
// is moved onto it; before, it
// may lie off it by a share of that width that grows evenly back to the whole
// width 700 m before the runway: the approach flies the offset of its reports
// out gradually, and the roll is on the centre line from its touch-down.
// The roll runs along the runway; only a report at exit speed or turning off
// leads off it.
void gf_keepOnLandingCentreLine(const LiveAircraft& aircraft, TrafficSample& sample);
// The same for the reports ahead: in the approach its reports in the air and
// the roll's after them, in a landing roll the roll's reports, up to the first
// slower one or one that turns off.
void gf_keepStreamOnLandingCentreLine(LiveAircraft& aircraft);

// A slow report (under 5 kt) on the ground that lies just behind the last
// report along its track, or near a last report that stands (2 kt or less),
// within the ground position noise, is where that aircraft stopped: it is
// moved onto the stream's last sample (which the standing filter then takes
// as a stop), so that the aircraft does not turn round to creep to it. True when
// it was moved. Judged on the reports alone (the last report, not the held
// stop): an aircraft still waiting to be created on the ground gets the same
// stop, and a report that moved as its speed says (a creeping queue, a
// push-back) is no stop.
bool gf_holdStopBehind(const LiveAircraft& aircraft, TrafficSample& sample);
