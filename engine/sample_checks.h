// Checks of a new sample of a known aircraft before it joins the stream, the
// quarantine release and the end of an aircraft whose stream ran out.
#pragma once

#include "engine/aircraft.h"

// Feeds the sample to the address's quarantine. True when the address is not
// (or no longer) quarantined; an entry is released after three consistent
// samples.
bool releaseQuarantine(uint32_t hexid, const TrafficSample& sample, double timestamp);
// False when the sample leads to a respawn instead of joining the stream.
bool checkRespawn(LiveAircraft& aircraft, const TrafficSample& sample);
// Appends the checked sample to the stream.
void decodeExisting(LiveAircraft& aircraft, const TrafficSample& sample);
// The stream has nothing more to fly to: the aircraft leaves the simulator.
void noMoreNextPos(LiveAircraft& aircraft);
