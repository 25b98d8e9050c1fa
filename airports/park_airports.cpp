#include "airports/park_airports.h"

// The park-airport list is not loaded yet: it stays empty, so there is no
// current park airport and no stand can be reserved.
std::optional<ParkAirport> gf_currentParkAirport()
{
    return std::nullopt;
}

bool gf_setCurrentReservedStand(const IcaoCode& /*icao*/, std::string_view /*stand*/)
{
    return false;
}
