#include "stands/stand_fit.h"

#include <cmath>

#include "core/geodesy.h"
#include "core/units.h"

namespace {

// 5.4 m, 5.0 m and 1.8 m in NM: how much wider in radius an aircraft may be
// than a stand at all, on a fuel stand, and on an extra stand.
constexpr double kMaxExcessNm = 0.0029157667386609074;
constexpr double kFuelExcessNm = 0.002699784017278618;
constexpr double kExtraExcessNm = 0.0009719222462203025;
// 81.25 m in NM, and its square: the reach of the nearest-stand search.
constexpr double kSearchBoxNm = 0.04387149028077754;
constexpr double kSearchReachNm2 = 0.0019247076594563581;

bool lf_isOneOf(Category category, std::initializer_list<Category> admitted)
{
    for (const Category c : admitted)
        if (category == c)
            return true;
    return false;
}

} // namespace

bool gf_standFitsAircraft(const Stand& stand, Category category, double aircraftRadiusNm)
{
    const double excess = aircraftRadiusNm - stand.radius;
    if (excess > kMaxExcessNm)
        return false;
    using C = Category;
    switch (stand.type) {
    case StandType::NONE:
    case StandType::VEHICLE: return false;
    case StandType::RAMP_GA:
    case StandType::RAMP_GA_SMALL:
    case StandType::DOCK_GA: return lf_isOneOf(category, {C::Light, C::TwoProps, C::Bizjet, C::Rotorcraft});
    case StandType::RAMP_GA_MEDIUM: return lf_isOneOf(category, {C::Bizjet, C::Large, C::Rotorcraft});
    case StandType::RAMP_GA_LARGE:
    case StandType::RAMP_CARGO: return lf_isOneOf(category, {C::Large, C::Heavy});
    case StandType::RAMP_MIL_CARGO: return lf_isOneOf(category, {C::Bizjet, C::Large, C::Heavy, C::Rotorcraft});
    case StandType::RAMP_MIL_COMBAT: return lf_isOneOf(category, {C::HighPerf, C::Rotorcraft});
    case StandType::GATE_SMALL:
        return lf_isOneOf(category, {C::Light, C::TwoProps, C::Bizjet}) ||
               (category == C::Large && excess <= 0.0);
    case StandType::GATE_MEDIUM: return lf_isOneOf(category, {C::Bizjet, C::Large});
    case StandType::GATE_HEAVY: return lf_isOneOf(category, {C::Large, C::Heavy});
    case StandType::FUEL: return excess <= kFuelExcessNm;
    default: return excess <= kExtraExcessNm; // RAMP_GA_EXTRA, GATE_EXTRA and unknown types
    }
}

bool gf_standSuitsAircraft(const Stand& stand, const StandFitQuery& aircraft)
{
    const bool rotorcraft = aircraft.category == Category::Rotorcraft;
    return stand.type != StandType::NONE && (stand.helipad != 0) == rotorcraft &&
           gf_standFitsAircraft(stand, aircraft.category, aircraft.radiusNm);
}

bool gf_standHasOptionFor(const Stand& stand, std::string_view callsign, const AirlOprModel& kind)
{
    if (callsign.empty() || stand.options.empty())
        return false;
    for (const StandOption& o : stand.options) {
        if (o.optionId == 0 || o.real != 1)
            continue;
        if (o.callsign == callsign || o.callsign2 == callsign)
            return true;
        if (o.aom.airline == kind.airline && o.aom.model == kind.model && o.aom.oper == kind.oper &&
            o.aom.cargo == kind.cargo)
            return true;
    }
    return false;
}

const Stand* gf_findNearestStand(const std::vector<Stand>& stands, const LatLon& position, const StandFitQuery& aircraft,
                                 double& distanceM, bool allowOptionFallback, int32_t passOverId)
{
    distanceM = 99999.0;
    if (stands.empty())
        return nullptr;
    const double cosLat = gf_cosLatitude(position.latitude);
    const Stand* best = nullptr;
    double bestDist = 900.0;
    const Stand* alt = nullptr;
    double altDist = 900.0;
    bool fallback = allowOptionFallback;
    for (const Stand& s : stands) {
        if (s.blocked || (passOverId != 0 && s.id == passOverId))
            continue;
        const FlatOffsetNm offset = gf_flatOffsetNm(position, {s.lat, s.lon}, cosLat);
        if (!(std::fabs(offset.north) <= kSearchBoxNm) || !(std::fabs(offset.east) <= kSearchBoxNm))
            continue;
        if (!gf_standSuitsAircraft(s, aircraft))
            continue;
        const double d2 = offset.squared();
        if (!std::isfinite(d2) || d2 < 0.0 || d2 > kSearchReachNm2)
            continue;
        const double d = std::sqrt(d2);
        if (d <= aircraft.standSearchNm && d < bestDist) {
            best = &s;
            bestDist = d;
            fallback = false;
            continue;
        }
        if (fallback && d < aircraft.optionSearchNm && d < altDist &&
            gf_standHasOptionFor(s, aircraft.callsign, aircraft.ids)) {
            alt = &s;
            altDist = d;
        }
    }
    if (best) {
        distanceM = bestDist * kMetresPerNm;
        return best;
    }
    if (alt) {
        distanceM = altDist * kMetresPerNm;
        return alt;
    }
    return nullptr;
}
