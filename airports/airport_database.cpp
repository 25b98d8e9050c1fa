#include "airports/airport_database.h"

CurrentAirportRecord CurrentAirport;

// No airport database is loaded yet, so no airport is found.
std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode&)
{
    return std::nullopt;
}
