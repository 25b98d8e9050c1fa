// The stand searches of a parking run.
#pragma once

#include <cstdint>

#include "engine/aircraft.h"

// The current week slot published by the main loop.
WeekSlot lf_weekSlotNow();
// Runs the searches of one run until `needed` stands are used.
void lf_runStandSearches(WeekSlot now, int32_t needed);
