// One tick of motion of an active live aircraft along its leg, the heading
// step, the predicted samples when the stream runs dry and the re-timing of
// the next sample. Main task only.
#pragma once

#include <cstdint>

#include "engine/aircraft.h"

void stepMotion(LiveAircraft& aircraft);
// One tick of a helicopter's turn in the hover while it holds on a stop
// sample, level.
void stepHoverTurn(LiveAircraft& aircraft);
// One tick of heading change toward `target` (radians).
void stepHeading(LiveAircraft& aircraft, double target, bool smooth);
// The radius (m) of the U-turn an aircraft rolls at walking pace before a
// leg back the way it faces.
double gf_turnRoundRadiusM(const LiveAircraft& aircraft);
// How many 3-second predicted samples the aircraft may fly on without data.
int32_t extrapolationBudget(LiveAircraft& aircraft);
// Appends one predicted sample and stores the budget.
void extrapolateSample(LiveAircraft& aircraft, int32_t budget);
