// Which stands suit an aircraft, and the nearest suitable stand to a position.
// Pure functions over the stand table and a few values of the aircraft (main
// task).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/value_types.h"
#include "liveries/model_database.h"
#include "airports/stand.h"

// What a stand search needs to know of an aircraft.
struct StandFitQuery {
    Category category = Category::Light;
    double radiusNm = 0.0;       // the aircraft's radius
    double standSearchNm = 0.0;  // how far it looks for a stand that suits it
    double optionSearchNm = 0.0; // how far for a stand with an option for it
    std::string_view callsign;
    AirlOprModel ids; // airline, operator, model and cargo byte
};

// A stand of that type and radius (NM) can take an aircraft of that category
// and radius (NM): never when the aircraft is more than 5.4 m wider in radius,
// else by the stand type.
bool gf_standFitsAircraft(const Stand& stand, Category category, double aircraftRadiusNm);
// The stand can take the aircraft at all: a stand of a type other than 0, a
// helipad for a Rotorcraft and only for one, and a fit by type and radius.
bool gf_standSuitsAircraft(const Stand& stand, const StandFitQuery& aircraft);
// Some usable real option of the stand names the callsign or the same
// airline, operator, model and cargo byte as `kind`.
bool gf_standHasOptionFor(const Stand& stand, std::string_view callsign, const AirlOprModel& kind);
// The nearest stand within 81.25 m that suits the aircraft and lies within
// its stand search distance; failing that, with allowOptionFallback, the
// nearest within its option search distance that has an option for it.
// distanceM is 99999.0 unless a stand is returned, then its distance in metres.
// Reservations and holders are the caller's to check; the stand
// `passOverId` (0 = none) is not looked at.
const Stand* gf_findNearestStand(const std::vector<Stand>& stands, const LatLon& position, const StandFitQuery& aircraft,
                                 double& distanceM, bool allowOptionFallback, int32_t passOverId = 0);
