// Checks of a new sample of a known aircraft before it joins the stream: the
// identity checks that respawn it with another livery, the quarantine of an
// address after a ground jump, and by flight phase the stand, push-back,
// take-off and landing checks. Main task only.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "core/geodesy.h"
#include "engine/aircraft.h"

struct LiveTrafficRecord;

// Appends the checked sample to the stream, or drops it.
void decodeExisting(LiveAircraft& aircraft, const TrafficSample& sample);
// True when the sample (possibly changed) is to be appended.
bool checkExtendingSituations(LiveAircraft& aircraft, TrafficSample& sample);
bool checkNewPosDuringLanding(LiveAircraft& aircraft, TrafficSample& sample);
bool checkNewPosDuringTakeoff(LiveAircraft& aircraft, TrafficSample& sample);

