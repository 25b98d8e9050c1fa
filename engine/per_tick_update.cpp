#include "engine/per_tick_update.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <numbers>
#include <vector>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/air_speed_limits.h"
#include "engine/motion/motion_dispatch.h"
#include "engine/motion/motion_step.h"
#include "engine/motion/runway_hold.h"
#include "engine/sim_reactions.h"
#include "engine/spawning.h"
#include "engine/tick_airport.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "engine/wait_bounds.h"
#include "feed/rt_app_link.h"
#include "engine/traffic_intake.h"
#include "engine/static_placement.h"
#include "engine/user_collisions.h"
#include "liveries/model_texts.h"
#include "simlink/user_aircraft.h"
#include "simlink/position_stream.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/user_model.h"

namespace {


struct TickCounters {
    int32_t removal = 0;
    int32_t creation = 0;
    int32_t commandQueue = 0;
    int32_t userPosition = 0;
    int32_t proximity = 0;
};
TickCounters g_counters;

std::string lf_who(const LiveAircraft& ac)
{
    return fmt::format("{} {}", ac.identity.callsign, ac.identity.registration);
}

void lf_pacing()
{
    TrafficState& s = gf_trafficState();
    if (++g_counters.removal <= 9)
        return;
    g_counters.removal = 0;
    gf_handOnOneRemoval();
    if (++g_counters.creation <= 1)
        return;
    g_counters.creation = 0;
    const bool liveWaiting = !s.liveCreations.empty();
    gf_handOnOneCreation();
    if (!liveWaiting && gf_parkingPlanSize() != 0)
        lf_placeStaticFromPlan();
}

void lf_queueOneCreation()
{
    TrafficState& s = gf_trafficState();
    if (s.addingStack.empty())
        return;
    const uint32_t hexid = s.addingStack.back();
    s.addingStack.pop_back();
    LiveAircraft* ac = s.aircraft.findLive(hexid);
    if (!ac)
        return;
    if (ac->identity.callsign.empty()) {
        gf_logLine(fmt::format("{} {} callsign empty", "lf_handleAddingStack", lf_who(*ac)));
        return;
    }
    CreateAcCmd cmd;
    cmd.initPosition = {ac->motion.lat, ac->motion.lon, ac->motion.altitudeFt, ac->motion.pitch, ac->motion.bank, ac->motion.heading * kRadToDeg,
                        0, 0};
    cmd.callsign = ac->identity.callsign;
    cmd.title = std::string(ac->identity.liveryTitle);
    cmd.key = ac->key();
    s.liveCreations.push_back(std::move(cmd));
}

void lf_userPositionWork()
{
    if (++g_counters.userPosition < 20)
        return;
    g_counters.userPosition = 0;
    gf_publishUserAcPosition(gf_requestUserAcPosition());
    if (!lf_userIsAirborne() && gf_parametersSnapshot()->COLLISION_USER_GND)
        gf_checkUserAcGndCollisions();
    if (!gf_isRTDirect())
        gf_sendUserStateToRTApp();
}

bool lf_groundMover(const LiveAircraft& o)
{
    return o.sim.simState == SimState::active && o.phases.groundMode &&
           (o.phases.phase == FlightPhase::taxi || o.phases.phase == FlightPhase::takeoff_roll ||
            o.phases.phase == FlightPhase::landing_roll);
}

// A ground mover of the proximity pass, ordered by latitude.
struct Mover {
    double lat;
    const LiveAircraft* ac;
};

// Every 20th tick: a holding aircraft that a ground mover comes within both
// collision radii of (flat earth) leaves the simulator. The movers are
// sorted by latitude once per pass, so each holding aircraft looks only at
// those in its latitude band.
void lf_proximityWork()
{
    if (++g_counters.proximity <= 19)
        return;
    g_counters.proximity = 0;
    AircraftStore& store = gf_trafficState().aircraft;
    static std::vector<Mover> movers; // main task only; keeps its room
    movers.clear();
    double widest = 0.0;
    for (const LiveAircraft& o : store.live())
        if (lf_groundMover(o) && !std::isnan(o.motion.lat)) {
            movers.push_back({o.motion.lat, &o});
            widest = std::max(widest, std::fabs(o.identity.collisionRadius));
        }
    if (movers.empty())
        return;
    std::sort(movers.begin(), movers.end(), [](const Mover& a, const Mover& b) { return a.lat < b.lat; });
    for (LiveAircraft& ac : store.live()) {
        if (!ac.push.holding || std::isnan(ac.motion.lat))
            continue;
        const double cosLat = gf_cosLatitude(ac.motion.lat);
        const double band = (std::fabs(ac.identity.collisionRadius) + widest) / kNmPerDegree;
        auto it = std::lower_bound(movers.begin(), movers.end(), ac.motion.lat - band,
                                   [](const Mover& m, double lat) { return m.lat < lat; });
        for (; it != movers.end() && it->lat <= ac.motion.lat + band; ++it) {
            const LiveAircraft& o = *it->ac;
            // A mover removed earlier in this pass moves no more.
            if (!lf_groundMover(o) || o.sim.objectId == ac.sim.objectId)
                continue;
            const double r = ac.identity.collisionRadius + o.identity.collisionRadius;
            if (gf_flatOffsetNm({ac.motion.lat, ac.motion.lon}, {o.motion.lat, o.motion.lon}, cosLat).squared() <= r * r) {
                gf_logLine(fmt::format("{} holds in the way of {} on the ground, removed", ac.identity.callsign,
                                       o.identity.callsign));
                ac.push.holding = 0;
                removeAircraftFromSim(ac);
                break;
            }
        }
    }
}

void lf_postPosition(LiveAircraft& ac)
{
    if (!(std::isfinite(ac.motion.lat) && std::isfinite(ac.motion.lon) && std::isfinite(ac.motion.pitch) && std::isfinite(ac.motion.bank) &&
          std::isfinite(ac.motion.heading) && std::isfinite(ac.motion.altitudeFt) && std::isfinite(ac.motion.verticalSpeedFpm) &&
          std::isfinite(ac.motion.tasKt)))
        return;
    ac.motion.pitch = std::clamp(ac.motion.pitch, -kHalfPi, kHalfPi);
    ac.motion.bank = std::clamp(ac.motion.bank, -kHalfPi, kHalfPi);
    ac.motion.heading = gf_normalizeAngle(ac.motion.heading);
    g_positionBuffer.stage(ac.sim.objectId, PositionBlock{ac.motion.lat, ac.motion.lon, ac.motion.pitch, ac.motion.bank, ac.motion.heading, ac.motion.altitudeFt,
                                                      ac.motion.verticalSpeedFpm, ac.motion.tasKt});
}

void lf_updateActive(LiveAircraft& ac)
{
    if (ac.stream.samples.empty()) {
        gf_logLine(fmt::format("{} stream empty ? {}, hexid:{:x}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                               "updateLiveAc", lf_who(ac), ac.identity.hexid, gf_objectIdText(ac.sim.objectId), ac.motion.altitudeFt,
                               fmt::format("{:.6f},{:.6f}", ac.motion.lat, ac.motion.lon), ac.motion.tasKt));
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.stream.samples.front().playTime <= engineClock.load()) {
        nextPosMain(ac);
        if (!ac.stream.samples.empty()) {
            const TrafficSample& f = ac.stream.samples.front();
            ac.motion.verticalSpeedFpm = ac.phases.groundMode ? 0.0 : ac.reports.verticalSpeedStep * kTicksPerMinute;
            ac.motion.tasKt = f.stationary ? 0.0 : (f.tasKt > 0.0 ? f.tasKt : f.speedKt);
        }
    }
    if (ac.sim.simState != SimState::active || ac.stream.samples.empty())
        return;
    if (!ac.stream.samples.front().stationary) {
        const LatLon from{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        boundAirStep(ac, from);
    } else {
        // Held where its take-off roll begins, or where its reports froze
        // (their place repeated while their speed says it moves), it drives
        // off from a stop, whatever speed it stopped from.
        if (ac.phases.groundMode &&
            (ac.phases.phase == FlightPhase::takeoff_roll || ac.stream.samples.front().speedKt > 2.0))
            ac.ground.groundStepKt = 0.0;
        if (ac.leg.endHeading && ac.phases.groundMode &&
            (ac.phases.phase == FlightPhase::takeoff_roll ||
             (ac.phases.phase == FlightPhase::taxi && ac.phases.previousPhase != FlightPhase::landing_roll))) {
            ac.identity.turnRate = ac.identity.baseTurnRate;
            stepHeading(ac, *ac.leg.endHeading, false);
        } else {
            stepHoverTurn(ac);
        }
    }
    lf_trackRunwayHold(ac);
    if (ac.sim.objectId == 0) {
        gf_logLine(fmt::format("{} objectid=0? hexid: {:x},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.identity.hexid,
                               ac.identity.callsign, ac.identity.registration, lf_formatAirlOprModelText(ac.identity.ids), ac.stream.samples.size()));
        removeAircraftFromSim(ac);
        return;
    }
    lf_postPosition(ac);
}

} // namespace

void gf_resetTickCounters()
{
    g_counters = {};
}

bool updateLiveAc(LiveAircraft& ac)
{
    try {
        if (ac.sim.simState == SimState::buffer)
            lf_spawnGate(ac);
        else if (ac.sim.simState == SimState::active)
            lf_updateActive(ac);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", lf_who(ac), e.what(),
                               ac.stream.samples.size(), gf_flightPhaseName(ac.phases.phase), gf_simStateName(ac.sim.simState)));
    } catch (...) {
        gf_reportTrafficException("updateLiveAc");
    }
    return ac.sim.removeFlag || ac.sim.staticRemoveFlag;
}

void lf_updateAllLiveAc()
{
    TrafficState& s = gf_trafficState();
    bool any = false;
    for (LiveAircraft& ac : s.aircraft.live())
        any = updateLiveAc(ac) || any;
    if (any)
        gf_compactLiveAircraft();
    if (s.staticDirty) {
        s.staticDirty = false;
        gf_compactStaticAircraft();
    }
    g_positionBuffer.flushStaging(gf_steadyNowNs());
}

void lf_handleAddingStack()
{
    const TickAirportScope airport;
    lf_processSimEvents();
    gf_expireStuckWaits();
    lf_updateAllLiveAc();
    lf_pacing();
    lf_takeMailboxRecords();
    lf_queueOneCreation();
    if (++g_counters.commandQueue > 19) {
        g_counters.commandQueue = 0;
        gf_postDataRequest(DataRequestKind::AiInRange);
    }
    lf_userPositionWork();
    lf_proximityWork();
    engineClock.fetch_add(1);
}

bool gf_handOnOneRemoval()
{
    std::deque<uint32_t>& q = gf_trafficState().removalQueue;
    if (q.empty())
        return false;
    gf_removeSimObject(q.front());
    q.pop_front();
    return true;
}

bool gf_handOnOneCreation()
{
    TrafficState& s = gf_trafficState();
    std::deque<CreateAcCmd>& q = !s.liveCreations.empty() ? s.liveCreations : s.staticCreations;
    if (q.empty())
        return false;
    const uint32_t key = q.front().key;
    const uint32_t requestId = gf_createSimObject(q.front());
    q.pop_front();
    AircraftStore& store = s.aircraft;
    AircraftBase* ac = gf_isLiveKey(key) ? static_cast<AircraftBase*>(store.findLive(gf_hexidOfLiveKey(key)))
                                         : store.findStatic(key);
    if (ac) {
        ac->sim.creationRequestId = requestId;
        ac->sim.creationAnswered = 0;
    }
    return true;
}
