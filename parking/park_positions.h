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
// failed load is shown and logged and leaves no airport loaded. In RT Direct
// mode a plan that uses parked traffic asks for it first and is built by
// gf_continueAirportParking once the answer is in.
void gf_loadAirportParking();
// Main loop tick: builds the first plan that waits for its parked traffic,
// once that query is over; nothing otherwise.
void gf_continueAirportParking();
// The first plan waits for its parked traffic.
bool gf_airportParkingWaiting();
// Leaves the current airport: saves what was learned, forgets the airport,
// its stands, runways and plan. Static aircraft already in the simulator stay.
void gf_unloadAirportParking();

struct ParkedFileOutcome {
    std::string message; // for the user when the load failed
    bool ok = false;
};
// Reads the current airport's file into the stand table and the runway table.
ParkedFileOutcome lf_readParkedFile();
