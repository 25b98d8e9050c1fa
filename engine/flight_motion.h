// The leg set-up of the flight phases and of the ground moves that the motion
// dispatch calls when a sample is reached: air legs (climb, cruise, descent),
// ground rolls, holds at a stop, and the arrival at the stand.
#pragma once

#include <cstdint>

#include "engine/aircraft.h"

// The vertical motion, attitude and heading steps of an air leg of `legTicks`.
void planAirLeg(LiveAircraft& aircraft, int32_t legTicks);
// The speed profile of a ground leg of `legTicks`.
void planGroundRollLeg(LiveAircraft& aircraft, int32_t legTicks);
// The aircraft stops where it is until its next sample.
void lf_holdLeg(LiveAircraft& aircraft);
// The end of the taxi to the stand; false when the aircraft cannot park.
bool arriveAtStand(LiveAircraft& aircraft);
