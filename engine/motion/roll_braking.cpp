#include "engine/motion/roll_braking.h"

#include <algorithm>
#include <cmath>

#include "engine/geometry.h"

namespace {

constexpr double kSpeedToleranceMps = 0.3; // the ramp may swing past its end speeds by this much

// The ramp's acceleration at fraction u (m/s²): linear in u, so its extremes
// lie at the ends.
double lf_acceleration(const SpeedRamp& r, double u)
{
    const double D = r.length, T = r.duration;
    return ((6.0 * u - 4.0) * T * r.startSpeed + (6.0 - 12.0 * u) * D + (6.0 * u - 2.0) * T * r.endSpeed) / (T * T);
}

bool lf_brakesAsARoll(const SpeedRamp& r, double v0, double v1)
{
    return r.valid && std::fabs(r.startSpeed - v0) <= 1e-6 && std::fabs(r.endSpeed - v1) <= 1e-6 &&
           lf_rampMaxSpeed(r) <= v0 + kSpeedToleranceMps && lf_rampMinSpeed(r) >= v1 - kSpeedToleranceMps &&
           -lf_acceleration(r, 0.0) <= kRollHardestBrakeMps2 && -lf_acceleration(r, 1.0) <= kRollHardestBrakeMps2;
}

} // namespace

bool lf_planBrakingRamp(RollRamp& rr, const LatLon& from, const LatLon& to, double& seconds, double v0, double v1)
{
    const double d = gf_distanceM(from, to);
    if (!(d > 1.0) || !(seconds > 0.0) || !(v1 >= 0.0) || !(v0 > v1))
        return false;
    // Braking evenly takes this long; a leg given less time would have to
    // run faster than the roll goes: it waits for the braking instead.
    const double evenS = 2.0 * d / (v0 + v1);
    // Whole ticks: the ramp ends with the leg, not a tick before or after.
    const double t = std::ceil(std::max(seconds, evenS) * 100.0 - 1e-6) / 100.0;
    const SpeedRamp ramp = lf_buildRamp(d, t, v0, v1);
    if (!lf_brakesAsARoll(ramp, v0, v1))
        return false;
    rr.ramp = ramp;
    rr.start = from;
    rr.end = to;
    seconds = t;
    return true;
}
