#include "airports/airport_database_load.h"

AirportDatabaseLoad gf_loadAirportDatabase()
{
    return {};
}

std::optional<AirportAt> gf_findAirportAt(const LatLon&)
{
    return std::nullopt;
}
