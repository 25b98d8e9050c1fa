// The airport where the user is, guarded by engineLock (engine/engine_lock.h).
#pragma once

#include <cstdint>

struct CurrentAirportRecord {
    uint32_t icao = 0; // the ICAO code's packed characters; 0 = none
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    uint32_t flags = 0;
    double distance = 0.0;
};

// Read and written only under engineLock.
extern CurrentAirportRecord CurrentAirport;
