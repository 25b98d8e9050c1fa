#include "engine/live_at_stands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/gui_update.h"
#include "core/log.h"
#include "core/ui_sink.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/taxi_to_stand.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "stands/stand_fit.h"
#include "stands/stand_table.h"
#include "stands/stand_uses.h"
#include "engine/stand_questions.h"

namespace {

uint32_t g_collisionCalls = 0;
uint32_t g_lastStaticParked = 0;

bool lf_onOrLeavingStand(FlightPhase phase)
{
    return phase == FlightPhase::pushing_back || phase == FlightPhase::pushed_back ||
           phase == FlightPhase::parking || phase == FlightPhase::parked;
}

// An aircraft on its way out of the simulator holds nothing any more.
bool lf_leaving(const AircraftBase& ac)
{
    return ac.sim.simState == SimState::removingfromsim || ac.sim.removeFlag || ac.sim.staticRemoveFlag;
}

bool lf_endsWithUnderscore(const std::string& s)
{
    return !s.empty() && s.back() == '_';
}

// s less its last character equals `other` (s not empty).
bool lf_lessLastEquals(const std::string& s, const std::string& other)
{
    return !s.empty() && std::string_view(s.data(), s.size() - 1) == other;
}

bool lf_samePosition(double lat1, double lon1, double lat2, double lon2)
{
    return std::fabs(lat1 - lat2) <= 1e-8 && std::fabs(lon1 - lon2) <= 1e-8;
}

// The holder's reports have not stopped: its last one is at most two minutes
// older than the candidate's (both the feed's time stamps).
bool lf_stillReported(const LiveAircraft& holder, const LiveAircraft& candidate)
{
    constexpr double kReportedWithinSeconds = 120.0;
    return candidate.stream.lastRecordTime - holder.stream.lastRecordTime <= kReportedWithinSeconds;
}

} // namespace

int gf_liveStandHolder(int32_t standId, uint32_t hexid)
{
    if (standId < 1)
        return 0;
    AircraftStore& store = gf_trafficState().aircraft;
    int holder = 0;
    for (const StandUse& use : gf_standUses(standId)) {
        const LiveAircraft* ac = use.hexid == hexid ? nullptr : store.findLive(use.hexid);
        if (!ac || lf_leaving(*ac))
            continue;
        if (ac->phases.phase == FlightPhase::parked && ac->sim.objectId > 2)
            return 2;
        if (lf_onOrLeavingStand(ac->phases.phase))
            holder = 1;
    }
    return holder;
}

bool lf_canReserveStandForLive(int32_t standId, uint32_t hexid)
{
    return standId >= 1 && hexid != 0 && gf_liveStandHolder(standId, hexid) == 0 && gf_standById(standId) != nullptr;
}

bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(int32_t standId, LiveAircraft& candidate)
{
    return lf_claimStandForLive(standId, candidate) == StandClaim::granted;
}

StandClaim lf_claimStandForLive(int32_t standId, LiveAircraft& candidate)
{
    LiveAircraft* holder = nullptr;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live())
        if (ac.identity.hexid != candidate.identity.hexid && ac.stand.standId == standId && !lf_leaving(ac) && lf_onOrLeavingStand(ac.phases.phase)) {
            holder = &ac;
            break;
        }
    if (!holder)
        return StandClaim::granted;
    LiveAircraft& o = *holder;
    const std::string& cs = candidate.identity.callsign;
    const std::string name = gf_standNameById(standId);
    std::string line;
    if (o.identity.callsign == cs)
        line = fmt::format("{:14}: {:8} ac with same callsign {} wants it, remove existing ... ", name, o.identity.callsign, cs);
    else if (lf_lessLastEquals(cs, o.identity.callsign))
        return StandClaim::refused; // the candidate is the holder's ghost
    else if (lf_lessLastEquals(o.identity.callsign, cs) || (lf_endsWithUnderscore(o.identity.callsign) && !lf_endsWithUnderscore(cs)))
        line = fmt::format("{:14}: {:8} ghost, replace by {}", name, o.identity.callsign, cs);
    else if (!lf_endsWithUnderscore(o.identity.callsign) && lf_endsWithUnderscore(cs))
        return StandClaim::refused;
    else if (o.stand.keepStand)
        return StandClaim::refused;
    else if (lf_stillReported(o, candidate))
        return StandClaim::holderStays; // only a holder whose reports have stopped makes way
    else
        line = fmt::format("{:14}: {:8} removed because another live {} wants the stand ...", name, o.identity.callsign, cs);
    gf_logLine(line);
    try {
        removeAircraftFromSim(o);
    } catch (...) {
        gf_reportTrafficException("lf_checkStandIsNotUsedByOtherLiveAircraftSub");
    }
    return gf_liveStandHolder(standId, 0) == 0 ? StandClaim::granted : StandClaim::refused;
}

bool lf_parkedAtStandCollides(const LiveAircraft& other, int32_t standId, const LiveAircraft& candidate,
                              const Stand& target)
{
    if (other.stand.standId != standId || other.identity.hexid == candidate.identity.hexid || !lf_onOrLeavingStand(other.phases.phase))
        return false;
    const Stand* stand = gf_standById(standId);
    if (!stand || (stand->lat == 0.0 && stand->lon == 0.0))
        return false;
    const double r = other.identity.collisionRadius + candidate.identity.collisionRadius;
    if (r <= 0.0)
        return false;
    const LatLon standAt{stand->lat, stand->lon};
    return r * r >= gf_flatOffsetNm({target.lat, target.lon}, standAt, gf_cosLatitude(stand->lat)).squared();
}

bool lf_checkExcludedStandIsAvailableForLiveParkingTry(int32_t excludedId, LiveAircraft& candidate,
                                                       const Stand& target)
{
    try {
        for (LiveAircraft& o : gf_trafficState().aircraft.live()) {
            if (!lf_parkedAtStandCollides(o, excludedId, candidate, target))
                continue;
            if (o.sim.simState != SimState::active || o.phases.phase == FlightPhase::pushed_back)
                return false;
            gf_logLine(fmt::format("{:14}: {:8} removed by parking {} at colliding adjacent stand {}",
                                   gf_standNameById(excludedId), o.identity.callsign, candidate.identity.callsign, target.name));
            removeAircraftFromSim(o);
            return false;
        }
        return true;
    } catch (...) {
        gf_reportTrafficException("lf_checkExcludedStandIsAvailableForLiveParkingTry");
        return false;
    }
}

bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& target, LiveAircraft& candidate)
{
    try {
        for (LiveAircraft& o : gf_trafficState().aircraft.live()) {
            if (o.stand.standId != target.id || o.identity.hexid == candidate.identity.hexid)
                continue;
            if (o.phases.phase == FlightPhase::parking || o.phases.phase == FlightPhase::pushing_back ||
                o.phases.phase == FlightPhase::pushed_back)
                return false;
            if (o.phases.phase != FlightPhase::parked)
                continue;
            if (o.sim.simState == SimState::active) {
                gf_logLine(fmt::format("{:14}: {:8} removed, {} wants to park there", target.name, o.identity.callsign,
                                       candidate.identity.callsign));
                removeAircraftFromSim(o);
            }
            return false; // free at a later try
        }
    } catch (...) {
        gf_reportTrafficException("lf_checkStandOrExcludedIsOccupiedByLiveParkedTry");
        return false;
    }
    for (uint32_t e : target.exclusions)
        if (!lf_checkExcludedStandIsAvailableForLiveParkingTry(static_cast<int32_t>(e), candidate, target))
            return false;
    return true;
}

void assignStand(LiveAircraft& aircraft, const Stand& stand)
{
    aircraft.stand.standLat = stand.lat;
    aircraft.stand.standLon = stand.lon;
    aircraft.stand.standHeading = stand.heading;
    gf_trafficState().aircraft.setStandId(aircraft, stand.id);
    aircraft.stand.gateStand = stand.name.find("GATE") != std::string::npos ? 1 : 0;
}

void try2Park(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st.empty()) {
        gf_logError(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    double distanceM = 0.0;
    const LatLon stopped{st.back().lat, st.back().lon};
    // A stand that another live aircraft still drives onto or leaves is
    // waited for: the checks below refuse it until it is free.
    const Stand* found = gf_findNearestStand(gf_standTable().stands, stopped, gf_standFitQuery(ac), distanceM, false);
    if (!found || lf_isUserStandOrAdjacent(*found) || !lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(*found, ac))
        return;
    const Stand stand = *found; // the removals below may not touch the table, but keep our own copy
    makeWayForLive(ac, stand);
    if (!lf_canReserveStandForLive(stand.id, ac.identity.hexid))
        return; // the next call tries again
    assignStand(ac, stand);
    st.resize(1);
    TrafficSample& first = st.front();
    if (lf_samePosition(first.lat, first.lon, stand.lat, stand.lon) &&
        !lf_samePosition(ac.motion.lat, ac.motion.lon, stand.lat, stand.lon)) {
        first.lat = ac.motion.lat;
        first.lon = ac.motion.lon;
        first.playTime = engineClock.load();
        first.stationary = 0;
    }
    if (ac.phases.phase != FlightPhase::parking)
        ac.setPhase(FlightPhase::parking);
    drive2Stand(ac, {ac.stand.standLat, ac.stand.standLon, ac.stand.standHeading});
    if (st.size() >= 2 && !st[1].stationary && lf_samePosition(st[0].lat, st[0].lon, st[1].lat, st[1].lon))
        st[1].stationary = 1;
}

bool lf_liveExistsForUnderscoreCallsign(const std::string& callsign)
{
    if (callsign.empty())
        return false;
    const std::string_view plain(callsign.data(), callsign.size() - 1);
    for (const LiveAircraft& other : gf_trafficState().aircraft.live())
        if (other.sim.simState != SimState::removingfromsim && other.identity.callsign == plain)
            return true;
    return false;
}

bool lf_liveExistsForUnderscoreCallsign(const LiveAircraft& aircraft)
{
    return lf_endsWithUnderscore(aircraft.identity.callsign) && lf_liveExistsForUnderscoreCallsign(aircraft.identity.callsign);
}

void lf_removeGhostWithUnderscoreIfPresent(const std::string& callsign)
{
    const std::string ghost = callsign + '_';
    for (LiveAircraft& other : gf_trafficState().aircraft.live()) {
        if (other.sim.simState == SimState::removingfromsim || other.identity.callsign != ghost)
            continue;
        if (other.phases.phase == FlightPhase::parked)
            gf_logLine(fmt::format("{:14}: {:8} is a ghost and will be removed, continue with {}",
                                   gf_standNameById(other.stand.standId), other.identity.callsign, callsign));
        else
            gf_logLine(fmt::format("          {:8} is a ghost and will be removed, continue with {}", other.identity.callsign,
                                   callsign));
        gf_trafficState().ghostCallsigns.push_back(other.identity.callsign);
        try {
            removeAircraftFromSim(other);
        } catch (...) {
            gf_reportTrafficException("lf_removeGhostWithUnderscoreIfPresent");
        }
        return;
    }
}

void lf_removeGhostWithUnderscoreIfPresent(const LiveAircraft& aircraft)
{
    lf_removeGhostWithUnderscoreIfPresent(aircraft.identity.callsign);
}

void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft& a)
{
    if (a.identity.callsign.empty())
        return;
    auto isAlternative = [](const StaticAircraft& s, const std::string& c) {
        return c == s.identity.callsign2 || c == s.identity.callsign3;
    };
    try {
        for (StaticAircraft& s : gf_trafficState().aircraft.statics()) {
            if (s.sim.simState != SimState::active)
                continue;
            const bool same =
                (s.sim.parkedKey == a.identity.hexid && !s.sim.parkedKeyGuard) ||
                (!a.identity.registration.empty() && a.identity.registration == s.identity.registration) || isAlternative(s, a.identity.callsign) ||
                (!a.identity.callsign3.empty() && isAlternative(s, a.identity.callsign3)) ||
                (a.identity.callsign.size() > 1 && lf_endsWithUnderscore(a.identity.callsign) &&
                 isAlternative(s, a.identity.callsign.substr(0, a.identity.callsign.size() - 1)));
            if (same) {
                removeAircraftFromSim(s);
                return;
            }
        }
    } catch (...) {
        gf_reportTrafficException("lf_checkForStaticWithCallsignOrHexidAndRemove");
    }
}

void gf_checkForAllGndIfParkedVersionExistsAndRemove()
{
    TrafficState& s = gf_trafficState();
    if (s.aircraft.staticCount() == 0)
        return;
    for (const LiveAircraft& a : s.aircraft.live()) {
        if (a.sim.simState != SimState::active || !a.phases.groundMode)
            continue;
        for (StaticAircraft& st : s.aircraft.statics()) {
            if (st.sim.simState != SimState::active)
                continue;
            if ((!a.identity.registration.empty() && st.identity.registration == a.identity.registration) || st.identity.callsign == a.identity.callsign + '*') {
                removeAircraftFromSim(st);
                return;
            }
        }
    }
}

void gf_checkLiveVsParkedCollisions()
{
    TrafficState& s = gf_trafficState();
    if (s.aircraft.staticCount() == 0)
        return;
    const uint32_t parked = staticParkedCount.load();
    bool all = parked != g_lastStaticParked;
    g_lastStaticParked = parked;
    if (++g_collisionCalls >= 60) {
        g_collisionCalls = 0;
        all = true;
    }
    for (LiveAircraft& ac : s.aircraft.live()) {
        if (!ac.phases.groundMode || ac.sim.simState != SimState::active ||
            (ac.phases.phase != FlightPhase::taxi && ac.phases.phase != FlightPhase::parking))
            continue;
        const bool never = ac.reports.collisionCheckLat == 0.0 && ac.reports.collisionCheckLon == 0.0;
        if (!all && !never) {
            const LatLon lastCheck{ac.reports.collisionCheckLat, ac.reports.collisionCheckLon};
            if (gf_flatOffsetNm(lastCheck, {ac.motion.lat, ac.motion.lon}, gf_cosLatitude(ac.motion.lat)).squared() <= 9e-6)
                continue;
        }
        ac.reports.collisionCheckLat = ac.motion.lat;
        ac.reports.collisionCheckLon = ac.motion.lon;
        collisionWithParked(ac);
    }
}

uint64_t gf_countLiveParked(bool withAge)
{
    uint64_t count = 0;
    const WeekSlot now = gf_weekSlotOfWord(weekdayHalfHourWord.load());
    const int64_t nowIndex = (static_cast<int64_t>(now.weekday) - 1) * 48 + now.halfHour;
    int64_t sum = 0;
    int64_t included = 0;
    for (const LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        if (ac.phases.phase != FlightPhase::parked || ac.sim.simState != SimState::active)
            continue;
        ++count;
        const WeekSlot p = ac.reports.parkedSince;
        if (p.weekday == 0 || (static_cast<int64_t>(p.weekday) - 1) * 48 + p.halfHour >= nowIndex)
            continue;
        sum += (static_cast<int64_t>(now.weekday) - p.weekday) * 48 - p.halfHour + now.halfHour;
        ++included;
    }
    if (withAge) {
        const double hours = included > 0 ? static_cast<double>(sum) / (2.0 * included) + 0.5 : 0.0;
        gf_uiSink().enqueueUpdate(GuiUpdate::LiveFit{static_cast<float>(hours)});
    }
    return count;
}

void makeWayForLive(LiveAircraft& live, const Stand& stand)
{
    TrafficState& s = gf_trafficState();
    for (StaticAircraft& st : s.aircraft.statics()) {
        if (st.stand.standId != stand.id)
            continue;
        const bool same = st.identity.callsign2 == live.identity.callsign || (!st.identity.registration.empty() && st.identity.registration == live.identity.registration);
        const char* suffix = same ? " the same live version" : "";
        if (st.sim.simState == SimState::active) {
            gf_logLine(fmt::format("{:14}: {:8} {} makes way for{} {} {}", stand.name, st.identity.callsign, st.identity.registration,
                                   suffix, live.identity.callsign, live.identity.registration));
            removeAircraftFromSim(st);
        } else if (st.sim.simState == SimState::adding2sim) {
            if (!lf_cancelPendingCreation(s.staticCreations, st.key())) {
                st.sim.removeWhenCreated = 1;
            } else {
                st.sim.staticRemoveFlag = 1;
                gf_logLine(fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", stand.name, st.identity.callsign,
                                       st.identity.registration, suffix, live.identity.callsign, live.identity.registration));
                gf_compactStaticAircraft();
            }
        }
        break;
    }
    for (uint32_t excludedId : stand.exclusions) {
        const Stand* excluded = gf_standById(static_cast<int32_t>(excludedId));
        if (!excluded)
            continue;
        for (StaticAircraft& st : s.aircraft.statics()) {
            if (st.stand.standId != excluded->id || st.sim.simState != SimState::active)
                continue;
            const LatLon excludedAt{excluded->lat, excluded->lon};
            if (st.identity.collisionRadius + live.identity.collisionRadius >=
                gf_flatOffsetNm(excludedAt, {stand.lat, stand.lon}, gf_cosLatitude(excluded->lat)).length()) {
                gf_logLine(fmt::format("{:14}: {:8} makes way for {} parking at excluded stand {}", excluded->name,
                                       st.identity.callsign, live.identity.callsign, stand.name));
                removeAircraftFromSim(st);
            }
        }
    }
}

void collisionWithParked(LiveAircraft& ac)
{
    if (!ac.phases.groundMode)
        return;
    try {
        for (StaticAircraft& st : gf_trafficState().aircraft.statics()) {
            if (st.sim.simState != SimState::active || st.identity.callsign == ac.identity.callsign)
                continue;
            if (!gf_withinCombinedRadiusNm({ac.motion.lat, ac.motion.lon}, ac.identity.collisionRadius, {st.stand.standLat, st.stand.standLon},
                                           st.identity.collisionRadius))
                continue;
            gf_logLine(fmt::format("{:14}: {:8} removed for 'live vs parked' collision avoidance with {}",
                                   gf_standNameById(st.stand.standId), st.identity.callsign, ac.identity.callsign));
            removeAircraftFromSim(st);
            return;
        }
    } catch (...) {
        gf_reportTrafficException("collisionWithParked");
    }
}
