#include "engine/sim_reactions.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft_commands.h"
#include "engine/approach.h"
#include "engine/takeoff.h"
#include "engine/engine_reports.h"
#include "engine/geometry.h"
#include "engine/livery_choice.h"
#include "engine/stand_arrival.h"
#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/units.h"
#include "engine/live_at_stands.h"
#include "stands/stand_table.h"
#include "runways/runway_matching.h"
#include <shared_mutex>
#include "engine/traffic_state.h"
#include "liveries/livery_memory.h"
#include "engine/traffic_aircraft.h"
#include "engine/flight_plan.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/user_model.h"

namespace {

constexpr uint32_t kDelayTicks = 200;

bool lf_validCg(double cg)
{
    return std::isfinite(cg) && cg >= -1.0 && cg <= 35.0 && cg != 0.0;
}


void lf_applyStaticCgAndPitch(IdentityAndModel& ac, const SimEvent& e)
{
    if (lf_validCg(e.value1)) {
        ac.cgFt = e.value1;
        ac.cgMeasured = 1;
    } else {
        ac.cgFt = ac.cgDefaultFt;
        ac.cgMeasured = 0;
    }
    const double pitch = e.value2;
    // A parked pitch outside (-1, 2.5] degrees is not believed; a usual one is used.
    constexpr double kUsualStaticPitchRad = 0.7 * kDegToRad;
    ac.staticPitch = std::isfinite(pitch) && pitch > -kDegToRad && pitch <= 2.5 * kDegToRad
                         ? pitch
                         : kUsualStaticPitchRad;
}

void lf_applyGroundData(LiveAircraft& ac, const SimEvent& e)
{
    std::string source;
    if (e.key == 1 && !ac.groundMode && ac.liftOffCounter < 2) {
        enterLandingRoll(ac);
        if (ac.groundMode)
            source = "simconnect";
    }
    applySimGroundReport(ac, e, source);
}

// The aircraft's waiting commands named the old object.
void lf_forgetDelayedCommands(uint32_t key)
{
    std::erase_if(gf_trafficState().delayedCommands, [key](const SimEvent& d) { return d.key == key; });
}

// A static's object that went with the connection while it still settled in
// the delayed list: the static does not know its object yet, so only the
// list's entry names it. The entry goes, and the static is asked for again
// on the next connection (or dropped when it was to be removed anyway).
bool lf_createStaticAgainIfSettling(uint32_t objectId)
{
    std::vector<SimEvent>& delayed = gf_trafficState().delayedCommands;
    const auto entry = std::find_if(delayed.begin(), delayed.end(), [objectId](const SimEvent& d) {
        return d.kind == SimEventKind::StaticCreated && d.objectId == objectId;
    });
    if (entry == delayed.end())
        return false;
    const uint32_t key = entry->key;
    const uint32_t requestId = static_cast<uint32_t>(entry->value1);
    delayed.erase(entry);
    StaticAircraft* st = gf_trafficState().aircraft.findStatic(key);
    if (!st || st->simState != SimState::adding2sim || !st->creationAnswered || st->creationRequestId != requestId)
        return true;
    if (st->removeWhenCreated) {
        st->staticRemoveFlag = 1;
        gf_trafficState().staticDirty = true;
    } else {
        gf_queueStaticCreation(*st);
    }
    return true;
}

// An object that went with the connection: an aircraft still shown is
// created again (a live one where it stands now), once the simulator is
// back. False for one that was leaving anyway.
bool lf_keepForNextConnection(uint32_t objectId)
{
    AircraftStore& store = gf_trafficState().aircraft;
    if (LiveAircraft* ac = store.findLiveByObjectId(objectId);
        ac && ac->simState == SimState::active && !ac->samples.empty()) {
        lf_forgetDelayedCommands(ac->key());
        lf_startAgainFromHere(*ac);
        lf_backToBuffer(*ac);
        return true;
    }
    if (StaticAircraft* st = store.findStaticByObjectId(objectId); st && st->simState == SimState::active) {
        lf_forgetDelayedCommands(st->key());
        store.setObjectId(*st, 0);
        gf_queueStaticCreation(*st);
        return true;
    }
    return lf_createStaticAgainIfSettling(objectId);
}

// The creation request that an answer (object id or failure) names.
uint32_t lf_requestOf(const SimEvent& e)
{
    return static_cast<uint32_t>(e.value1);
}

// The answer is the one the aircraft waits for: to its last request, which
// has not been answered yet. An answer to an earlier request (one given up,
// or made for a record of the same address that is gone) is late.
bool lf_answersRequest(const AircraftBase* ac, const SimEvent& e)
{
    return ac && ac->simState == SimState::adding2sim && !ac->creationAnswered &&
           ac->creationRequestId == lf_requestOf(e);
}

// An object created for a request nobody waits for any more: nothing would
// drive it or ever remove it, so it goes at once.
void lf_removeLateObject(const SimEvent& e)
{
    if (e.objectId < 3)
        return;
    const std::string whose = gf_isLiveKey(e.key) ? fmt::format("hexid {:x}", gf_hexidOfLiveKey(e.key))
                                                  : fmt::format("static key {}", e.key);
    gf_logLine(fmt::format("Object {} created for {} that no longer waits for it, removing it",
                           gf_objectIdText(e.objectId), whose));
    gf_trafficState().removalQueue.push_back(e.objectId);
}

// A creation the old connection never answered is asked again.
void lf_createOnNextConnection(const SimEvent& e)
{
    AircraftStore& store = gf_trafficState().aircraft;
    if (gf_isLiveKey(e.key)) {
        if (LiveAircraft* ac = store.findLive(gf_hexidOfLiveKey(e.key)); lf_answersRequest(ac, e))
            lf_backToBuffer(*ac);
    } else if (StaticAircraft* st = store.findStatic(e.key); lf_answersRequest(st, e)) {
        gf_queueStaticCreation(*st);
    }
}

void lf_applyEvent(const SimEvent& e)
{
    TrafficState& s = gf_trafficState();
    AircraftStore& store = s.aircraft;
    switch (e.kind) {
    case SimEventKind::LiveCreated: {
        if (!gf_isLiveKey(e.key))
            return;
        LiveAircraft* ac = store.findLive(gf_hexidOfLiveKey(e.key));
        if (!lf_answersRequest(ac, e)) {
            lf_removeLateObject(e);
            return;
        }
        if (onLiveAcCreated(*ac, e)) {
            ac->creationAnswered = 1;
            s.delayedCommands.push_back(e);
        }
        return;
    }
    case SimEventKind::StaticCreated: {
        StaticAircraft* st = store.findStatic(e.key);
        if (!lf_answersRequest(st, e)) {
            lf_removeLateObject(e);
            return;
        }
        st->creationAnswered = 1;
        s.delayedCommands.push_back(e);
        return;
    }
    case SimEventKind::Removed:
        if (e.key == kWentWithConnection && lf_keepForNextConnection(e.objectId))
            return;
        if (LiveAircraft* ac = store.findLiveByObjectId(e.objectId)) {
            if (ac->simState == SimState::liveryrespawn) {
                lf_backToBuffer(*ac);
            } else {
                lf_eraseLiveAircraft(*ac);
            }
        } else if (StaticAircraft* st = store.findStaticByObjectId(e.objectId)) {
            lf_eraseStaticAircraft(*st);
        }
        return;
    case SimEventKind::GroundData:
        if (LiveAircraft* ac = store.findLiveByObjectId(e.objectId))
            lf_applyGroundData(*ac, e);
        return;
    case SimEventKind::StaticCgAndPitch:
        if (LiveAircraft* ac = store.findLiveByObjectId(e.objectId))
            lf_applyStaticCgAndPitch(*ac, e);
        return;
    case SimEventKind::CreateFailed:
        if (e.value2 == kWentWithConnection) {
            lf_createOnNextConnection(e);
            return;
        }
        // The record goes first; the livery failure report may end the run
        // (too many failed titles) and then takes a copy with it. A late
        // failure says nothing about the aircraft's current request.
        if (gf_isLiveKey(e.key)) {
            if (LiveAircraft* ac = store.findLive(gf_hexidOfLiveKey(e.key)); lf_answersRequest(ac, e)) {
                const AircraftBase failed = *ac;
                lf_eraseLiveAircraft(*ac);
                gf_reportFailedLivery(failed);
            }
        } else if (StaticAircraft* st = store.findStatic(e.key); lf_answersRequest(st, e)) {
            const AircraftBase failed = *st;
            lf_eraseStaticAircraft(*st);
            gf_reportFailedLivery(failed);
        }
        return;
    default:
        return;
    }
}

void lf_applyDelayedStaticCommand(const SimEvent& entry)
{
    AircraftStore& store = gf_trafficState().aircraft;
    StaticAircraft* st = store.findStatic(entry.key);
    if (!st) {
        gf_logError(fmt::format("Delayed static command expired: hexid:{:x}, objectid:{} no longer exists", entry.key,
                                gf_objectIdText(entry.objectId)));
        return;
    }
    st->simState = SimState::active;
    store.setObjectId(*st, entry.objectId);
    shutDownParkedAc(*st);
    gf_logLine(fmt::format("{:14}: {:8} parked", gf_standNameById(st->standId), st->callsign));
    staticParkedCount.fetch_add(1);
    if (st->removeWhenCreated)
        removeAircraftFromSim(*st);
}

} // namespace

std::atomic<uint32_t> staticParkedCount{0};

void lf_processSimEvents()
{
    TrafficState& s = gf_trafficState();
    gf_simEventQueue().swapInto(s.processingEvents);
    for (const SimEvent& e : s.processingEvents) {
        try {
            lf_applyEvent(e);
        } catch (const kvr::UserRelatedException&) {
            throw; // a condition the user must fix ends the run
        } catch (...) {
            gf_reportTrafficException("lf_processSimEvents");
        }
    }
    s.processingEvents.clear();
    // An entry's command may erase records, never delayed entries: the list is
    // only walked here.
    std::vector<SimEvent>& delayed = s.delayedCommands;
    size_t out = 0;
    for (size_t i = 0; i < delayed.size(); ++i) {
        bool done = true;
        try {
            done = lf_runDelayedCommand(delayed[i]);
        } catch (...) {
            gf_reportTrafficException("lf_runDelayedCommand");
        }
        if (!done)
            delayed[out++] = delayed[i];
    }
    delayed.resize(out);
}

bool lf_runDelayedCommand(SimEvent& entry)
{
    if (entry.counter < kDelayTicks) {
        if (entry.kind == SimEventKind::LiveCreated && (entry.counter == 49 || entry.counter == 99))
            gf_postSimCommand(SimCommand{entry.objectId, SimEventId::ALL_LIGHTS_TOGGLE, 0});
        ++entry.counter;
        return false;
    }
    switch (entry.kind) {
    case SimEventKind::LiveCreated: {
        LiveAircraft* ac = gf_trafficState().aircraft.findLive(gf_hexidOfLiveKey(entry.key));
        if (!ac) {
            gf_logError(fmt::format("Delayed live command expired: hexid:{:x}, objectid:{} no longer exists",
                                    gf_hexidOfLiveKey(entry.key), gf_objectIdText(entry.objectId)));
            return true;
        }
        activateLiveAc(*ac);
        if (ac->removeWhenCreated)
            removeAircraftFromSim(*ac);
        return true;
    }
    case SimEventKind::StaticCreated:
        lf_applyDelayedStaticCommand(entry);
        return true;
    default:
        gf_logError(fmt::format("Unexpected delayed SimCommand {} for hexid:{:x}", entry.kind, entry.key));
        return true;
    }
}

bool onLiveAcCreated(LiveAircraft& aircraft, const SimEvent& event)
{
    if (event.objectId < 3)
        return false;
    AircraftStore& store = gf_trafficState().aircraft;
    store.setObjectId(aircraft, event.objectId);
    if (aircraft.phase == FlightPhase::parked) {
        const auto atStandPhase = [](FlightPhase p) {
            return p == FlightPhase::pushing_back || p == FlightPhase::pushed_back || p == FlightPhase::parking;
        };
        bool owns = aircraft.standId >= 1 && aircraft.hexid != 0;
        if (owns) {
            for (const LiveAircraft& other : store.live()) {
                if (other.hexid == aircraft.hexid || other.standId != aircraft.standId)
                    continue;
                if (atStandPhase(other.phase) || (other.phase == FlightPhase::parked && other.objectId > 2)) {
                    owns = false;
                    break;
                }
            }
        }
        if (!owns) {
            gf_logLine(fmt::format("{:14}: {} created without owning the live stand reservation, will be removed",
                                   gf_standNameById(aircraft.standId), aircraft.callsign));
            aircraft.removeWhenCreated = 1;
            return true;
        }
    }
    if (!aircraft.samples.empty() && !aircraft.samples.front().airborne)
        hp_handleGroundTraffic(aircraft);
    lf_sendFlightPlan(aircraft);
    gf_postDataRequest(DataRequestKind::StaticCgAndPitch, aircraft.objectId);
    return true;
}

void activateLiveAc(LiveAircraft& aircraft)
{
    const bool airborne = !aircraft.samples.empty() && aircraft.samples.front().airborne;
    aircraft.activatedAirborne = airborne ? 1 : 0;
    aircraft.activatedAt = engineClock.load();
    const uint32_t id = aircraft.objectId;
    if (airborne) {
        const uint32_t low = aircraft.altitudeFt <= 10000.0 ? 1u : 0u;
        const uint32_t cabin = aircraft.lastSimAglFt >= 2000.0 ? 1u : 0u;
        gf_engineStart(id);
        gf_setSpoilers(aircraft, false);
        gf_setLights(id, LightStates{1, 1, low, 0, 1, low, cabin});
    } else {
        const bool parked = aircraft.phase == FlightPhase::parked;
        gf_setSpoilers(aircraft, false);
        uint32_t nav = 1;
        if (!parked) {
            gf_engineStart(id);
        } else {
            gf_engineShutdown(id);
            nav = gf_parametersSnapshot()->NAV_LIGHTS_WHILE_PARKED ? 1u : 0u;
        }
        gf_setLights(id, LightStates{nav, parked ? 0u : 1u, 0, aircraft.phase == FlightPhase::taxi ? 1u : 0u, 0, 1, 1});
        gf_setThrottle(aircraft, aircraft.category == Category::Rotorcraft ? 4u : 0u);
        gf_setFlaps(aircraft, aircraft.phase == FlightPhase::taxi ? 1u : 0u);
    }
    aircraft.simState = SimState::active;
}

void hp_handleGroundTraffic(LiveAircraft& aircraft)
{
    aircraft.groundMode = 1;
    gf_setGear(aircraft, true);
    aircraft.verticalSpeedStep = 0.0;
    if (aircraft.phase == FlightPhase::parked) {
        aircraft.parkedSince = gf_weekSlotOfWord(weekdayHalfHourWord.load());
        // One spawned at its stand has no arrival time; a respawn keeps the one it has.
        if (aircraft.parkedSinceTime == 0)
            aircraft.parkedSinceTime = gf_systemTime100ns();
        gf_logLine(fmt::format("{:14}: {:8} parks", gf_standNameById(aircraft.standId),
                               aircraft.callsign));
        try {
            for (StaticAircraft& st : gf_trafficState().aircraft.statics()) {
                if (st.simState != SimState::active || st.standId != aircraft.standId)
                    continue;
                gf_logLine(fmt::format("{:14}: {:8} parks over static {} , static will be removed",
                                       gf_standNameById(aircraft.standId), aircraft.callsign,
                                       st.callsign));
                removeAircraftFromSim(st);
                break;
            }
        } catch (...) {
            gf_reportTrafficException("hp_handleGroundTraffic");
        }
    }
    aircraft.liftOffCounter = 1;
}

void lf_sendFlightPlan(LiveAircraft& aircraft)
{
    aircraft.flightPlanSent = 0;
    if (!gf_isMSFS2020() || !aircraft.origin.isSet() || !aircraft.destination.isSet())
        return;
    const std::filesystem::path path = gf_createFlightPlan(aircraft.objectId, aircraft);
    if (path.empty()) {
        gf_logError(fmt::format("{} creating a flight plan failed",
                                lf_formatWithAirlOprModel("{:8} {} {}", aircraft.callsign, aircraft.registration,
                                                          aircraft.ids)));
        return;
    }
    gf_postFlightPlan(aircraft.objectId, path.wstring());
    aircraft.flightPlanSent = 1;
}

void applySimGroundReport(LiveAircraft& ac, const SimEvent& event, std::string& source)
{
    const double g = event.value1;
    const double a = event.value2;
    const auto valid = [](double h) { return std::isfinite(h) && h >= -1.0 && h <= 35.0; };
    ac.lastSimAglFt = a;
    if (std::isfinite(g))
        ac.lastSimGroundFt = g;
    const double cg = ac.cgFt;
    const double d = ac.altitudeFt - g;
    if (!ac.groundMode && ac.phase == FlightPhase::landing && ac.flareStage != 0 && !ac.cgMeasured &&
        std::isfinite(cg) && cg >= 1.0 && cg <= 35.0 && std::isfinite(a) && a >= -1.0 && a <= cg + 1.0 &&
        std::isfinite(d) && d >= -1.0 && d <= cg + 1.0) {
        ac.calibrationFt = cg;
        ac.calibrationPitch = ac.pitch;
        ac.altitudeFt = cg + g;
        enterLandingRoll(ac);
        if (ac.groundMode)
            source = "fallback";
        else
            return;
    }
    if (ac.groundMode) {
        if (ac.phase == FlightPhase::landing_roll && std::isnan(ac.calibrationFt)) {
            if (valid(a) && a != 0.0) {
                ac.calibrationFt = a;
                ac.calibrationPitch = ac.pitch;
            } else if (valid(d) && d != 0.0) {
                ac.calibrationFt = d;
                ac.calibrationPitch = ac.pitch;
            } else {
                ac.calibrationFailed = 1;
            }
        }
        const bool cgValid = valid(cg) && cg != 0.0;
        const bool calibrated = valid(ac.calibrationFt) && ac.calibrationFt != 0.0;
        if (calibrated && !cgValid) {
            ac.altitudeFt = ac.calibrationFt + g;
        } else if (calibrated && std::isfinite(ac.calibrationPitch) && std::isfinite(ac.pitch) &&
                   std::isfinite(ac.staticPitch) && std::fabs(ac.calibrationPitch - ac.staticPitch) > 1e-9) {
            const double f =
                std::clamp(std::fabs((ac.pitch - ac.staticPitch) / (ac.calibrationPitch - ac.staticPitch)), 0.0, 1.0);
            ac.altitudeFt = (ac.calibrationFt - cg) * f + cg + g;
        } else if (!calibrated && !cgValid) {
            ac.altitudeFt = g;
        } else {
            ac.altitudeFt = cg + g;
        }
        return;
    }
    if (ac.liftOffCounter >= 2) {
        const double arm = std::clamp(ac.radius * kFeetPerNm * 0.22, 4.0, 20.0);
        if (std::isfinite(cg) && std::isfinite(ac.staticPitch) && std::isfinite(ac.pitch))
            ac.altitudeFt =
                cg + arm * std::sin(std::min(std::fabs(ac.pitch - ac.staticPitch), 0.3490658503988659)) + g;
        else
            ac.altitudeFt = cg + g;
    }
}

void enterLandingRoll(LiveAircraft& ac)
{
    if (ac.simState == SimState::removingfromsim || ac.phase == FlightPhase::takeoff)
        return;
    if (ac.phase == FlightPhase::landing) {
        const auto match = gf_runwayAtPosition({ac.lat, ac.lon}, ac.heading);
        if (match && match->distancePastThreshold && *match->distancePastThreshold < 60.0 &&
            std::isfinite(match->startAltitude)) {
            // Held on the ground it touched (the simulator's, where that lies
            // above the runway's elevation) until past the threshold. It
            // keeps at least the last flare stage's sink: the landing floor
            // holds it up to there, and past it it settles and touches again;
            // without a sink it would float on a foot up, off the runway onto
            // an exit with the heading of the air.
            constexpr double kTouchdownSinkPerTick = -0.025;
            ac.altitudeFt =
                std::max(std::max(ac.cgFt, 0.0) + landingGroundFt(ac, match->startAltitude) + 1.0, ac.altitudeFt);
            ac.verticalSpeedFpm = 0.0;
            ac.verticalSpeedStep = std::min(ac.verticalSpeedStep, kTouchdownSinkPerTick);
            ac.flight.landing.vsMemory = 0.0;
            return;
        }
    }
    const bool wasLanding = ac.phase == FlightPhase::landing;
    if (ac.flareStage != 0 && ac.phase == FlightPhase::landing_roll) {
        lf_setupLandingRoll(ac);
    } else if (ac.phase == FlightPhase::landing || ac.flareStage != 0) {
        ac.setPhase(FlightPhase::landing_roll);
        lf_setupLandingRoll(ac);
    }
    // A touch-down from the approach watches the samples for a go-around,
    // unless the stream already climbs away again.
    bool goesAgain = false;
    if (wasLanding) {
        ac.goAroundWatch = 1;
        goesAgain = lf_findTouchAndGoClimb(ac);
        if (goesAgain)
            ac.goAroundWatch = 0;
    }
    ac.groundMode = 1;
    ac.verticalSpeedStep = 0.0;
    ac.liftOffCounter = 1;
    for (auto it = ac.samples.rbegin(); it != ac.samples.rend(); ++it) {
        if (it->airborne && std::isfinite(it->altitudeFt) && it->altitudeFt > 0.0) {
            ac.lastAirborneAltitudeFt = it->altitudeFt;
            break;
        }
    }
    if (goesAgain)
        enterTakeoffRoll(ac, true);
}

void lf_setupLandingRoll(LiveAircraft& ac)
{
    const bool recentRotorcraft = ac.category == Category::Rotorcraft && ac.activatedAirborne &&
                                  engineClock.load() - ac.activatedAt < 3000;
    if (!recentRotorcraft) {
        std::string at = " at ?";
        std::string from;
        {
            std::shared_lock lock(engineLock);
            if (CurrentAirport.code != 0) {
                const FlatOffsetNm offset = gf_flatOffsetNm({CurrentAirport.latitude, CurrentAirport.longitude},
                                                            {ac.lat, ac.lon}, gf_cosLatitude(ac.lat));
                const uint32_t c = CurrentAirport.code;
                const char here[5] = {static_cast<char>(c >> 24), static_cast<char>(c >> 16),
                                      static_cast<char>(c >> 8), static_cast<char>(c), '\0'};
                if (offset.squared() <= 25.0)
                    at = fmt::format(" at {}", here);
            }
        }
        if (ac.origin.isSet())
            from = fmt::format(" from {}", ac.origin.toString());
        std::string runway;
        if (const auto match = gf_runwayAtPosition({ac.lat, ac.lon}, ac.heading);
            match && match->distancePastThreshold && match->lengthFromThreshold && *match->lengthFromThreshold > 0.0)
            runway = fmt::format(" runway {}", match->endText);
        else if (const auto name = gf_runwayNameAt({ac.lat, ac.lon}, ac.heading))
            runway = fmt::format(" runway {}", *name);
        lf_flightMessage(fmt::format("{} {} {} {} {} touch down{}{}{} ...", gf_utcTimeText(), ac.callsign,
                                     ac.registration, lf_airlineText(ac), gf_modelCodeText(ac.ids.model), at, from,
                                     runway));
    }
    ac.touchdownHeading = ac.heading;
    gf_setSpoilers(ac, true);
    if (ac.category != Category::Light)
        gf_setSpoilersThrust(ac.objectId, true, ac.reverseThrust != 0);
    if (ac.onGroundSlots <= 0) {
        gf_logLine(fmt::format("{} ! onGround slots {:.1f}", ac.callsign, static_cast<double>(ac.onGroundSlots)));
        ac.rolloutPitchStep = ac.staticPitch - ac.pitch;
        ac.rolloutBankStep = 0.0;
    } else {
        ac.rolloutPitchStep = (ac.staticPitch - ac.pitch) / ac.onGroundSlots;
        ac.rolloutBankStep = (0.0 - ac.bank) / ac.onGroundSlots;
    }
    gf_trafficState().newLiveHexids.push_back(ac.hexid);
}

void collisionWithParked(LiveAircraft& ac)
{
    if (!ac.groundMode)
        return;
    try {
        for (StaticAircraft& st : gf_trafficState().aircraft.statics()) {
            if (st.simState != SimState::active || st.callsign == ac.callsign)
                continue;
            if (!gf_withinCombinedRadiusNm({ac.lat, ac.lon}, ac.collisionRadius, {st.standLat, st.standLon},
                                           st.collisionRadius))
                continue;
            gf_logLine(fmt::format("{:14}: {:8} removed for 'live vs parked' collision avoidance with {}",
                                   gf_standNameById(st.standId), st.callsign, ac.callsign));
            removeAircraftFromSim(st);
            return;
        }
    } catch (...) {
        gf_reportTrafficException("collisionWithParked");
    }
}
