// Parking runs and limits. No static aircraft are placed yet.
#pragma once

#include <cstdint>

// The first parking plan of a freshly loaded airport.
void gf_buildParkingPlan();
// The periodic parking adjustment; takes the engine lock itself.
void gf_adjustParking(bool parkTrafficOnly);
void gf_setStaticStandQuota();
void gf_enforceParkedLimit(bool renew);
uint64_t gf_countStaticParked(bool show);
uint64_t gf_countLiveParked(bool show);
#include "engine/traffic_state.h" // lf_runParkedTimers
