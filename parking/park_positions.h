// The park positions of the current airport: its stands with their flight
// options from the airport file, its runways from the simulator, the user's
// own stand, and the first parking plan; and leaving the airport again.
// Main task only.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Set when the park airport changed; the main loop clears it before it loads
// the parking again.
extern std::atomic<bool> parkAirportChanged;

// Loads the current airport's park positions and builds the first plan; a
// failed load is shown and logged and leaves no airport loaded.
void gf_loadAirportParking();
// Leaves the current airport: saves what was learned, forgets the airport,
// its stands, runways and plan. Static aircraft already in the simulator stay.
void gf_unloadAirportParking();

struct ParkedFileOutcome {
    std::string message; // for the user when the load failed
    bool ok = false;
};
// Reads the current airport's file into the stand table and the runway table.
ParkedFileOutcome lf_readParkedFile();
