// Collisions of the user aircraft with the traffic.
#include "engine/traffic_log.h"
#include "engine/user_collisions.h"

#include <cmath>
#include <numbers>
#include <span>

#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/traffic_state.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr double kLowUserAglFt = 500.0;

// The user minus the stand position in degrees, against the sum of the two
// radii on a flat earth.
bool lf_touchesStatic(const UserAcPosition& user, double cosUserLat, double userTermNm, const StaticAircraft& aircraft)
{
    const double reach = userTermNm + aircraft.identity.radius;
    const FlatOffsetNm offset =
        gf_flatOffsetNm({aircraft.stand.standLat, aircraft.stand.standLon}, {user.latitude, user.longitude}, cosUserLat);
    if (!(reach > 0.0) || std::fabs(offset.north) > reach || std::fabs(offset.east) > reach)
        return false;
    return offset.squared() <= reach * reach;
}

// Removes the first active aircraft of the list the user touches; true once
// one is gone. A removal that throws is reported and the search goes on.
template <typename Aircraft, typename Touches>
bool lf_removeFirstTouched(std::span<Aircraft> list, Touches touches)
{
    for (Aircraft& aircraft : list) {
        if (aircraft.sim.simState != SimState::active || !touches(aircraft))
            continue;
        try {
            removeAircraftFromSim(aircraft);
            return true;
        } catch (...) {
            gf_reportTrafficException("gf_checkUserAcGndCollisions");
        }
    }
    return false;
}

} // namespace

void gf_checkUserAcGndCollisions()
{
    const UserAcPosition user = gf_getUserAcPosition();
    const LatLon userPosition{user.latitude, user.longitude};
    const double term = lf_userGroundCollisionTermNm();
    AircraftStore& store = gf_trafficState().aircraft;
    const bool removedLive = lf_removeFirstTouched(store.live(), [&](const LiveAircraft& aircraft) {
        return aircraft.phases.groundMode &&
               gf_withinCombinedRadiusNm(userPosition, term, {aircraft.motion.lat, aircraft.motion.lon}, aircraft.identity.radius);
    });
    if (removedLive)
        return;
    const double cosUserLat = gf_cosLatitude(user.latitude);
    lf_removeFirstTouched(store.statics(), [&](const StaticAircraft& aircraft) {
        return lf_touchesStatic(user, cosUserLat, term, aircraft);
    });
}

void gf_checkUserCollisions()
{
    const UserAcPosition user = gf_getUserAcPosition();
    const double cosUserLat = gf_cosLatitude(user.latitude);
    const bool low = user.altitudeAboveGround <= kLowUserAglFt; // NaN is not low
    for (LiveAircraft& aircraft : gf_trafficState().aircraft.live()) {
        if (aircraft.sim.simState != SimState::active)
            continue;
        if (low && aircraft.phases.groundMode && checkUserAirGndCollision(aircraft))
            return;
        if (!aircraft.stream.samples.empty() && checkUserAirCollision(aircraft, cosUserLat))
            return;
    }
}

bool lf_userAirConflict(const LiveAircraft& aircraft, double cosUserLat)
{
    const UserAcPosition user = gf_engineUserAcPosition();
    const double bank = std::abs(user.bank);
    uint32_t band = 0;
    // The user flies level enough for the nearer bands below these banks.
    constexpr double kLowBandBankRad = 5.0 * kDegToRad;
    constexpr double kMiddleBandBankRad = 15.0 * kDegToRad;
    if (user.altitudeAboveGround <= 4000.0 && user.verticalSpeed <= 300.0 && bank <= kLowBandBankRad)
        band = 2;
    else if (user.altitudeAboveGround <= 7000.0 && bank <= kMiddleBandBankRad)
        band = 1;
    AirConflictInput in;
    in.own = {user.latitude, user.longitude};
    in.other = {aircraft.motion.lat, aircraft.motion.lon};
    in.cosOwnLat = cosUserLat;
    in.ownHeading = user.gpsGroundTrueTrack * kDegToRad;
    in.otherHeading = aircraft.stream.samples.empty() ? 0.0 : aircraft.stream.samples.front().trackDeg * kDegToRad;
    in.ownAltitudeFt = user.altitude;
    in.otherAltitudeFt = aircraft.motion.altitudeFt;
    in.mode = band;
    return gf_airConflictGeometry(in).code != 0;
}

bool lf_userGroundConflict(const LiveAircraft& aircraft)
{
    const UserAcPosition user = gf_engineUserAcPosition();
    const double cosLat = gf_cosLatitude(user.latitude);
    if (gf_flatOffsetNm({user.latitude, user.longitude}, {aircraft.motion.lat, aircraft.motion.lon}, cosLat).length() > 1.0 ||
        user.altitudeAboveGround > 500.0)
        return false;
    const LatLon from{user.latitude, user.longitude};
    const LatLon to{aircraft.motion.lat, aircraft.motion.lon};
    const double d = gf_distanceNm(from, to);
    const double angle = std::remainder(gf_initialBearing(from, to) - user.trueHeading, 2.0 * std::numbers::pi);
    const double lateralFt = std::abs(std::sin(angle)) * d * kFeetPerNm;
    const double alongFt = std::cos(angle) * d * kFeetPerNm;
    return lateralFt <= 50.0 && alongFt > 0.0;
}

bool checkUserAirCollision(LiveAircraft& aircraft, double cosUserLat)
{
    if (!lf_userAirConflict(aircraft, cosUserLat))
        return false;
    try {
        removeAircraftFromSim(aircraft);
    } catch (...) {
        gf_reportTrafficException("checkUserAirCollision");
    }
    return true;
}

bool checkUserAirGndCollision(LiveAircraft& aircraft)
{
    if (!lf_userGroundConflict(aircraft))
        return false;
    try {
        removeAircraftFromSim(aircraft);
    } catch (...) {
        gf_reportTrafficException("checkUserAirGndCollision");
    }
    return true;
}

double lf_userGroundCollisionTermNm()
{
    double typeTerm = 0.0;
    try {
        const ModelId id = gf_modelCode2Id("B738");
        const auto& table = gf_modelDatabase().WingspanTable;
        typeTerm = id < table.size() ? table[id] : 0.0;
    } catch (...) {
        gf_reportTrafficException("lf_userGroundCollisionTermNm");
    }
    const double speed = gf_engineUserAcPosition().groundSpeed;
    const double speedTerm = std::isfinite(speed) && speed > 0.0
                                 ? std::min(speed * kKnotsToMetresPerSecond * 0.75, 15.0) * kNmPerMetre
                                 : 0.0;
    return typeTerm + speedTerm;
}
