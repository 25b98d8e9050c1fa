#include "engine/spawning.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/user_collisions.h"
#include "liveries/category.h"
#include "engine/engine_reports.h"
#include "engine/geometry.h"
#include "engine/traffic_state.h"
#include "engine/livery_choice.h"
#include "liveries/livery_memory.h"
#include "engine/live_at_stands.h"
#include "engine/parked_limits.h"
#include "engine/stand_questions.h"
#include "stands/stand_table.h"
#include "engine/traffic_aircraft.h"
#include "simlink/user_aircraft.h"

namespace {

// How long past a held report's play time a new aircraft waits for the
// reports that settle it (centiseconds).
constexpr int32_t kHeldReportWaitCs = 3000;

void lf_dropFront(StreamState& ac)
{
    if (!ac.samples.empty())
        ac.samples.pop_front();
}

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

CurrentAirportRecord lf_currentAirport()
{
    std::shared_lock lock(engineLock);
    return CurrentAirport;
}

bool lf_validAirportPosition(const CurrentAirportRecord& a)
{
    return a.code != 0 && gf_isValidLatLon({a.latitude, a.longitude});
}

bool lf_anyAirborne(const SampleStream& s)
{
    return std::any_of(s.begin(), s.end(), [](const TrafficSample& t) { return t.airborne != 0; });
}

bool lf_inList(const std::vector<std::string>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

void lf_setSpawnPose(LiveAircraft& ac)
{
    const TrafficSample& f = ac.stream.samples.front();
    if (ac.phases.phase != FlightPhase::parked) {
        ac.motion.lat = f.lat;
        ac.motion.lon = f.lon;
    }
    ac.motion.altitudeFt = f.altitudeFt;
    ac.motion.verticalSpeedFpm = std::isfinite(f.verticalSpeedFpm) ? f.verticalSpeedFpm : 0.0;
    ac.motion.tasKt = f.tasKt;
    constexpr double kGroundPitchRad = 0.6 * kDegToRad; // nose slightly up, as parked
    ac.motion.pitch = f.airborne ? pitchFromVs(f, ac.identity.category) : kGroundPitchRad;
    const double maxBank = gf_maxBankForCategory(ac.identity.category);
    ac.motion.bank = f.hasRoll && std::isfinite(f.roll) ? std::clamp(f.roll, -maxBank, maxBank) : 0.0;
    double heading = 0.0;
    if (ac.holds.respawnHeading)
        heading = *ac.holds.respawnHeading;
    else if (ac.phases.phase == FlightPhase::parked)
        heading = ac.stand.standHeading;
    else if (ac.stream.samples.size() >= 2 && ac.stream.samples[1].stationary)
        heading = f.trackDeg * std::numbers::pi / 180.0;
    else if (ac.stream.samples.size() >= 2)
        heading = gf_initialBearing(lf_pos(f), lf_pos(ac.stream.samples[1]));
    heading = std::isfinite(heading) ? std::fmod(std::fmod(heading, kTwoPi) + kTwoPi, kTwoPi) : 0.0;
    if (heading >= kTwoPi)
        heading = 0.0;
    ac.motion.heading = heading;
    ac.phases.heldForUser = 0;
    ac.leg.airLagTicks = 0.0; // shown afresh where its reports are
}

bool lf_groundHoldHit(const LiveAircraft& ac, const UserAcPosition& user)
{
    const TrafficSample& f = ac.stream.samples.front();
    return gf_withinCombinedRadiusNm({user.latitude, user.longitude}, lf_userGroundCollisionTermNm(), lf_pos(f),
                                     ac.identity.collisionRadius);
}

// No live aircraft parked on a stand the chosen one excludes is in the way,
// static aircraft on it make way, and the stand is reserved for the aircraft,
// which then stands still on its front sample.
bool lf_takeSpawnStand(LiveAircraft& ac, const Stand& stand)
{
    for (uint32_t excluded : stand.exclusions)
        for (const LiveAircraft& other : gf_trafficState().aircraft.live())
            if (lf_parkedAtStandCollides(other, static_cast<int32_t>(excluded), ac, stand))
                return false;
    makeWayForLive(ac, stand);
    if (!lf_canReserveStandForLive(stand.id, ac.identity.hexid))
        return false;
    ac.stream.samples.front().stationary = 1;
    ac.stream.samples.front().speedKt = 0.0;
    return true;
}

} // namespace

void lf_completeIdentity(IdentityAndModel& ac)
{
    if (ac.ids.flag)
        return;
    if (!ac.registration.empty())
        if (auto found = gf_lookupDbase(ac.registration))
            ac.ids = *found;
    if (ac.ids.airline == 0) {
        const auto code = gf_airlineFromCallsign(ac.callsign);
        ac.ids.airline = gf_airlineCode2Id(code ? *code : std::string("PVT"));
    }
    if (gf_modelCodeText(ac.ids.model) == "B777" && gf_isCargo(ac.ids)) {
        ac.ids.model = gf_modelCode2Id("B77F");
        ac.ids.cargo = 1;
    }
}

bool lf_holdSpawnForUser(LiveAircraft& ac)
{
    const auto params = gf_parametersSnapshot();
    const UserAcPosition user = gf_engineUserAcPosition();
    const TrafficSample& f = ac.stream.samples.front();
    const bool userOnGround = g_userOnGroundState.load() == 1;
    bool wait = false;
    if (!userOnGround || user.altitudeAboveGround > 500.0) {
        if (!params->COLLISION_USER_AIR)
            return false;
        if (!f.airborne && user.altitudeAboveGround > 500.0)
            return false;
        ac.motion.lat = f.lat;
        ac.motion.lon = f.lon;
        ac.motion.altitudeFt = f.altitudeFt;
        // The aircraft is held, not removed: it is not in the simulator yet.
        bool hit = false;
        if (!f.airborne) {
            ac.phases.groundMode = 1;
            hit = lf_userGroundConflict(ac);
        } else {
            hit = lf_userAirConflict(ac, gf_cosLatitude(user.latitude));
        }
        if (hit)
            ac.phases.heldForUser = 1;
        wait = hit;
    } else if (!ac.phases.heldForUser) {
        wait = !f.airborne && params->COLLISION_USER_GND && lf_groundHoldHit(ac, user);
    } else if (user.groundSpeed > 8.0) {
        wait = true;
    } else if (!f.airborne && f.speedKt <= 8.0 &&
               gf_distanceNm({user.latitude, user.longitude}, lf_pos(f)) * kMetresPerNm <= 500.0) {
        wait = true;
    } else {
        wait = !f.airborne && params->COLLISION_USER_GND && lf_groundHoldHit(ac, user);
    }
    if (wait)
        lf_dropFront(ac.stream);
    return wait;
}

void lf_spawnGate(LiveAircraft& ac)
{
    TrafficState& s = gf_trafficState();
    if (ac.stream.samples.empty()) {
        ac.sim.removeFlag = 1;
        return;
    }
    if (engineClock.load() < ac.stream.samples.front().playTime)
        return;
    // Reports held as strays: it is created once they agree again, or
    // removed when they show it moved; when no report settles it, it is
    // created where its samples are.
    if (ac.stream.held.count > 0 && engineClock.load() < ac.stream.held.last.playTime + kHeldReportWaitCs)
        return;
    if (ac.stream.samples.size() == 1) {
        ac.stream.samples.clear();
        ac.sim.removeFlag = 1;
        return;
    }
    if (!ac.identity.callsign.empty() && ac.identity.callsign.back() == '_' && lf_inList(s.ghostCallsigns, ac.identity.callsign)) {
        ac.sim.removeFlag = 1;
        return;
    }
    // Only a new aircraft waits for height: one created again (a new livery,
    // a new simulator connection) comes back where it was.
    if (ac.phases.phase == FlightPhase::birth && ac.identity.category != Category::Rotorcraft && lf_anyAirborne(ac.stream.samples)) {
        const CurrentAirportRecord airport = lf_currentAirport();
        const double elevation = lf_validAirportPosition(airport) ? airport.altitude : 0.0;
        if (ac.stream.samples.front().altitudeFt - elevation <= 700.0) {
            lf_dropFront(ac.stream);
            return;
        }
    }
    if (lf_holdSpawnForUser(ac))
        return;
    if (s.liveCreations.size() >= 11 && ac.phases.phase == FlightPhase::birth) {
        lf_dropFront(ac.stream);
        return;
    }
    const auto params = gf_parametersSnapshot();
    if (params->MAX_LIVE_SEL == 0) {
        ac.sim.removeFlag = 1;
        return;
    }
    if (params->MAX_LIVE_SEL != 500) {
        int32_t count = 0;
        for (const LiveAircraft& other : s.aircraft.live())
            if (other.sim.simState == SimState::adding2sim || other.sim.simState == SimState::active)
                ++count;
        if (count >= params->MAX_LIVE_SEL) {
            const UserAcPosition user = gf_engineUserAcPosition();
            const double d = gf_distanceNm({user.latitude, user.longitude}, lf_pos(ac.stream.samples.front()));
            if (lf_isThisTheFurthestLive(d)) {
                ac.sim.removeFlag = 1;
                return;
            }
        }
    }
    lf_completeIdentity(ac.identity);
    if (ac.identity.callsign.empty()) {
        if (ac.identity.registration.empty()) {
            ac.sim.removeFlag = 1;
            return;
        }
        ac.identity.callsign = ac.identity.registration;
    }
    if (ac.stream.samples.front().altitudeFt <= params->TCAS_FL * 100.0 && lf_isNoMatchText(lf_noMatchText(ac))) {
        ac.sim.removeFlag = 1;
        return;
    }
    if (lf_liveExistsForUnderscoreCallsign(ac)) {
        ac.sim.removeFlag = 1;
        return;
    }
    spawnLiveAc(ac);
}

void spawnLiveAc(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 2) {
        gf_logLine(fmt::format("{} sz:{}", "spawnLiveAc", st.size()));
        return;
    }
    if (st[1].stationary) {
        st[0].stationary = 1;
        st[0].speedKt = 0.0;
        st[1].speedKt = 0.0;
        if (st.size() >= 3 && st[2].stationary)
            st[2].speedKt = 0.0;
    } else {
        st[0].stationary = 0;
    }
    if (ac.phases.phase == FlightPhase::birth) {
        if (ac.identity.liveryTitle.empty()) {
            if (auto remembered = lf_rememberedLiveryOfHexid(ac.identity.hexid)) {
                ac.identity.liveryTitle = *remembered;
            } else if (gf_pickLiveryLiveAc(ac, st.front().altitudeFt) && !ac.identity.matchedBeyondDepth) {
                // A livery that only the deeper matching above the TCAS level
                // reached is not kept for the aircraft's return: back below
                // the level it needs a match within the chosen depth.
                lf_rememberLiveryOfHexid(ac.identity.hexid, ac.identity.liveryTitle);
            }
        }
        if (ac.identity.liveryTitle.empty()) {
            if (!ac.identity.matchedBeyondDepth && !ac.identity.registration.empty())
                lf_addNoMatchText(lf_noMatchText(ac));
            ac.sim.removeFlag = 1;
            return;
        }
        if (!st.front().airborne) {
            if (auto stand = lf_chooseSpawnStand(ac)) {
                assignStand(ac, *stand);
                ac.motion.lat = stand->lat;
                ac.motion.lon = stand->lon;
                ac.setPhase(FlightPhase::parked);
                st.resize(1);
                gf_recordRealStandUse(ac.stand.standId, ac, 1);
                gf_enforceParkedLimit(1);
            } else {
                if (ac.sim.removeFlag)
                    return;
                if (st[1].stationary && !ac.leg.spawnStandHeld) {
                    lf_dropFront(ac.stream);
                    return;
                }
                if (std::any_of(st.begin(), st.end(), [](const TrafficSample& t) { return t.speedKt > 30.0; })) {
                    lf_dropFront(ac.stream);
                    return;
                }
                ac.push.inboundToAirport = gf_inboundToCurrentAirport(ac) ? 1 : 0;
                ac.setPhase(FlightPhase::taxi);
            }
        } else {
            ac.setPhase(FlightPhase::flying);
        }
    }
    if (ac.sim.removeFlag)
        return;
    if (ac.phases.phase != FlightPhase::parked)
        gf_releaseParkedLimitHold(ac.identity.hexid); // it moves: no longer parked where the limit removed it
    lf_setSpawnPose(ac);
    ac.sim.simState = SimState::adding2sim;
    gf_trafficState().addingStack.push_back(ac.identity.hexid);
    if (ac.identity.callsign.empty() || ac.identity.callsign.back() != '_')
        lf_removeGhostWithUnderscoreIfPresent(ac);
}

std::optional<Stand> lf_chooseSpawnStand(LiveAircraft& ac)
{
    ac.leg.spawnStandHeld = 0;
    const std::vector<Stand>& stands = gf_standTable().stands;
    const CurrentAirportRecord airport = lf_currentAirport();
    if (stands.empty() || !lf_validAirportPosition(airport))
        return std::nullopt;
    const SampleStream& st = ac.stream.samples;
    const TrafficSample& f = st.front();
    const LatLon airportAt{airport.latitude, airport.longitude};
    if (gf_flatOffsetNm(airportAt, lf_pos(f), gf_cosLatitude(airport.latitude)).length() > 5.0)
        return std::nullopt;
    if (!f.stationary) {
        if (std::any_of(st.begin(), st.end(), [](const TrafficSample& t) { return t.speedKt > 6.0; }))
            return std::nullopt;
        if (gf_distanceNm(lf_pos(f), lf_pos(st.back())) * kMetresPerNm > 35.0)
            return std::nullopt;
    }
    const TrafficSample& ref = f.stationary ? f : st.back();
    if (ref.lat == ac.leg.spawnTriedLat && ref.lon == ac.leg.spawnTriedLon && !ac.leg.spawnTriedFound)
        return std::nullopt;
    ac.leg.spawnTriedLat = ref.lat;
    ac.leg.spawnTriedLon = ref.lon;
    double distanceM = 0.0;
    const Stand* found = gf_findNearestStand(stands, lf_pos(ref), gf_standFitQuery(ac), distanceM, true);
    if (!found) {
        ac.leg.spawnTriedFound = 0;
        return std::nullopt;
    }
    ac.leg.spawnTriedFound = 1;
    if (gf_heldForParkedLimit(ac.identity.hexid, found->id)) {
        ac.sim.removeFlag = 1; // still parked where the parked limit removed it
        return std::nullopt;
    }
    if (lf_isUserStandOrAdjacent(*found))
        return std::nullopt;
    const StandClaim claim = lf_claimStandForLive(found->id, ac);
    if (claim == StandClaim::refused) {
        ac.sim.removeFlag = 1;
        return std::nullopt;
    }
    if (claim == StandClaim::holderStays) {
        // Another aircraft standing there is still reported there: this one
        // takes the nearest other stand that is free for it, or stands where
        // its reports put it.
        ac.leg.spawnStandHeld = 1;
        const Stand* other = gf_findNearestStand(stands, lf_pos(ref), gf_standFitQuery(ac), distanceM, true, found->id);
        if (!other || lf_isUserStandOrAdjacent(*other) || lf_claimStandForLive(other->id, ac) != StandClaim::granted)
            return std::nullopt;
        const Stand stand = *other;
        if (!lf_takeSpawnStand(ac, stand))
            return std::nullopt;
        ac.leg.spawnStandHeld = 0;
        return stand;
    }
    const Stand stand = *found;
    if (!lf_takeSpawnStand(ac, stand)) {
        ac.sim.removeFlag = 1;
        return std::nullopt;
    }
    return stand;
}

void lf_resetForNewLivery(LiveAircraft& ac)
{
    lf_forgetLiveryOfHexid(ac.identity.hexid);
    ac.identity.liveryTitle = {};
    ac.setPhase(FlightPhase::birth);
}
