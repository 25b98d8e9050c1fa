#include "parking/stand_options.h"

void gf_adoptStandOptionNames(int64_t, LiveAircraft&) {}
void gf_addRealStandOption(int32_t, const LiveAircraft&, int) {}
