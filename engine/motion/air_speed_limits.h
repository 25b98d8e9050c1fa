// The speeds an aircraft flies at: no faster than its reports go by a
// quarter, and below 10,000 ft a little under 380 kt (an aeroplane) or 160 kt
// (a helicopter), the most they fly there. A
// leg that would need more is flown at the most and the samples wait; the
// time lost is made up within the same bound on the legs after. Main task
// only, inside the per-tick update of one aircraft.
#pragma once

#include <cstdint>

#include "core/geodesy.h"

struct LiveAircraft;

// The pace (kt) of the reports between the front sample and the next: their
// distance over their time or their reported speeds, whichever is more; 0
// when they give none. Taken before the next sample is re-timed.
double airReportsPaceKt(const LiveAircraft& aircraft);
// The most (kt) an aircraft aloft moves at over reports of that pace.
double mostAirKt(const LiveAircraft& aircraft, double reportsKt);
// The air leg about to begin toward the next sample, due in `legTicks`:
// flown no faster than the most, its samples waiting, or faster within the
// most to make up the time they waited. The leg's ticks.
int32_t boundAirLeg(LiveAircraft& aircraft, double reportsKt, int32_t legTicks);
// A step from `from` lifting off covers no more than the speed written (nor
// than aircraft fly low down); its samples wait.
void boundAirStep(LiveAircraft& aircraft, const LatLon& from);
// Its samples waited aloft longer than a lag it could still make up.
bool airLagBeyondReach(const LiveAircraft& aircraft);
