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

// False when the record leads to a respawn (or is dropped) instead of
// joining the stream.
bool checkRespawn(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// Appends the checked sample to the stream, or drops it.
void decodeExisting(LiveAircraft& aircraft, const TrafficSample& sample);
// True when the sample (possibly changed) is to be appended.
bool checkExtendingSituations(LiveAircraft& aircraft, TrafficSample& sample);
// A parked aircraft: true when its samples show it leaving the stand.
bool checkAtStandSituations(LiveAircraft& aircraft, TrafficSample& sample);
bool checkNewPosDuringLanding(LiveAircraft& aircraft, TrafficSample& sample);
bool checkNewPosDuringTakeoff(LiveAircraft& aircraft, TrafficSample& sample);

// The aircraft's destination is the current airport and its origin is not.
bool gf_inboundToCurrentAirport(const AircraftBase& aircraft);

