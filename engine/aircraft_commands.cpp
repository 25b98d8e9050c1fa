#include "engine/aircraft_commands.h"

#include <array>
#include <cmath>
#include <exception>
#include <limits>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "engine/traffic_aircraft.h"
#include "engine/flight_plan.h"

namespace {

void lf_post(const AircraftBase& aircraft, uint32_t eventId, uint32_t value)
{
    gf_postSimCommand(SimCommand{aircraft.sim.objectId, eventId, value});
}

// Callsign, registration and route in their columns, then the kind.
std::string lf_formatAircraftId(const AircraftBase& aircraft)
{
    return fmt::format("{:8} {:12} {}", aircraft.identity.callsign, aircraft.identity.registration,
                       lf_formatRouteArg(aircraft.identity.origin, aircraft.identity.destination)) +
           fmt::format(" {}", lf_formatAirlOprModelArg(aircraft.identity.ids));
}

} // namespace

void gf_setSpoilers(const AircraftBase& aircraft, bool on)
{
    if (aircraft.identity.category != Category::Rotorcraft)
        lf_post(aircraft, SimEventId::SPOILERS_SET, on ? 16383u : 0u);
}

void gf_setFlaps(AircraftBase& aircraft, uint32_t index)
{
    static constexpr std::array<uint32_t, 5> values{0, 3072, 10240, 16383, 0};
    if (index > 4)
        gf_logError("gf_setFlaps: invalid flaps index");
    else if (index != aircraft.sim.flapsIndex && aircraft.identity.category != Category::Rotorcraft)
        lf_post(aircraft, SimEventId::FLAPS_SET, values[index]);
    aircraft.sim.flapsIndex = index;
}

void gf_setGear(const AircraftBase& aircraft, bool down)
{
    if (aircraft.identity.category != Category::Rotorcraft)
        lf_post(aircraft, SimEventId::GEAR_SET, down ? 1u : 0u);
}

void gf_setThrottle(AircraftBase& aircraft, uint32_t index)
{
    static constexpr std::array<uint32_t, 5> values{0, 4914, 8191, 11468, 16383};
    if (index <= 4 && index != aircraft.sim.throttleIndex)
        lf_post(aircraft, SimEventId::THROTTLE_SET, values[index]);
    aircraft.sim.throttleIndex = index;
}

void shutDownParkedAc(AircraftBase& aircraft)
{
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 0);
    gf_engineShutdown(aircraft.sim.objectId);
    const auto params = gf_parametersSnapshot();
    const uint32_t cabin = aircraft.stand.atStand ? 0u : (gf_randomIndex(10) < 9 ? 1u : 0u);
    gf_setLights(aircraft.sim.objectId, LightStates{params->NAV_LIGHTS_WHILE_PARKED ? 1u : 0u, 0, 0, 0, 0, 1, cabin});
}

bool lf_cancelPendingCreation(std::deque<CreateAcCmd>& queue, uint32_t key)
{
    if (key == 0)
        return false;
    const size_t before = queue.size();
    std::erase_if(queue, [key](const CreateAcCmd& cmd) { return cmd.key == key; });
    return queue.size() != before;
}

void removeAircraftFromSim(AircraftBase& aircraft)
{
    TrafficState& s = gf_trafficState();
    switch (aircraft.sim.simState) {
    case SimState::removingfromsim:
        gf_logError(fmt::format("{} {} duplicate remove blocked", aircraft.identity.callsign, aircraft.identity.registration));
        return;
    case SimState::buffer:
        aircraft.sim.removeFlag = 1;
        if (aircraft.sim.isStatic)
            s.staticDirty = true;
        return;
    default:
        break;
    }
    if (aircraft.sim.removeWhenCreated && aircraft.sim.simState != SimState::active)
        return;
    if (aircraft.sim.simState == SimState::adding2sim) {
        const uint32_t key = aircraft.key();
        const bool withdrawn = aircraft.sim.isStatic ? lf_cancelPendingCreation(s.staticCreations, key)
                                                 : lf_cancelPendingCreation(s.liveCreations, key);
        if (withdrawn) {
            aircraft.sim.staticRemoveFlag = 1;
            if (aircraft.sim.isStatic)
                s.staticDirty = true;
        } else {
            aircraft.sim.removeWhenCreated = 1;
        }
        return;
    }
    if (aircraft.sim.objectId != 0) {
        s.removalQueue.push_back(aircraft.sim.objectId);
        aircraft.sim.simState = SimState::removingfromsim;
        return;
    }
    gf_logError(
        fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", lf_formatAircraftId(aircraft)));
    if (aircraft.sim.isStatic)
        s.staticDirty = true;
    aircraft.sim.removeFlag = 1;
}

void lf_cleanupLiveAircraft(LiveAircraft& aircraft)
{
    if (aircraft.reports.flightPlanSent && aircraft.sim.objectId != 0) {
        try {
            gf_removeFlightPlan(aircraft.sim.objectId);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: removing flight plan for {} failed: {}", "lf_cleanupLiveAircraft",
                                    aircraft.identity.callsign, e.what()));
        } catch (...) {
            gf_logError(fmt::format("{}: removing flight plan for {} failed with an unknown exception",
                                    "lf_cleanupLiveAircraft", aircraft.identity.callsign));
        }
    }
    gf_purgeQueuedForAircraft(aircraft.key(), aircraft.sim.objectId);
}

bool lf_allNextAirborne(const LiveAircraft& aircraft)
{
    if (aircraft.stream.samples.size() < 2)
        return false;
    for (size_t i = 1; i < aircraft.stream.samples.size(); ++i)
        if (!aircraft.stream.samples[i].airborne)
            return false;
    return true;
}

bool lf_allNextAtRotationSpeed(const LiveAircraft& aircraft)
{
    const double vr = gf_rotationSpeedKt(aircraft, 3);
    for (size_t i = 1; i < aircraft.stream.samples.size(); ++i)
        if (!(aircraft.stream.samples[i].speedKt >= vr))
            return false;
    return true;
}

double gf_rotationSpeedKt(const AircraftBase& aircraft, int level)
{
    const Category category = aircraft.identity.category;
    if (category == Category::Heavy && level >= 2)
        return level == 2 ? 140.0 : 135.0;
    // The model flags replace the category's Vr; the lower levels follow from it.
    double base;
    if (aircraft.identity.regional) {
        base = 130.0;
    } else if (aircraft.identity.pistonTwin) {
        base = 80.0;
    } else if (aircraft.identity.pistonSingle) {
        base = 65.0;
    } else {
        static constexpr std::array<double, 7> table{80, 95, 110, 140, 150, 220, 0};
        const auto index = static_cast<size_t>(category);
        base = index < table.size() ? table[index] : 0.0;
    }
    if (!(std::isfinite(base) && base > 0.0) || level <= 1)
        return base;
    return std::max(base - (level == 2 ? 10.0 : 20.0), 1.0);
}

double lf_maxSampleVerticalSpeed(const LiveAircraft& aircraft)
{
    double best = -std::numeric_limits<double>::infinity();
    for (const TrafficSample& s : aircraft.stream.samples)
        if (std::isfinite(s.verticalSpeedFpm) && s.verticalSpeedFpm > best)
            best = s.verticalSpeedFpm;
    return best;
}

double lf_rollSpeedKt(const LiveAircraft& aircraft)
{
    if (aircraft.stream.samples.size() < 2)
        return 1.0;
    const TrafficSample& s0 = aircraft.stream.samples[0];
    const TrafficSample& s1 = aircraft.stream.samples[1];
    const double g0 = s0.speedKt, g1 = s1.speedKt;
    const auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
    if ((aircraft.phases.phase == FlightPhase::takeoff_roll || aircraft.phases.phase == FlightPhase::landing_roll) &&
        std::isfinite(g0) && std::isfinite(g1) && g0 >= 0.0 && g1 >= 0.0 && (g0 > 0.0 || g1 > 0.0))
        return std::max((g0 + g1) / 2.0, 1.0);
    if (positive(g0))
        return positive(g1) ? std::max((g0 + g1) / 2.0, 1.0) : std::max(g0, 1.0);
    if (!positive(g1)) {
        const double nm = gf_distanceNm({s0.lat, s0.lon}, {s1.lat, s1.lon});
        const double ticks = std::max(static_cast<double>(s1.playTime - s0.playTime), 25.0);
        const double v = nm * kTicksPerHour / ticks;
        return positive(v) ? std::max(v, 1.0) : 1.0;
    }
    return std::max(g1, 1.0);
}

void lf_eraseLiveAircraft(LiveAircraft& aircraft)
{
    lf_cleanupLiveAircraft(aircraft);
    gf_trafficState().aircraft.eraseLiveSwap(aircraft);
}

void gf_compactLiveAircraft()
{
    gf_trafficState().aircraft.compactLive(
        [](const LiveAircraft& ac) { return ac.sim.removeFlag || ac.sim.staticRemoveFlag; },
        [](LiveAircraft& ac) { lf_cleanupLiveAircraft(ac); });
}

void noMoreNextPos(LiveAircraft& ac)
{
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException("noMoreNextPos");
    }
}
