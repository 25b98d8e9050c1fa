#include "airports/airport_database.h"

// No airport database is loaded yet, so no airport is found.
std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode&)
{
    return std::nullopt;
}
