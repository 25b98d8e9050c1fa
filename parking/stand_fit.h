// Which stands suit an aircraft, and the nearest suitable stand to a position.
// Pure functions over the stand table and the aircraft record (main task).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/value_types.h"
#include "liveries/model_database.h"
#include "airports/stand.h"

struct AircraftBase;

// A stand of that type and radius (NM) can take an aircraft of that category
// and radius (NM): never when the aircraft is more than 5.4 m wider in radius,
// else by the stand type.
bool gf_standFitsAircraft(const Stand& stand, Category category, double aircraftRadiusNm);
// The stand can take the aircraft at all: a stand of a type other than 0, a
// helipad for a Rotorcraft and only for one, and a fit by type and radius.
bool gf_standSuitsAircraft(const Stand& stand, const AircraftBase& aircraft);
// Some usable real option of the stand names the callsign or the same
// airline, operator, model and cargo byte as `kind`.
bool gf_standHasOptionFor(const Stand& stand, std::string_view callsign, const AirlOprModel& kind);
// The nearest stand within 81.25 m that suits the aircraft and lies within
// its stand search distance; failing that, with allowOptionFallback, the
// nearest within its option search distance that has an option for it.
// distanceM is 99999.0 unless a stand is returned, then its distance in metres.
// Reservations and holders are the caller's to check.
const Stand* gf_findNearestStand(const std::vector<Stand>& stands, const LatLon& position, const AircraftBase& aircraft,
                                 double& distanceM, bool allowOptionFallback);
