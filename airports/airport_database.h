// The airport database (the airports that the traffic service supports, from
// input/airports.enc) and the airport where the user is.
#pragma once

#include <cstdint>
#include <optional>
#include <shared_mutex>

#include "core/value_types.h"

// One airport of the airport database.
struct AirportDbRecord {
    IcaoCode icao;
    IataCode iata; // unset when the data set gives none
    LatLon position;
    int32_t altitude = 0; // feet
};

// Kept under engineLock: written by the park-airport choice and the main task
// with the lock held exclusively, read under the shared lock.
struct CurrentAirportRecord {
    uint32_t code = 0; // ICAO code as c0 << 24 | .. | c3; 0 = none
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
    IataCode iata;
};
extern CurrentAirportRecord CurrentAirport;
// The reader/writer lock over the current-airport record.
extern std::shared_mutex engineLock;

// The current-airport record of a database airport.
CurrentAirportRecord gf_currentAirportOf(const AirportDbRecord& airport);
// Both codes of the current airport ("EHAM (AMS)" when printed).
AirportCodes gf_airportCodesOf(const CurrentAirportRecord& airport);

// The airport of that code, searched under the database's shared lock; none
// when the database does not hold it (or is not loaded).
std::optional<AirportDbRecord> gf_airportDbLookup(const IcaoCode& icao);
bool gf_airportDbContains(const IcaoCode& icao);

// A copy of the current airport, taken under engineLock shared.
CurrentAirportRecord gf_currentAirportCopy();
// That airport's altitude in feet; none when it is no airport or its
// position is not valid.
std::optional<double> gf_airportAltitudeOf(const CurrentAirportRecord& airport);
// True when the position lies within 10 nm (flat earth) of that airport.
bool gf_isNearAirport(const CurrentAirportRecord& airport, const LatLon& position);

// The current airport's altitude in feet; none while no airport is current or
// its position is not valid. Takes engineLock shared.
std::optional<double> gf_currentAirportAltitude();
// True when the position lies within 10 nm (flat earth) of the current
// airport. Takes engineLock shared.
bool gf_nearCurrentAirport(const LatLon& position);
