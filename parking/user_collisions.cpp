// Collisions of the user aircraft with the traffic, and the nearness of a
// position to the runways of the current airport.
#include "parking/user_collisions.h"

#include <cmath>

#include "core/geodesy.h"
#include "parking/runway_table.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr double kLowUserAglFt = 500.0;
constexpr double kRunwayNearMarginM = 1500.0;
constexpr double kMetresPerNm = 1852.0;

} // namespace

bool lf_userIsAirborne()
{
    if (!userOnGround.load())
        return true;
    const double agl = gf_getUserAcPosition().altitudeAboveGround;
    return std::isfinite(agl) && agl > kLowUserAglFt;
}

bool gf_isNearAnyRunway(const LatLon& position)
{
    if (!gf_isValidLatLon(position))
        return false;
    for (const RunwayRecord& r : runwayTable.runways) {
        const LatLon centre{r.latitude, r.longitude};
        if (!gf_isValidLatLon(centre) || !std::isfinite(r.length) || r.length <= 0.0)
            continue;
        if (r.length * 0.5 + kRunwayNearMarginM >= gf_distanceNm(position, centre) * kMetresPerNm)
            return true;
    }
    return false;
}
