// The static aircraft planned at stands. The plan stays empty.
#pragma once

#include <cstddef>

size_t gf_parkingPlanSize();
void gf_clearParkingPlan();
