#include "engine/sim_reactions.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/approach.h"
#include "engine/motion/takeoff.h"
#include "engine/livery_choice.h"
#include "engine/stand_arrival.h"
#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/units.h"
#include "engine/traffic_log.h"
#include "liveries/model_texts.h"
#include "stands/stand_table.h"
#include "runways/runway_matching.h"
#include <shared_mutex>
#include "engine/traffic_state.h"
#include "liveries/livery_memory.h"
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
    if (e.key == 1 && !ac.phases.groundMode && ac.reports.liftOffCounter < 2) {
        enterLandingRoll(ac);
        if (ac.phases.groundMode)
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
    if (!st || st->sim.simState != SimState::adding2sim || !st->sim.creationAnswered || st->sim.creationRequestId != requestId)
        return true;
    if (st->sim.removeWhenCreated) {
        st->sim.staticRemoveFlag = 1;
        gf_trafficState().staticDirty = true;
    } else {
        gf_queueStaticCreation(*st);
    }
    return true;
}

// A live aircraft whose object still settled (its activation waits in the
// delayed list) is kept as well, unless it was to go once created.
bool lf_liveShownOrSettling(const LiveAircraft& ac)
{
    if (ac.stream.samples.empty())
        return false;
    if (ac.sim.simState == SimState::active)
        return true;
    return ac.sim.simState == SimState::adding2sim && ac.sim.creationAnswered && !ac.sim.removeWhenCreated;
}

// An object that went with the connection: an aircraft still shown or still
// settling is created again (a live one where it stands now, with its stand
// and phase), once the simulator is back. False for one that was leaving
// anyway.
bool lf_keepForNextConnection(uint32_t objectId)
{
    AircraftStore& store = gf_trafficState().aircraft;
    if (LiveAircraft* ac = store.findLiveByObjectId(objectId); ac && lf_liveShownOrSettling(*ac)) {
        lf_forgetDelayedCommands(ac->key());
        lf_startAgainFromHere(*ac);
        lf_backToBuffer(*ac);
        return true;
    }
    if (StaticAircraft* st = store.findStaticByObjectId(objectId); st && st->sim.simState == SimState::active) {
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
    return ac && ac->sim.simState == SimState::adding2sim && !ac->sim.creationAnswered &&
           ac->sim.creationRequestId == lf_requestOf(e);
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
            ac->sim.creationAnswered = 1;
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
        st->sim.creationAnswered = 1;
        s.delayedCommands.push_back(e);
        return;
    }
    case SimEventKind::Removed:
        if (e.key == kWentWithConnection && lf_keepForNextConnection(e.objectId))
            return;
        if (LiveAircraft* ac = store.findLiveByObjectId(e.objectId)) {
            if (ac->sim.simState == SimState::liveryrespawn) {
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
            lf_applyStaticCgAndPitch(ac->identity, e);
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
    st->sim.simState = SimState::active;
    store.setObjectId(*st, entry.objectId);
    shutDownParkedAc(*st);
    gf_logLine(fmt::format("{:14}: {:8} parked", gf_standNameById(st->stand.standId), st->identity.callsign));
    staticParkedCount.fetch_add(1);
    if (st->sim.removeWhenCreated)
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
        if (ac->sim.removeWhenCreated)
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
    if (aircraft.phases.phase == FlightPhase::parked) {
        const auto atStandPhase = [](FlightPhase p) {
            return p == FlightPhase::pushing_back || p == FlightPhase::pushed_back || p == FlightPhase::parking;
        };
        bool owns = aircraft.stand.standId >= 1 && aircraft.identity.hexid != 0;
        if (owns) {
            for (const LiveAircraft& other : store.live()) {
                if (other.identity.hexid == aircraft.identity.hexid || other.stand.standId != aircraft.stand.standId)
                    continue;
                if (atStandPhase(other.phases.phase) || (other.phases.phase == FlightPhase::parked && other.sim.objectId > 2)) {
                    owns = false;
                    break;
                }
            }
        }
        if (!owns) {
            gf_logLine(fmt::format("{:14}: {} created without owning the live stand reservation, will be removed",
                                   gf_standNameById(aircraft.stand.standId), aircraft.identity.callsign));
            aircraft.sim.removeWhenCreated = 1;
            return true;
        }
    }
    if (!aircraft.stream.samples.empty() && !aircraft.stream.samples.front().airborne)
        hp_handleGroundTraffic(aircraft);
    lf_sendFlightPlan(aircraft);
    gf_postDataRequest(DataRequestKind::StaticCgAndPitch, aircraft.sim.objectId);
    return true;
}

void activateLiveAc(LiveAircraft& aircraft)
{
    const bool airborne = !aircraft.stream.samples.empty() && aircraft.stream.samples.front().airborne;
    aircraft.reports.activatedAirborne = airborne ? 1 : 0;
    aircraft.reports.activatedAt = engineClock.load();
    const uint32_t id = aircraft.sim.objectId;
    if (airborne) {
        const uint32_t low = aircraft.motion.altitudeFt <= 10000.0 ? 1u : 0u;
        const uint32_t cabin = aircraft.reports.lastSimAglFt >= 2000.0 ? 1u : 0u;
        gf_engineStart(id);
        gf_setSpoilers(aircraft, false);
        gf_setLights(id, LightStates{1, 1, low, 0, 1, low, cabin});
    } else {
        const bool parked = aircraft.phases.phase == FlightPhase::parked;
        gf_setSpoilers(aircraft, false);
        uint32_t nav = 1;
        if (!parked) {
            gf_engineStart(id);
        } else {
            gf_engineShutdown(id);
            nav = gf_parametersSnapshot()->NAV_LIGHTS_WHILE_PARKED ? 1u : 0u;
        }
        gf_setLights(id, LightStates{nav, parked ? 0u : 1u, 0, aircraft.phases.phase == FlightPhase::taxi ? 1u : 0u, 0, 1, 1});
        gf_setThrottle(aircraft, aircraft.identity.category == Category::Rotorcraft ? 4u : 0u);
        gf_setFlaps(aircraft, aircraft.phases.phase == FlightPhase::taxi ? 1u : 0u);
    }
    aircraft.sim.simState = SimState::active;
}

void hp_handleGroundTraffic(LiveAircraft& aircraft)
{
    aircraft.phases.groundMode = 1;
    gf_setGear(aircraft, true);
    aircraft.reports.verticalSpeedStep = 0.0;
    if (aircraft.phases.phase == FlightPhase::parked) {
        aircraft.reports.parkedSince = gf_weekSlotOfWord(weekdayHalfHourWord.load());
        // One spawned at its stand has no arrival time; a respawn keeps the one it has.
        if (aircraft.reports.parkedSinceTime == 0)
            aircraft.reports.parkedSinceTime = gf_systemTime100ns();
        gf_logLine(fmt::format("{:14}: {:8} parks", gf_standNameById(aircraft.stand.standId),
                               aircraft.identity.callsign));
        try {
            for (StaticAircraft& st : gf_trafficState().aircraft.statics()) {
                if (st.sim.simState != SimState::active || st.stand.standId != aircraft.stand.standId)
                    continue;
                gf_logLine(fmt::format("{:14}: {:8} parks over static {} , static will be removed",
                                       gf_standNameById(aircraft.stand.standId), aircraft.identity.callsign,
                                       st.identity.callsign));
                removeAircraftFromSim(st);
                break;
            }
        } catch (...) {
            gf_reportTrafficException("hp_handleGroundTraffic");
        }
    }
    aircraft.reports.liftOffCounter = 1;
}

void lf_sendFlightPlan(LiveAircraft& aircraft)
{
    aircraft.reports.flightPlanSent = 0;
    if (!gf_isMSFS2020() || !aircraft.identity.origin.isSet() || !aircraft.identity.destination.isSet())
        return;
    const std::filesystem::path path = gf_createFlightPlan(aircraft.sim.objectId, aircraft);
    if (path.empty()) {
        gf_logError(fmt::format("{} creating a flight plan failed",
                                lf_formatWithAirlOprModel("{:8} {} {}", aircraft.identity.callsign, aircraft.identity.registration,
                                                          aircraft.identity.ids)));
        return;
    }
    gf_postFlightPlan(aircraft.sim.objectId, path.wstring());
    aircraft.reports.flightPlanSent = 1;
}

void applySimGroundReport(LiveAircraft& ac, const SimEvent& event, std::string& source)
{
    const double g = event.value1;
    const double a = event.value2;
    const auto valid = [](double h) { return std::isfinite(h) && h >= -1.0 && h <= 35.0; };
    ac.reports.lastSimAglFt = a;
    if (std::isfinite(g))
        ac.reports.lastSimGroundFt = g;
    const double cg = ac.identity.cgFt;
    const double d = ac.motion.altitudeFt - g;
    if (!ac.phases.groundMode && ac.phases.phase == FlightPhase::landing && ac.touchdown.flareStage != 0 && !ac.identity.cgMeasured &&
        std::isfinite(cg) && cg >= 1.0 && cg <= 35.0 && std::isfinite(a) && a >= -1.0 && a <= cg + 1.0 &&
        std::isfinite(d) && d >= -1.0 && d <= cg + 1.0) {
        ac.touchdown.calibrationFt = cg;
        ac.touchdown.calibrationPitch = ac.motion.pitch;
        ac.motion.altitudeFt = cg + g;
        enterLandingRoll(ac);
        if (ac.phases.groundMode)
            source = "fallback";
        else
            return;
    }
    if (ac.phases.groundMode) {
        if (ac.phases.phase == FlightPhase::landing_roll && std::isnan(ac.touchdown.calibrationFt)) {
            if (valid(a) && a != 0.0) {
                ac.touchdown.calibrationFt = a;
                ac.touchdown.calibrationPitch = ac.motion.pitch;
            } else if (valid(d) && d != 0.0) {
                ac.touchdown.calibrationFt = d;
                ac.touchdown.calibrationPitch = ac.motion.pitch;
            } else {
                ac.touchdown.calibrationFailed = 1;
            }
        }
        const bool cgValid = valid(cg) && cg != 0.0;
        const bool calibrated = valid(ac.touchdown.calibrationFt) && ac.touchdown.calibrationFt != 0.0;
        if (calibrated && !cgValid) {
            ac.motion.altitudeFt = ac.touchdown.calibrationFt + g;
        } else if (calibrated && std::isfinite(ac.touchdown.calibrationPitch) && std::isfinite(ac.motion.pitch) &&
                   std::isfinite(ac.identity.staticPitch) && std::fabs(ac.touchdown.calibrationPitch - ac.identity.staticPitch) > 1e-9) {
            const double f =
                std::clamp(std::fabs((ac.motion.pitch - ac.identity.staticPitch) / (ac.touchdown.calibrationPitch - ac.identity.staticPitch)), 0.0, 1.0);
            ac.motion.altitudeFt = (ac.touchdown.calibrationFt - cg) * f + cg + g;
        } else if (!calibrated && !cgValid) {
            ac.motion.altitudeFt = g;
        } else {
            ac.motion.altitudeFt = cg + g;
        }
        return;
    }
    if (ac.reports.liftOffCounter >= 2) {
        const double arm = std::clamp(ac.identity.radius * kFeetPerNm * 0.22, 4.0, 20.0);
        if (std::isfinite(cg) && std::isfinite(ac.identity.staticPitch) && std::isfinite(ac.motion.pitch))
            ac.motion.altitudeFt =
                cg + arm * std::sin(std::min(std::fabs(ac.motion.pitch - ac.identity.staticPitch), 0.3490658503988659)) + g;
        else
            ac.motion.altitudeFt = cg + g;
    }
}

void enterLandingRoll(LiveAircraft& ac)
{
    if (ac.sim.simState == SimState::removingfromsim || ac.phases.phase == FlightPhase::takeoff)
        return;
    if (ac.phases.phase == FlightPhase::landing) {
        // The runway of its final, kilometres out too: reports that read low
        // take an aircraft down long before the runway it lines up with.
        const RunwayMatch lined = finalApproachRunway(ac);
        const std::optional<RunwayMatch> match = lined.valid ? std::optional<RunwayMatch>(lined) : std::nullopt;
        if (match && match->distancePastThreshold && *match->distancePastThreshold < 60.0 &&
            std::isfinite(match->startAltitude)) {
            // Held on the ground it touched (the simulator's, where that lies
            // above the runway's elevation) until past the threshold. It
            // keeps at least the last flare stage's sink: the landing floor
            // holds it up to there, and past it it settles and touches again;
            // without a sink it would float on a foot up, off the runway onto
            // an exit with the heading of the air.
            constexpr double kTouchdownSinkPerTick = -0.025;
            ac.motion.altitudeFt =
                std::max(std::max(ac.identity.cgFt, 0.0) + landingGroundFt(ac, match->startAltitude) + 1.0, ac.motion.altitudeFt);
            ac.motion.verticalSpeedFpm = 0.0;
            ac.reports.verticalSpeedStep = std::min(ac.reports.verticalSpeedStep, kTouchdownSinkPerTick);
            ac.flight.landing.vsMemory = 0.0;
            return;
        }
    }
    const bool wasLanding = ac.phases.phase == FlightPhase::landing;
    if (ac.touchdown.flareStage != 0 && ac.phases.phase == FlightPhase::landing_roll) {
        lf_setupLandingRoll(ac);
    } else if (ac.phases.phase == FlightPhase::landing || ac.touchdown.flareStage != 0) {
        ac.setPhase(FlightPhase::landing_roll);
        lf_setupLandingRoll(ac);
    }
    // A touch-down from the approach watches the samples for a go-around,
    // unless the stream already climbs away again.
    bool goesAgain = false;
    if (wasLanding) {
        ac.remembered.goAroundWatch = 1;
        goesAgain = lf_findTouchAndGoClimb(ac);
        if (goesAgain)
            ac.remembered.goAroundWatch = 0;
    }
    ac.phases.groundMode = 1;
    ac.reports.verticalSpeedStep = 0.0;
    ac.reports.liftOffCounter = 1;
    for (auto it = ac.stream.samples.rbegin(); it != ac.stream.samples.rend(); ++it) {
        if (it->airborne && std::isfinite(it->altitudeFt) && it->altitudeFt > 0.0) {
            ac.remembered.lastAirborneAltitudeFt = it->altitudeFt;
            break;
        }
    }
    if (goesAgain)
        enterTakeoffRoll(ac, true);
}

void lf_setupLandingRoll(LiveAircraft& ac)
{
    const bool recentRotorcraft = ac.identity.category == Category::Rotorcraft && ac.reports.activatedAirborne &&
                                  engineClock.load() - ac.reports.activatedAt < 3000;
    if (!recentRotorcraft) {
        std::string at = " at ?";
        std::string from;
        {
            std::shared_lock lock(engineLock);
            if (CurrentAirport.code != 0) {
                const FlatOffsetNm offset = gf_flatOffsetNm({CurrentAirport.latitude, CurrentAirport.longitude},
                                                            {ac.motion.lat, ac.motion.lon}, gf_cosLatitude(ac.motion.lat));
                const uint32_t c = CurrentAirport.code;
                const char here[5] = {static_cast<char>(c >> 24), static_cast<char>(c >> 16),
                                      static_cast<char>(c >> 8), static_cast<char>(c), '\0'};
                if (offset.squared() <= 25.0)
                    at = fmt::format(" at {}", here);
            }
        }
        if (ac.identity.origin.isSet())
            from = fmt::format(" from {}", ac.identity.origin.toString());
        std::string runway;
        if (const auto match = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading);
            match && match->distancePastThreshold && match->lengthFromThreshold && *match->lengthFromThreshold > 0.0)
            runway = fmt::format(" runway {}", match->endText);
        else if (const auto name = gf_runwayNameAt({ac.motion.lat, ac.motion.lon}, ac.motion.heading))
            runway = fmt::format(" runway {}", *name);
        lf_flightMessage(fmt::format("{} {} {} {} {} touch down{}{}{} ...", gf_utcTimeText(), ac.identity.callsign,
                                     ac.identity.registration, lf_airlineText(ac), gf_modelCodeText(ac.identity.ids.model), at, from,
                                     runway));
    }
    ac.touchdown.touchdownHeading = ac.motion.heading;
    gf_setSpoilers(ac, true);
    if (ac.identity.category != Category::Light)
        gf_setSpoilersThrust(ac.sim.objectId, true, ac.identity.reverseThrust != 0);
    if (ac.touchdown.onGroundSlots <= 0) {
        gf_logLine(fmt::format("{} ! onGround slots {:.1f}", ac.identity.callsign, static_cast<double>(ac.touchdown.onGroundSlots)));
        ac.touchdown.rolloutPitchStep = ac.identity.staticPitch - ac.motion.pitch;
        ac.touchdown.rolloutBankStep = 0.0;
    } else {
        ac.touchdown.rolloutPitchStep = (ac.identity.staticPitch - ac.motion.pitch) / ac.touchdown.onGroundSlots;
        ac.touchdown.rolloutBankStep = (0.0 - ac.motion.bank) / ac.touchdown.onGroundSlots;
    }
    gf_trafficState().newLiveHexids.push_back(ac.identity.hexid);
}
