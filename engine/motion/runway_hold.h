// Aircraft that stop on or line up with a runway: the runway an aircraft
// lines up on, the hold before the take-off roll and the turn onto the runway
// when the samples stop there. Main task only.
#pragma once

#include <string>

#include "core/value_types.h"
#include "engine/aircraft.h"

// A sample that lies close behind the runway heading is dropped once (true:
// the stream changed); a taxiing aircraft whose next sample lies ahead along
// the runway heading starts its take-off roll.
bool lf_checkRunwayHeadingAhead(LiveAircraft& aircraft);
// A taxiing aircraft whose next leg turns past a runway it stands on lines
// up with the runway instead.
void lf_alignToRunwayOnEntry(LiveAircraft& aircraft);
// A stop sample of an aircraft that slowed on a runway is held back (true);
// it is appended after all when the next sample stops at the same place.
bool lf_rememberRunwayHold(LiveAircraft& aircraft, const TrafficSample& sample);
// True when the aircraft has stood at `position` on runway `key` for 300
// ticks or more; else starts (or keeps) that watch and returns false.
bool lf_heldOnSameRunway(RunwayHolds& aircraft, const std::string& key, const LatLon& position);
// After the motion of each tick: the measured ground speed, and the turn
// onto a runway where the aircraft has stopped.
void lf_trackRunwayHold(LiveAircraft& aircraft);
// At the start of the ground step: the runway of the next stop, when the
// aircraft stops lined up with it.
void lf_scanRunwayHold(LiveAircraft& aircraft);

// The measured ground speed of the last window, knots (NaN before the first).
double lf_measuredSpeedKt(const LiveAircraft& aircraft);
