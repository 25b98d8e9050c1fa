// The end of a live aircraft's taxi to its stand, and the respawn with a new
// livery. Main task only.
#pragma once

#include "engine/aircraft.h"

struct ParkedTimer;

// The aircraft has reached the end of its path to the stand: it parks when
// it stands on the stand (within 18 m, within 40 degrees of the stand
// heading) and nobody else holds it; short of it, it gives the stand up and
// taxis on (true either way). False when it may not park here: it moves on
// along whatever samples come and leaves when they run dry.
bool arriveAtStand(LiveAircraft& aircraft);

// Takes the aircraft's simulator object away so that it is created again at
// the same place (with the livery already chosen by the caller).
void liveryRespawn(LiveAircraft& aircraft);

// The sample stream starts again at the aircraft's present pose (parked: its
// stand), so that a new object is created where the old one stood.
void lf_startAgainFromHere(LiveAircraft& aircraft);

// No object any more: the spawn path creates the aircraft again, and the
// next throttle and flaps commands are sent whatever they were.
void lf_backToBuffer(AircraftBase& aircraft);

// Fires the parked timer due next (at most one per call).
void lf_runParkedTimers();

// Adds a parked timer, keeping the list sorted (due next last).
void gf_addParkedTimer(const ParkedTimer& timer);
