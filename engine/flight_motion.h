// The leg set-up of the flight phases that the motion dispatch calls when a
// sample is reached: air legs (climb, cruise, descent) and ground rolls.
#pragma once

#include <cstdint>

#include "engine/aircraft.h"

// The vertical motion, attitude and heading steps of an air leg of `legTicks`.
void planAirLeg(LiveAircraft& aircraft, int32_t legTicks);
// The speed profile of a ground leg of `legTicks`.
void planGroundRollLeg(LiveAircraft& aircraft, int32_t legTicks);
// Ends a take-off roll: the aircraft goes back to taxiing.
void abortTakeoffRoll(LiveAircraft& aircraft);
// The aircraft starts its take-off roll (rolling: it comes straight out of a
// landing roll, a touch-and-go).
void enterTakeoffRoll(LiveAircraft& aircraft, bool rolling);
// The take-off roll of an aircraft that taxied or was towed onto the runway.
void enterTowedTakeoffRoll(LiveAircraft& aircraft);
