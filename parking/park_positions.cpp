#include "parking/park_positions.h"

std::atomic<bool> parkAirportChanged{false};

void gf_loadAirportParking() {}
void gf_unloadAirportParking() {}
