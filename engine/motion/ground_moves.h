// Ground moves of a live aircraft away from its stand: push-back, pull-out,
// and the hold at a stop sample.
#pragma once

#include "engine/aircraft.h"

// Starts the push-back of a parked aircraft 2.5 stand radii straight back,
// or cancels it (logged) when the stand has no usable radius.
void initiatePushBack(LiveAircraft& aircraft);
// Leaves the stand forward, two aircraft radii along the stand's axis, and
// taxis.
void lf_pullOutOfStand(LiveAircraft& aircraft);
// The aircraft stops where it is until its next sample.
void lf_holdLeg(LiveAircraft& aircraft);
