#include "engine/sim_reactions.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft_commands.h"
#include "engine/engine_reports.h"
#include "engine/traffic_state.h"
#include "parking/stand_table.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/user_model.h"

namespace {

constexpr uint32_t kDelayTicks = 200;

bool lf_validCg(double cg)
{
    return std::isfinite(cg) && cg >= -1.0 && cg <= 35.0 && cg != 0.0;
}

// The livery failure report: the title is logged; the livery matcher keeps
// its own list of failed titles.
void lf_reportNotCreatable(const AircraftBase& aircraft)
{
    gf_logLine(fmt::format("{} '{}' could not be created by your Sim!", aircraft.callsign, aircraft.liveryTitle));
}

void lf_applyStaticCgAndPitch(LiveAircraft& ac, const SimEvent& e)
{
    if (lf_validCg(e.value1)) {
        ac.cgFt = e.value1;
        ac.cgMeasured = 1;
    } else {
        ac.cgFt = ac.cgDefaultFt;
        ac.cgMeasured = 0;
    }
    const double pitch = e.value2;
    ac.staticPitch = std::isfinite(pitch) && pitch > -0.017453292519943295 && pitch <= 0.04363323129985824
                         ? pitch
                         : 0.012217304763960306;
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

void lf_applyEvent(const SimEvent& e)
{
    TrafficState& s = gf_trafficState();
    AircraftStore& store = s.aircraft;
    switch (e.kind) {
    case SimEventKind::LiveCreated:
        if (!gf_isLiveKey(e.key))
            return;
        if (LiveAircraft* ac = store.findLive(gf_hexidOfLiveKey(e.key)); ac && onLiveAcCreated(*ac, e))
            s.delayedCommands.push_back(e);
        return;
    case SimEventKind::StaticCreated:
        s.delayedCommands.push_back(e);
        return;
    case SimEventKind::Removed:
        if (LiveAircraft* ac = store.findLiveByObjectId(e.objectId)) {
            if (ac->simState == SimState::liveryrespawn) {
                ac->simState = SimState::buffer;
                ac->throttleIndex = 5;
                ac->flapsIndex = 4;
                store.setObjectId(*ac, 0);
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
        if (gf_isLiveKey(e.key)) {
            if (LiveAircraft* ac = store.findLive(gf_hexidOfLiveKey(e.key))) {
                lf_reportNotCreatable(*ac);
                lf_eraseLiveAircraft(*ac);
            }
        } else if (StaticAircraft* st = store.findStatic(e.key)) {
            lf_reportNotCreatable(*st);
            lf_eraseStaticAircraft(*st);
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
        gf_setThrottle(aircraft, aircraft.category == static_cast<uint32_t>(Category::Rotorcraft) ? 4u : 0u);
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
        gf_logLine(fmt::format("{:14}: {:8} parks", gf_standNameById(aircraft.standId), aircraft.callsign));
        try {
            for (StaticAircraft& st : gf_trafficState().aircraft.statics()) {
                if (st.simState != SimState::active || st.standId != aircraft.standId)
                    continue;
                gf_logLine(fmt::format("{:14}: {:8} parks over static {} , static will be removed",
                                       gf_standNameById(aircraft.standId), aircraft.callsign, st.callsign));
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
                                fmt::format("{:8} {} {}", aircraft.callsign, aircraft.registration,
                                            gf_modelCodeText(aircraft.ids.model))));
        return;
    }
    gf_postFlightPlan(aircraft.objectId, path.wstring());
    aircraft.flightPlanSent = 1;
}

// The ground-altitude fit and the touch-down belong to the landing motion;
// until it is in place a ground report keeps only the simulator's height
// above ground and touch-down only marks the aircraft as on the ground.
void applySimGroundReport(LiveAircraft& aircraft, const SimEvent& event, std::string&)
{
    aircraft.lastSimAglFt = event.value2;
}

void enterLandingRoll(LiveAircraft& aircraft)
{
    if (aircraft.simState == SimState::removingfromsim || aircraft.phase == FlightPhase::takeoff)
        return;
    aircraft.groundMode = 1;
    aircraft.verticalSpeedStep = 0.0;
    aircraft.liftOffCounter = 1;
}
