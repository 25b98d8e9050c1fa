// The step taken when an aircraft reaches its front sample: the stream ahead
// is cleaned, the ground or air step plans the leg to the next sample, the
// leg's duration and per-tick position step are set and the reached sample
// is dropped. Main task only.
#pragma once

#include <cstdint>

#include "engine/aircraft.h"

void nextPosMain(LiveAircraft& aircraft);
void lf_advanceLeg(LiveAircraft& aircraft);
void nextPosGround(LiveAircraft& aircraft);
void nextPosAir(LiveAircraft& aircraft);
