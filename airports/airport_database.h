// The airport where the user is.
#pragma once

#include <cstdint>

// Kept under engineLock (engine/traffic_state.h): written by the park-airport
// choice and the main task, read under the shared lock.
struct CurrentAirportRecord {
    uint32_t code = 0; // ICAO code as c0 << 24 | .. | c3; 0 = none
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
};
extern CurrentAirportRecord CurrentAirport;
