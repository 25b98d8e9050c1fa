// Ground moves of a live aircraft away from and into its stand: holds at a
// stop, push-back and pull-out.
#pragma once

#include "engine/aircraft.h"

// The aircraft stops where it is until its next sample.
void lf_holdLeg(LiveAircraft& aircraft);
