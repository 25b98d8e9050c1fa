#include "engine/tick_airport.h"

#include "airports/airport_database.h"

namespace {

CurrentAirportRecord g_airport;
bool g_held = false;

} // namespace

TickAirportScope::TickAirportScope()
{
    g_airport = gf_currentAirportCopy();
    g_held = true;
}

TickAirportScope::~TickAirportScope()
{
    g_held = false;
}

std::optional<double> gf_tickAirportAltitude()
{
    return g_held ? gf_airportAltitudeOf(g_airport) : gf_currentAirportAltitude();
}

bool gf_tickNearAirport(const LatLon& position)
{
    return g_held ? gf_isNearAirport(g_airport, position) : gf_nearCurrentAirport(position);
}
