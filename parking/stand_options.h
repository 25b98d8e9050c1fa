// Stand options by half-hour window.
#pragma once

#include <cstdint>

struct LiveAircraft;

// Adopts a stand option's names for a newly seen aircraft; no options are
// known yet.
void gf_adoptStandOptionNames(int64_t weekdayAndHalfHour, LiveAircraft& aircraft);
