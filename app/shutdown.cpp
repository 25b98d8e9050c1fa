#include "app/shutdown.h"

#include <windows.h>

#include <algorithm>
#include <shared_mutex>
#include <string>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_state.h"
#include "engine/engine.h"
#include "liveries/livery_matching_tables.h"
#include "liveries/livery_memory.h"
#include "parking/park_airport_choice.h"
#include "app/commands.h"
#include "app/controls.h"
#include "app/destination.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/main_clock.h"
#include "app/main_loop.h"
#include "app/main_task.h"
#include "app/main_task_threads.h"
#include "app/settings_panel.h"
#include "app/time_shift.h"
#include "app/user_requests.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
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
#include "engine/flight_plan.h"
#include "simlink/position_stream.h"
#include "simlink/sim_client.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"
#include "update/version_check.h"

std::atomic<bool> restartFlag{false};
std::atomic<int64_t> rtApiCooldownDeadline{0};

namespace {

void lf_joinSlot(std::jthread& slot, const char* waiting, const char* stopped)
{
    if (!slot.joinable())
        return;
    gf_logLineFlush(waiting);
    slot.join();
    gf_logLineFlush(stopped);
}

void lf_reportClosingDownException(const std::string& what) noexcept
{
    try {
        const std::string text = fmt::format("lf_closingDown exception: {}", what);
        gf_logError(text);
        gf_showMessage(text, true);
    } catch (...) {
    }
}

void lf_resetMainState()
{
    gf_clearStopRequest();
    lf_resetMainLoopState();
    gf_dropUserRequest<UserRequest::NavLights>();
    gf_publishUserAcPosition(UserAcPosition{});
    gf_trafficClockInputs().professionalLevel.store(false);
    {
        ParkingRequests& r = gf_parkingRequests();
        std::lock_guard lock(r.mutex);
        r.requestedGeneration = 0;
        r.doneGeneration = 0;
        r.parkTrafficOnlyGeneration = 0;
        r.parkTrafficOnlyValue = false;
    }
    gf_dropUserRequest<UserRequest::Block>();
    pendingParkingInterval.store(-1);
    gf_resetTimeShiftState();
}

void lf_clearBlockFilter()
{
    for (StringParameter* p : {static_cast<StringParameter*>(&BLOCK_AIRCRAFT), &BLOCK_CALLSIGN, &BLOCK_REGCODE}) {
        if (!p->value.empty())
            p->setAndSave("");
    }
    callsignEndsWithUnderscore.store(false);
    if (BLOCK_HEXIDDEC.value > 0)
        BLOCK_HEXIDDEC.setAndSave(0);
}

// The four re-initialisation phases of a restart.
void lf_reinitialiseForRestart()
{
    gf_logLineFlush("Restart phase: reinitializing SimConnect state");
    gf_clearSimClientState();
    gf_logLineFlush("Restart phase: reinitializing traffic state");
    gf_resetTrafficState();
    gf_clearParkingPlan(); // the run's stayers and removals go with the traffic
    gf_logLineFlush("Restart phase: reinitializing GUI state");
    Gui::instance().enqueueUpdate(GuiUpdate::ResetStatus{});
    gf_logLineFlush("Restart phase: reinitializing main state");
    lf_resetMainState();
    gf_logLineFlush("Restart phase: state reinitialization completed");
}

void lf_closingDownBody(StopRequest request)
{
    gf_logLine(fmt::format("{} Exiting: {}", gf_utcTimeText(), gf_stopCodeText(request.code)));
    if (gf_isCommandLineJob())
        return;

    gf_setTrafficDelivery(false);

    MainTaskThreads& threads = gf_mainTaskThreads();
    if (threads.simClient.joinable()) {
        threads.simClient.request_stop();
        lf_joinSlot(threads.simClient, "Shutdown cleanup: waiting for SimClient", "Shutdown cleanup: SimClient stopped");
    }
    const bool rtDirect = gf_isRTDirect();
    gf_logLineFlush("Shutdown cleanup: stopping readers");
    if (rtDirect) {
        gf_rtApiWeatherReader().requestStop();
        gf_rtApiTrafficReader().requestStop();
    } else {
        gf_rtAppQnhReader().stopFlag.store(true);
        gf_rtAppTrafficReader().stopFlag.store(true);
    }
    lf_joinSlot(threads.weatherReader, "Shutdown cleanup: waiting for weather reader",
                "Shutdown cleanup: weather reader stopped");
    lf_joinSlot(threads.trafficReader, "Shutdown cleanup: waiting for traffic reader",
                "Shutdown cleanup: traffic reader stopped");
    if (rtDirect && gf_rtApiSession().hasSession()) {
        deauthenticate();
        gf_rtApiSession().clear();
    }
    gf_logLineFlush("Shutdown cleanup: closing RT App server");
    gf_rtAppServer().closeSockets();
    gf_logLineFlush("Shutdown cleanup: RT App server closed");
    gf_releaseWinsock();

    // Without settings read in this run, the traffic source is only the
    // program's default: nothing that depends on it may be written.
    const bool settingsRead = gf_settingsReadThisRun();
    if (settingsRead && (rtDirect || (request.code == 3 && RT_CHOISE.value == "RT Direct")))
        lf_markRTApiCooldown();
    if (request.code == 8) {
        const int64_t end = gf_mainNowNs() + kSystemErrorWaitSeconds * kNsPerSecond;
        while (!gf_exitRequested() && gf_mainNowNs() < end)
            gf_mainSleepMs(100);
    }

    bool atAirport;
    {
        std::shared_lock lock(engineLock);
        atAirport = CurrentAirport.code != 0;
    }
    if (atAirport) {
        gf_clearParkingPlan();
        gf_engineLeaveAirport();
        gf_unloadAirportParking();
    }
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{};
    }
    gf_clearLiveryMemory();
    gf_removeFlightPlanFolder();
    {
        std::lock_guard lock(gf_controlValuesMutex());
        DESTINATION.value.clear();
        DESTINATION.save();
    }
    tbloReady.store(false);
    gf_engineForgetGhosts();
    gf_logLiveryMatchSummary();
    gf_saveMyParkAirportsFile();
    gf_logNoMatchList();

    if (gf_stopCodeRestarts(request.code)) {
        restartFlag.store(true);
        Gui::instance().enqueueUpdate(GuiUpdate::ClearError{});
        Gui::instance().enqueueUpdate(GuiUpdate::ClearMessage{});
        gf_showMessage("Prepare for a restart ...", true);
        if (rtDirect) {
            gf_rtApiTrafficReader().resetForRestart();
            gf_rtApiWeatherReader().resetForRestart();
        } else {
            gf_rtAppTrafficReader().reset();
            gf_rtAppQnhReader().clearState();
        }
        if (lf_restartCountdown(static_cast<int32_t>(request.arg)) && restartFlag.load()) {
            lf_reinitialiseForRestart();
            return;
        }
        // A close during the countdown: the run ends in an exit, with the
        // exit's clean-up.
    }

    restartFlag.store(false);
    if (settingsRead && rtDirect && !gf_parametersSnapshot()->KEEP_SIM_TIME_PAR) {
        for (IntChoiceParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
            p->value = std::clamp(0, p->minValue, p->maxValue);
            p->save();
        }
    }
    lf_clearBlockFilter();
}

} // namespace

void lf_postRestartOrExit()
{
    if (gf_exitRequested())
        restartFlag.store(false);
    const bool restart = restartFlag.load();
    gf_logLineFlush(restart ? "Restart cleanup completed; posting MSG_START"
                            : "Shutdown cleanup completed; posting MSG_EXIT");
    if (HWND w = Gui::instance().hwnd.load(); w && IsWindow(w))
        PostMessageW(w, restart ? MSG_START : MSG_EXIT, 0, 0);
}

void lf_closingDown()
{
    struct PostGuard {
        ~PostGuard()
        {
            try {
                lf_postRestartOrExit();
            } catch (...) {
            }
        }
    } guard;
    restartFlag.store(false);
    const StopRequestPtr published = gf_currentStopRequest();
    const StopRequest request = published ? *published : StopRequest{};
    try {
        lf_closingDownBody(request);
    } catch (const std::exception& e) {
        restartFlag.store(false);
        lf_reportClosingDownException(e.what());
    } catch (...) {
        restartFlag.store(false);
        lf_reportClosingDownException("unknown exception");
    }
}

bool lf_restartCountdown(int32_t s)
{
    if (s <= 0)
        return !gf_exitRequested();
    const bool long_ = s > 15;
    if (long_) {
        gf_dropUserRequest<UserRequest::RestartNow>();
        gf_enableControl(UNBLOCK_BUTTON, true);
    }
    gf_logLine(fmt::format("Restarting after {} seconds", s));
    gf_logLine(std::string(48, '-'));
    for (int32_t i = 0; i < s; ++i) {
        if (gf_exitRequested())
            return false;
        if (long_ && gf_userRequestPending<UserRequest::RestartNow>())
            return true;
        const int32_t r = s - i;
        gf_showMessage(fmt::format("Restarting after {} second{}{}", r, r == 1 ? "" : "s",
                                     long_ ? "              ( or push Unblock to re-start )" : ""),
                         false);
        // Sleep the second in short steps so a close or Unblock ends it at once.
        for (int step = 0; step < 10; ++step) {
            if (gf_exitRequested() || (long_ && gf_userRequestPending<UserRequest::RestartNow>()))
                break;
            gf_mainSleepMs(100);
        }
    }
    gf_logLineFlush("Restart countdown finished");
    return !gf_exitRequested();
}

void lf_markRTApiCooldown()
{
    rtApiCooldownDeadline.store(gf_mainNowNs() + 3 * kNsPerSecond);
    try {
        const int64_t now = gf_nowSeconds(false);
        LAST_EPOCH_TIME.value = static_cast<int32_t>(std::clamp<int64_t>(now, 0, 2147483647));
        LAST_EPOCH_TIME.save();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Could not persist RT API cooldown: {}", e.what()));
    } catch (...) {
        gf_logError("Could not persist RT API cooldown: unknown exception");
    }
}
