// Loading the airport database and finding the airport at a position. No
// database is read yet: it holds no airport.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/value_types.h"

struct AirportDatabaseLoad {
    size_t count = 0;
    std::optional<std::string> error; // set when the load failed
};
AirportDatabaseLoad gf_loadAirportDatabase();

struct AirportAt {
    IcaoCode icao;
    LatLon position;
};
std::optional<AirportAt> gf_findAirportAt(const LatLon& position);
