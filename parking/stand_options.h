// Stand options by half-hour window.
#pragma once

#include <cstdint>

struct LiveAircraft;

// Adopts a stand option's names for a newly seen aircraft; no options are
// known yet.
void gf_adoptStandOptionNames(int64_t weekdayAndHalfHour, LiveAircraft& aircraft);
// Records that the aircraft stands on the stand now (occasion 0: at its stand
// after arriving or already parked, 1: spawned parked, 2 and 3: found at the
// stand by its samples). Options are not learned yet: nothing is recorded.
void gf_addRealStandOption(int32_t standId, const LiveAircraft& aircraft, int occasion);
