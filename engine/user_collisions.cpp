// Collisions of the user aircraft with the traffic.
#include "engine/traffic_log.h"
#include "engine/user_collisions.h"

#include <cmath>
#include <numbers>
#include <span>

#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/engine_reports.h"
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
