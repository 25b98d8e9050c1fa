// The park positions of the current airport. No parking is loaded yet.
#pragma once

#include <atomic>

// Set when the park airport changed; the main loop clears it before it loads
// the parking again.
extern std::atomic<bool> parkAirportChanged;

void gf_loadAirportParking();
void gf_unloadAirportParking();
