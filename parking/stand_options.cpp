#include "parking/stand_options.h"

void gf_adoptStandOptionNames(int64_t, LiveAircraft&) {}
