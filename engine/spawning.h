// Spawning: a new live aircraft waits in state buffer until its first
// sample's play time; the gate lets it through, holds it or drops it, and
// spawnLiveAc fixes its first phase, livery and pose and puts it on the adding
// stack. Main task only.
#pragma once

#include <optional>

#include "engine/aircraft.h"
#include "airports/stand.h"

// One tick of an aircraft in buffer.
void lf_spawnGate(LiveAircraft& aircraft);
void spawnLiveAc(LiveAircraft& aircraft);
// The stand a live aircraft first seen standing at the user's airport takes.
std::optional<Stand> lf_chooseSpawnStand(LiveAircraft& aircraft);
// Before a new livery is chosen: the remembered livery is forgotten and the
// aircraft is born again.
void lf_resetForNewLivery(LiveAircraft& aircraft);
// True when the spawn must wait for the user aircraft (the front sample is
// dropped then).
bool lf_holdSpawnForUser(LiveAircraft& aircraft);
// Airline, cargo type and registration data completed before the livery choice.
void lf_completeIdentity(IdentityAndModel& aircraft);
