#include "app/main_loop.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_file_store.h"
#include "airports/airport_files.h"
#include "engine/engine.h"
#include "liveries/livery_matching_tables.h"
#include "liveries/livery_memory.h"
#include "parking/park_airport_choice.h"
#include "airports/park_airports.h"
#include "app/commands.h"
#include "app/controls.h"
#include "app/destination.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/main_clock.h"
#include "app/settings_panel.h"
#include "app/time_shift.h"
#include "app/user_requests.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/ui_sink.h"
#include "engine/engine_reports.h"
#include "feed/feed_flags.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_api_weather_reader.h"
#include "feed/rt_app_link.h"
#include "feed/rt_app_readers.h"
#include "feed/rt_credential.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "parking/park_positions.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "stands/stand_options.h"
#include "stands/stand_table.h"
#include "simlink/position_stream.h"
#include "simlink/sim_client.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"
#include "update/version_check.h"

namespace {

constexpr int64_t kTickNs = 10 * kNsPerMs;
constexpr int64_t kGiveUpNs = 100 * kNsPerMs;

std::mutex g_hookMutex;
std::function<void()> g_tickHook;

struct CurrentAirportView {
    uint32_t icao = 0;
    LatLon position;
    bool valid() const { return icao != 0 && gf_isValidLatLon(position); }
};

CurrentAirportView lf_readCurrentAirport()
{
    std::shared_lock lock(engineLock);
    return {CurrentAirport.code, {CurrentAirport.latitude, CurrentAirport.longitude}};
}

bool lf_positionKnown(const UserAcPosition& p)
{
    return std::fabs(p.latitude) > 0.0001 || std::fabs(p.longitude) > 0.0001;
}

IcaoCode lf_icaoFromPacked(uint32_t packed)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text.push_back(static_cast<char>((packed >> shift) & 0xFF));
    return IcaoCode::tryParse(text).value_or(IcaoCode());
}

} // namespace

MainLoopState& gf_mainLoopState()
{
    static MainLoopState state;
    return state;
}

void gf_setTickHook(std::function<void()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_tickHook = std::move(hook);
}

void gf_storeWeekdayHalfHourWord()
{
    weekdayHalfHourWord.store(gf_weekdayAndHalfHourNow());
}

unsigned lf_dutiesForSecond(int32_t c, bool parkingLatch)
{
    if (c % 5 == 0) {
        unsigned d = SecondDuties::Five;
        if (c % 15 == 0) {
            d |= SecondDuties::Fifteen;
            if (c % 30 == 0) {
                d |= SecondDuties::Thirty;
                if (c % 60 == 0) {
                    d |= SecondDuties::Minute;
                    if (c % 1200 == 0) {
                        d |= SecondDuties::TwentyMinutes;
                        if (c % 86400 == 0)
                            d |= SecondDuties::Day;
                    }
                }
            }
        }
        return d;
    }
    unsigned d = 0;
    if (c % 14 == 0 && !parkingLatch)
        d |= SecondDuties::Fourteen;
    if (c % 61 == 0)
        d |= SecondDuties::SixtyOne;
    return d;
}

bool lf_parkingUpdatePending()
{
    ParkingRequests& r = gf_parkingRequests();
    std::lock_guard lock(r.mutex);
    return r.requestedGeneration != r.doneGeneration;
}

void gf_refreshAircraftCounts()
{
    const EngineCounts counts = gf_engineCounts();
    Gui::instance().enqueueUpdate(GuiUpdate::LiveAircraftCount{counts.liveInSim});
    Gui::instance().enqueueUpdate(GuiUpdate::ParkCounts{counts.liveParked, counts.staticParked});
}

double lf_autoRangeFor(bool onGround, double altitudeFeet)
{
    const double r0 = RANGE_GROUND.value;
    if (onGround)
        return r0;
    const double f = altitudeFeet / 100.0;
    const double fl1 = FLIGHT_LEVEL_1.value, fl2 = FLIGHT_LEVEL_2.value, fl3 = FLIGHT_LEVEL_3.value;
    const double r1 = RANGE_1.value, r2 = RANGE_2.value, r3 = RANGE_3.value;
    auto between = [f](double fa, double ra, double fb, double rb) {
        return ra + (rb - ra) * (f - fa) / (fb - fa);
    };
    if (f <= fl1)
        return fl1 == 0 ? r1 : between(0, r0, fl1, r1);
    if (f <= fl2)
        return fl2 == fl1 ? r2 : between(fl1, r1, fl2, r2);
    if (f <= fl3)
        return fl3 == fl2 ? r3 : between(fl2, r2, fl3, r3);
    return RANGE_ABOVE.value;
}

void gf_autoRange()
{
    const UserAcPosition user = gf_getUserAcPosition();
    const bool onGround = userOnGround.load();
    const int32_t range = static_cast<int32_t>(std::lround(lf_autoRangeFor(onGround, user.altitude)));
    gf_setRange(range);
    MainLoopState& s = gf_mainLoopState();
    if (gf_isRTDirect() && range != s.lastAutoRange)
        gf_updateRTDirectQueryBox();
    s.lastAutoRange = range;
}

void gf_applyRangeSetting()
{
    if (AUTO_RANGE.value)
        gf_autoRange();
    else
        gf_setRange(gf_parametersSnapshot()->rangeNmWhole);
    gf_enableControl(RANGE, !AUTO_RANGE.value);
}

void lf_simNotRunning()
{
    MainLoopState& s = gf_mainLoopState();
    if (!s.notRunning) {
        gf_setTrafficDelivery(false);
        s.notRunning = true;
        s.notRunningCountdown = 100;
        g_positionBuffer.clearPosted(); // takes the position mutex itself
        g_positionBuffer.generation.fetch_add(1);
        gf_logLine(fmt::format("{} Flight not running", gf_utcTimeText()));
        return;
    }
    gf_engineIdleTick();
    s.notRunningCountdown -= 1;
    if (s.notRunningCountdown % 100 == 0) {
        if (gf_isRTDirect())
            gf_updateRTDirectQueryBox();
        else if (!AEROWINX.value) // the Aerowinx link has no App connection to keep alive
            gf_sendUserStateToRTApp();
    }
    if (s.notRunningCountdown <= 0) {
        s.notRunningCountdown = 100;
        gf_refreshAircraftCounts();
        gf_storeWeekdayHalfHourWord();
    }
}

void lf_everySecond()
{
    MainLoopState& s = gf_mainLoopState();
    const int32_t interval = pendingParkingInterval.exchange(-1);
    if (interval >= 0) {
        s.parkingCountdown = interval;
        s.intervalJustSet = true;
    }
    if (s.notRunning) {
        s.notRunning = false;
        gf_logLine(fmt::format("{} Flight resumed", gf_utcTimeText()));
        gf_setTrafficDelivery(true);
    }
    Gui::instance().enqueueUpdate(GuiUpdate::CheckMessageExpiry{});
    gf_refreshAircraftCounts();
    gf_storeWeekdayHalfHourWord();

    const auto params = gf_parametersSnapshot();
    if (gf_trafficClockInputs().professionalLevel.load() && (!gf_isRTDirect() || params->SIM_TIME))
        lf_followSimTime();

    s.secondsCounter += 1;

    EngineSecondInputs engine;
    const size_t stands = gf_standCount();
    if (gf_takeUserRequest<UserRequest::MaxParkChanged>() && stands > 0) {
        const int32_t previous = gf_standTable().staticQuota; // below 0: no limit yet
        const int32_t quota = gf_parkingRunQuota(*params);
        engine.staticQuotaLowered = previous < 0 || quota < previous;
    }
    if (gf_takeUserRequest<UserRequest::MaxLiveChanged>() && params->MAX_LIVE_SEL != 500)
        engine.liveLimit = params->MAX_LIVE_SEL;
    engine.flushStatic = gf_takeUserRequest<UserRequest::FlushStatic>().has_value();
    const bool listAircraft = gf_takeUserRequest<UserRequest::ListAircraft>().has_value();
    const UserAcPosition user = gf_getUserAcPosition();
    const bool onGround = userOnGround.load();
    const double agl = user.altitudeAboveGround;
    engine.userCollisions = (!onGround || (std::isfinite(agl) && agl > 500.0)) && params->COLLISION_USER_AIR;
    engine.liveVsParkedCollisions = params->COLLISION_LIVE_PARKED_GND;
    engine.block = gf_takeUserRequest<UserRequest::Block>().has_value();
    gf_engineEverySecond(engine);
    if (listAircraft)
        lf_fillAircraftSelector();
    if (parkingInProgress.load())
        Gui::instance().enqueueUpdate(GuiUpdate::ParkingPending{gf_plannedStaticCount()});
}

void lf_every5Seconds()
{
    EngineCategoriesOff off;
    off.twoProps = gf_takeUserRequest<UserRequest::TwoPropsOff>().has_value();
    off.light = gf_takeUserRequest<UserRequest::LightAircraftOff>().has_value();
    off.helicopters = gf_takeUserRequest<UserRequest::HelicoptersOff>().has_value();
    off.highPerf = gf_takeUserRequest<UserRequest::HighPerfOff>().has_value();

    const UserAcPosition user = gf_getUserAcPosition();
    if (gf_isRTDirect()) {
        gf_setRTDirectUserPosition(user.latitude, user.longitude);
        gf_updateRTDirectQueryBox();
    } else {
        gf_setRTAppUserPosition(user.latitude, user.longitude);
        if (gf_trafficClockInputs().professionalLevel.load() && simulatorUtcTime.valid.load())
            gf_sendQs123Line(simulatorUtcTime.seconds.load());
    }
    // The categories leave before the user's stand is cleared, as the stand's
    // aircraft may be one of them.
    gf_engineEvery5Seconds(off, gf_currentReservedStand());

    if (gf_mainLoopState().secondsCounter % 15 == 0)
        lf_every15Seconds();
}

namespace {

// The latched parking update is over: done up to the captured generation.
void lf_finishParkingUpdate(bool ran)
{
    MainLoopState& s = gf_mainLoopState();
    ParkingRequests& r = gf_parkingRequests();
    {
        std::lock_guard lock(r.mutex);
        r.doneGeneration = std::max(r.doneGeneration, s.capturedGeneration);
        if (ran && s.capturedParkTrafficOnlyValue && r.parkTrafficOnlyGeneration == s.capturedParkTrafficOnlyGeneration)
            r.parkTrafficOnlyValue = false;
    }
    s.latch = false;
}

void lf_runParkingAdjustment()
{
    MainLoopState& s = gf_mainLoopState();
    s.adjustmentWaiting = false;
    const int64_t start = gf_mainNowNs();
    gf_adjustParking(s.capturedParkTrafficOnlyValue);
    gf_catchUpEngineClock((gf_mainNowNs() - start) / kNsPerMs);
    lf_finishParkingUpdate(true);
}

} // namespace

void lf_runWaitingParkingRun()
{
    if (!gf_mainLoopState().adjustmentWaiting)
        gf_continueAirportParking();
    else if (gf_parkedTrafficForRunSettled())
        lf_runParkingAdjustment();
}

void lf_every15Seconds()
{
    MainLoopState& s = gf_mainLoopState();
    gf_flushLog();
    ParkingRequests& r = gf_parkingRequests();
    if (!s.latch) {
        bool captured = false;
        {
            std::lock_guard lock(r.mutex);
            if (r.requestedGeneration != r.doneGeneration) {
                s.capturedGeneration = r.requestedGeneration;
                s.capturedParkTrafficOnlyGeneration = r.parkTrafficOnlyGeneration;
                s.capturedParkTrafficOnlyValue = r.parkTrafficOnlyValue;
                s.latch = true;
                captured = true;
            }
        }
        if (captured) {
            gf_disableParkingControls();
            gf_resetSeenTraffic();
        }
    } else if (!s.adjustmentWaiting && !gf_airportParkingWaiting()) {
        Gui::instance().enqueueUpdate(GuiUpdate::ClearError{});
        gf_clearMessage();
        if (lf_readCurrentAirport().icao != 0 && gf_standCount() > 0) {
            parkingInProgress.store(true);
            Gui::instance().enqueueUpdate(GuiUpdate::Repaint{GuiBands::Airport});
            s.adjustmentWaiting = gf_askParkedTrafficForRun();
            if (!s.adjustmentWaiting)
                lf_runParkingAdjustment();
        } else {
            lf_finishParkingUpdate(false);
        }
    }
    if (s.secondsCounter % 30 == 0)
        lf_every30Seconds();
}

void lf_every30Seconds()
{
    MainLoopState& s = gf_mainLoopState();
    if (gf_takeUserRequest<UserRequest::Rematch>()) {
        gf_clearLiveryChoiceCache();
        // A deeper ladder may match what was not matched before.
        gf_clearNoMatchList();
    }

    if (feedConnected.load()) {
        const bool rtDirect = gf_isRTDirect();
        // The readers stamp their data on the standard steady clock.
        const int64_t last = rtDirect ? gf_rtApiWeatherReader().lastSuccessTime.load()
                                      : std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            gf_rtAppQnhReader().lastReceive.load().time_since_epoch())
                                            .count();
        const int64_t limit = (rtDirect ? 120 : 90) * kNsPerSecond;
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        const uint32_t weather =
            (last == 0 || last > now || now - last > limit) ? GuiReaderState::Overdue : GuiReaderState::Fresh;
        Gui::instance().enqueueUpdate(GuiUpdate::QnhState{weather});
        bool moved;
        if (rtDirect) {
            moved = gf_rtApiTrafficReader().recordCount.exchange(0) != 0;
        } else {
            TrafficReader& reader = gf_rtAppTrafficReader();
            const uint32_t count = reader.datagramCount.load();
            moved = count != reader.countAtLastCheck;
            reader.countAtLastCheck = count;
        }
        Gui::instance().enqueueUpdate(
            GuiUpdate::LiveTrafficState{moved ? GuiReaderState::Fresh : GuiReaderState::Overdue});
    }
    const auto params = gf_parametersSnapshot();
    if (params->AUTO_RANGE)
        gf_autoRange();
    gf_engineEvery30Seconds();

    if (s.secondsCounter % 60 != 0)
        return;
    if (s.intervalJustSet) {
        s.intervalJustSet = false;
    } else {
        if (!gf_isRTDirect() && s.parkingCountdown == 2)
            gf_requestRTAppParkedTraffic();
        s.parkingCountdown -= 1;
        if (s.parkingCountdown <= 0) {
            s.parkingCountdown = params->PARKING_INTERVAL_MINUTES;
            if (parkingAirportLoaded.load() && !parkingInProgress.load() && !lf_parkingUpdatePending())
                lf_triggerStaticParkingUpdate();
        }
    }
    Gui::instance().enqueueUpdate(GuiUpdate::NextUpdate{static_cast<uint32_t>(std::max(s.parkingCountdown, 0))});
    if (params->OBJECTID_LIST)
        lf_writeObjectIdList();
    if (s.secondsCounter % 1200 == 0) {
        gf_logNoMatchList();
        if (s.secondsCounter % 86400 == 0) {
            s.secondsCounter = 0;
            gf_logLiveryMatchSummary();
            gf_clearLiveryMemory();
        }
    }
}

bool lf_tick()
{
    {
        std::function<void()> hook;
        {
            std::lock_guard lock(g_hookMutex);
            hook = g_tickHook;
        }
        if (hook)
            hook();
    }
    if (g_linkState.load() != LinkState::Running) {
        lf_simNotRunning();
        return gf_keepRunning();
    }
    if (const auto lights = gf_takeUserRequest<UserRequest::NavLights>()) {
        for (uint32_t objectId : gf_parkedObjectIdsInSim())
            gf_setNavLights(objectId, lights->on ? 1u : 0u);
    }
    gf_engineTick();
    lf_runWaitingParkingRun();
    if (g_userGroundDataArrived.exchange(0) == 0)
        return true;
    lf_everySecond();
    if (!gf_keepRunning())
        return false;

    MainLoopState& s = gf_mainLoopState();
    const unsigned duties = lf_dutiesForSecond(s.secondsCounter, s.latch);
    if (duties & SecondDuties::Five) {
        lf_every5Seconds();
        return true;
    }
    if (duties & SecondDuties::Fourteen) {
        if (parkingInProgress.load() && gf_plannedStaticCount() == 0) {
            gf_enableParkingControls();
            gf_engineCounts(); // the parked ages and the static fit
        }
        if (parkAirportChanged.exchange(false)) {
            gf_loadAirportParking();
        } else {
            const UserAcPosition user = gf_getUserAcPosition();
            if (lf_positionKnown(user)) {
                const auto params = gf_parametersSnapshot();
                const ParkUserPosition at{{user.latitude, user.longitude}, user.altitude, userOnGround.load()};
                if (params->DESTINATION.empty() && !userOnGround.load() &&
                    static_cast<double>(params->AIRP_HEIGHT) > user.altitudeAboveGround)
                    gf_selectNearestParkAirport(at);
                if (lf_readCurrentAirport().valid())
                    gf_checkParkAirportReach(at);
                else
                    gf_chooseParkAirport(at);
            }
        }
    }
    if (duties & SecondDuties::SixtyOne)
        gf_engineEvery61Seconds();
    return true;
}

void lf_mainLoop()
{
    const CurrentAirportView airport = lf_readCurrentAirport();
    if (airport.valid()) {
        const IcaoCode code = lf_icaoFromPacked(airport.icao);
        if (gf_hasAirportFile(code)) {
            parkAirportChanged.store(false);
            gf_loadAirportParking();
        } else {
            gf_showMessage(fmt::format("User aircraft on the ground at {}, no airport file found", code), true);
        }
    }
    MainLoopState& s = gf_mainLoopState();
    s.secondsCounter = 0;
    int64_t deadline = gf_mainNowNs() + kTickNs;
    gf_storeWeekdayHalfHourWord();
    gf_setTrafficDelivery(true);
    gf_enableControl(AIRCRAFT_BUTTON, true);

    const bool fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    // The loop also ends on a stop request at a tick without a second report,
    // so a stop never waits for the simulator's next report.
    if (lf_tick() && gf_keepRunning()) {
        for (;;) {
            int64_t now = gf_mainNowNs();
            if (now > deadline + kGiveUpNs)
                deadline = now + kTickNs;
            if (deadline - now >= kNsPerMs)
                gf_mainSleepNs(deadline - now);
            if (g_userGroundDataArrived.load() != 0)
                deadline = gf_mainNowNs() + kTickNs;
            else
                deadline += kTickNs;
            if (!lf_tick() || !gf_keepRunning())
                break;
        }
    }
    if (fineTimer)
        timeEndPeriod(1);
}

void lf_fillAircraftSelector()
{
    const std::vector<std::string> entries = lf_listActiveAircraft();
    std::lock_guard lock(gf_controlValuesMutex());
    std::vector<std::string>& options = *g_aircraftSelectorOptions;
    options.clear();
    options.push_back("select an aircraft");
    options.insert(options.end(), entries.begin(), entries.end());
    AIRCRAFT_SELECTOR.value = options.front();
    gf_fillComboBox(AIRCRAFT_SELECTOR);
    gf_enableControl(AIRCRAFT_SELECTOR, !entries.empty());
}

void lf_resetMainLoopState()
{
    MainLoopState& s = gf_mainLoopState();
    s = MainLoopState{};
    s.parkingCountdown = 20;
    g_userGroundDataArrived.store(0);
}
