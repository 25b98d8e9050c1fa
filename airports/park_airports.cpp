#include "airports/park_airports.h"

// No park airports are kept yet: there is no current park airport and no
// stand is reserved.
std::optional<std::string> gf_currentReservedStand()
{
    return std::nullopt;
}

std::optional<ParkAirport> gf_currentParkAirport()
{
    return std::nullopt;
}

bool gf_setCurrentReservedStand(const IcaoCode&, std::string_view)
{
    return false;
}
