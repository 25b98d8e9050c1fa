// The checks of a new sample of an aircraft at its stand: leaving the stand,
// pulled out or pushed back. Main task only.
#pragma once

struct LiveAircraft;
struct TrafficSample;

// A parked aircraft: true when its samples show it leaving the stand.
bool checkAtStandSituations(LiveAircraft& aircraft, TrafficSample& sample);
// A push-back seen in the samples: true when the sample is taken.
bool lf_pushedBackCheck(LiveAircraft& aircraft, TrafficSample& sample);
