#include "airports/airport_database.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <shared_mutex>

#include "core/geodesy.h"
#include "core/units.h"
#include "airports/airport_database_state.h"

CurrentAirportRecord CurrentAirport;
std::shared_mutex engineLock;

AirportDatabase& gf_airportDatabase()
{
    static AirportDatabase database;
    return database;
}

CurrentAirportRecord gf_currentAirportOf(const AirportDbRecord& airport)
{
    return {airport.icao.code, airport.position.latitude, airport.position.longitude,
            static_cast<double>(airport.altitude), airport.iata};
}

AirportCodes gf_airportCodesOf(const CurrentAirportRecord& airport)
{
    IcaoCode icao;
    icao.code = airport.code;
    for (int i = 0; i < 4; ++i)
        icao.chars[static_cast<size_t>(i)] = static_cast<char>((airport.code >> (24 - 8 * i)) & 0xFF);
    return {icao, airport.iata};
}

std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode& icao)
{
    AirportDatabase& db = gf_airportDatabase();
    std::shared_lock lock(db.lock);
    const auto it = std::lower_bound(db.records.begin(), db.records.end(), icao.code,
                                     [](const AirportDbRecord& r, uint32_t code) { return r.icao.code < code; });
    if (it == db.records.end() || it->icao.code != icao.code || it->icao.chars != icao.chars)
        return std::nullopt;
    return *it;
}

bool gf_airportDbContains(const IcaoCode& icao)
{
    return gf_airportDbLookup(icao).has_value();
}

CurrentAirportRecord gf_currentAirportCopy()
{
    std::shared_lock lock(engineLock);
    return CurrentAirport;
}

std::optional<double> gf_airportAltitudeOf(const CurrentAirportRecord& airport)
{
    if (airport.code == 0 || !gf_isValidLatLon({airport.latitude, airport.longitude}))
        return std::nullopt;
    return airport.altitude;
}

bool gf_isNearAirport(const CurrentAirportRecord& airport, const LatLon& position)
{
    if (airport.code == 0 || !gf_isValidLatLon({airport.latitude, airport.longitude}))
        return false;
    return gf_flatOffsetNmOfDegrees(airport.latitude - position.latitude, airport.longitude - position.longitude,
                                    gf_cosLatitude(airport.latitude))
               .squared() <= 100.0;
}

std::optional<double> gf_currentAirportAltitude()
{
    return gf_airportAltitudeOf(gf_currentAirportCopy());
}

bool gf_nearCurrentAirport(const LatLon& position)
{
    return gf_isNearAirport(gf_currentAirportCopy(), position);
}
