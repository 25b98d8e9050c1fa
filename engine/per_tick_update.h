// The engine's step of each 10 ms tick and the per-tick update of every live
// aircraft. Main task only.
#pragma once

#include "engine/aircraft.h"

// Applies the simulator's events, moves every live aircraft, paces creations
// and removals, takes traffic records, queues one creation request, does the
// periodic user-aircraft work and advances the engine clock.
void lf_handleAddingStack();
// updateLiveAc for every live aircraft, then the erasures and the position hand-over.
void lf_updateAllLiveAc();
// True when the aircraft is to be erased after the update.
bool updateLiveAc(LiveAircraft& aircraft);
// The five tick counters start again (engine reset).
void gf_resetTickCounters();

// Creation and removal pacing: hand the front of a queue to the simulator
// link. False when there was nothing to hand on.
bool gf_handOnOneRemoval();

// Live requests before static ones.
bool gf_handOnOneCreation();
