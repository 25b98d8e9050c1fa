// The airport database and the airport where the user is.
#pragma once

#include <cstdint>
#include <optional>

#include "core/value_types.h"

// Kept under engineLock (engine/traffic_state.h): written by the park-airport
// choice and the main task, read under the shared lock.
struct CurrentAirportRecord {
    uint32_t code = 0; // ICAO code as c0 << 24 | .. | c3; 0 = none
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
};
extern CurrentAirportRecord CurrentAirport;

// One airport of the airport database.
struct AirportDbRecord {
    IcaoCode icao;
    LatLon position;
};

// The airport of that code, searched under the database's shared lock; none
// when the database does not hold it.
std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode& icao);
