#include "engine/flight_motion.h"

#include <algorithm>
#include <cmath>

#include "engine/geometry.h"
#include "engine/traffic_intake.h"

// The take-off, climb, descent and landing motion come with their own work;
// until then an air leg changes height
// and heading evenly over the leg, and a ground leg rolls straight.

void planAirLeg(LiveAircraft& ac, int32_t legTicks)
{
    if (ac.samples.size() < 2 || legTicks < 1)
        return;
    const TrafficSample& s1 = ac.samples[1];
    const double ticks = static_cast<double>(legTicks);
    ac.verticalSpeedStep = std::isfinite(s1.altitudeFt) ? (s1.altitudeFt - ac.altitudeFt) / ticks : 0.0;
    ac.verticalSpeedFpm = ac.verticalSpeedStep * 6000.0;
    ac.airHeadingStep = gf_wrapAngle(ac.targetTrack - ac.heading) / ticks;
    TrafficSample attitude = s1;
    attitude.verticalSpeedFpm = ac.verticalSpeedFpm;
    ac.pitch = pitchFromVs(attitude, ac.category);
}

void planGroundRollLeg(LiveAircraft& ac, int32_t)
{
    ac.verticalSpeedStep = 0.0;
}

void abortTakeoffRoll(LiveAircraft& ac)
{
    ac.setPhase(FlightPhase::taxi);
}

// The roll's commands and decisions come with the take-off motion; until
// then the roll only changes the phase.
void enterTakeoffRoll(LiveAircraft& ac, bool)
{
    ac.setPhase(FlightPhase::takeoff_roll);
}

void enterTowedTakeoffRoll(LiveAircraft& ac)
{
    ac.setPhase(FlightPhase::takeoff_roll);
}
