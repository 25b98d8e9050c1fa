// Edits of an aircraft's stream of received samples, shared by the sample
// checks and the motion: appending a report, dropping false stops, making the
// front due, retiming the next sample, inserting one half-way, following the
// samples again, and the speed of the leg between the first two. Main task
// only.
#pragma once

#include <cstdint>

struct LiveAircraft;
struct StreamState;
struct TrafficSample;

// The report goes into the stream; it is the one the next are judged against.
void lf_appendReport(StreamState& aircraft, const TrafficSample& sample, const TrafficSample& received);
// A run of stops after a sample that moved, when the new sample shows the
// aircraft merely slowed down: the stops go.
void lf_dropFalseStops(StreamState& aircraft, const TrafficSample& sample);
// The front sample falls due at the next tick.
void lf_frontDueNow(StreamState& aircraft);
// The next sample falls due `ticksFromNow` from now, within the lag limits.
void retimeNextSample(LiveAircraft& aircraft, int32_t ticksFromNow);

// A sample half-way between the first two, inserted as the second.
void insertMidSample(StreamState& aircraft);
// The speed (kt, at least 1) at which the leg from the front sample to the
// next is flown.
double lf_legSpeedKt(const LiveAircraft& aircraft);

// The aircraft follows its samples again.
void lf_restartNormalFlight(LiveAircraft& aircraft);
