// The airport database: every airport with its position, sorted by ICAO code.
#pragma once

#include <optional>

#include "core/value_types.h"

struct AirportDbRecord {
    IcaoCode icao;
    LatLon position;
};

// The airport of that code, searched under the database's shared lock; none
// when the database does not hold it.
std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode& icao);
