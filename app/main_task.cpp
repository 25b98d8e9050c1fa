// The main task: start-up in a fixed order, the main loop, and always the
// shutdown, which posts MSG_START (restart) or MSG_EXIT.
#include "app/main_task.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <new>
#include <shared_mutex>
#include <system_error>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_database.h"
#include "airports/airport_database_load.h"
#include "airports/airport_scan.h"
#include "engine/engine.h"
#include "parking/park_airport_choice.h"
#include "parking/parking_plan.h"
#include "app/airport_ui_bridge.h"
#include "app/commands.h"
#include "app/controls.h"
#include "app/destination.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/install_path.h"
#include "app/main_clock.h"
#include "app/main_loop.h"
#include "app/main_task_threads.h"
#include "app/settings_panel.h"
#include "app/shutdown.h"
#include "app/time_shift.h"
#include "app/window_links.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "core/value_types.h"
#include "feed/feed_flags.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_api_weather_reader.h"
#include "feed/rt_app_link.h"
#include "feed/rt_app_readers.h"
#include "feed/rt_credential.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "liveries/livery_matching_tables.h"
#include "liveries/livery_scan_driver.h"
#include "liveries/model_database.h"
#include "engine/flight_plan.h"
#include "simlink/position_stream.h"
#include "simlink/sim_client.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"
#include "update/version_check.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> commandLineJob{false};
std::atomic<int> processExitCode{0};
std::atomic<bool> settingsReadThisRun{false};
bool dataFilesRead = false;
std::unique_ptr<WSADATA> winsockData;

constexpr const char* kProgramName = "Kelo";

bool lf_positionKnown(const UserAcPosition& p)
{
    return std::fabs(p.latitude) > 0.0001 || std::fabs(p.longitude) > 0.0001;
}

// A worker thread's body under a catch-all: a failure that escapes it ends
// the run instead of the process.
template <typename Body>
std::jthread lf_startWorker(const char* name, Body body)
{
    return std::jthread([name, body](std::stop_token stop) {
        try {
            if constexpr (std::is_invocable_v<Body, std::stop_token>)
                body(stop);
            else
                body();
        } catch (const std::exception& e) {
            gf_logError(fmt::format("Exception in {}: {}", name, e.what()));
            gf_requestStop(8, 0);
        } catch (...) {
            gf_logError(fmt::format("Exception in {}: unknown exception", name));
            gf_requestStop(8, 0);
        }
    });
}

// Re-enables the livery controls when the livery step completed, also while
// an exception unwinds the start-up.
struct LiveryControlsGuard {
    bool* done = nullptr;
    bool armed = false;
    void run()
    {
        if (!armed)
            return;
        armed = false;
        if (done && *done) {
            gf_enableControl(LIG_AUTOMATIC, true);
            gf_enableControl(LIG_PRIORITIZE, true);
            gf_enableControl(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.value);
            gf_repaintHeader();
        }
    }
    ~LiveryControlsGuard() { run(); }
};

void lf_createFolder(const fs::path& folder)
{
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (!ec && fs::is_directory(st))
        return;
    fs::create_directories(folder, ec);
    if (ec)
        throw fs::filesystem_error("create_directories", folder, ec);
}


// Polls until the condition holds: true then; false when gf_keepRunning
// turned false or the rounds ran out (rounds < 0: no limit).
template <typename Cond>
bool lf_waitFor(Cond cond, int64_t stepMs, int64_t rounds)
{
    for (int64_t i = 0; rounds < 0 || i < rounds; ++i) {
        if (cond())
            return true;
        if (!gf_keepRunning())
            return false;
        gf_mainSleepMs(stepMs);
    }
    return cond();
}

bool lf_rtAppUserStateWanted()
{
    // The Aerowinx PSX link has no RealTraffic App connection to keep alive.
    return !AEROWINX.value;
}

} // namespace

// ---- Process-wide state ------------------------------------------------------

void gf_setCommandLineJob(bool on)
{
    commandLineJob = on;
}
bool gf_isCommandLineJob()
{
    return commandLineJob;
}
int gf_processExitCode()
{
    return processExitCode;
}
bool gf_settingsReadThisRun()
{
    return settingsReadThisRun;
}
void gf_setSettingsReadThisRun(bool read)
{
    settingsReadThisRun = read;
}

MainTaskThreads& gf_mainTaskThreads()
{
    static MainTaskThreads threads;
    return threads;
}

void gf_startWinsock()
{
    gf_releaseWinsock();
    winsockData = std::make_unique<WSADATA>();
    const int result = WSAStartup(MAKEWORD(2, 2), winsockData.get());
    if (result != 0) {
        winsockData.reset();
        throw std::runtime_error(fmt::format("WSAStartup failed, error: {}", result));
    }
}

void gf_releaseWinsock()
{
    if (!winsockData)
        return;
    WSACleanup();
    winsockData.reset();
}

// ---- Start-up steps ------------------------------------------------------------

void lf_createFolders()
{
    for (const fs::path& f : {g_outputFolder, g_outputInfoFolder, g_outputErrorsFolder, g_airportsFolder,
                              g_learnedFolder, g_learnedStockFolder, g_learnedSimaddonFolder,
                              g_learnedThirdpartyFolder, g_mySimaddonFolder, g_myThirdpartyFolder,
                              g_myRegcodesFolder})
        lf_createFolder(f);
    std::error_code ec;
    const bool exists = fs::exists(g_objectIdListPath, ec);
    if (ec)
        throw fs::filesystem_error("exists", g_objectIdListPath, ec);
    if (exists) {
        fs::remove(g_objectIdListPath, ec);
        if (ec)
            throw fs::filesystem_error("remove", g_objectIdListPath, ec);
    }
}

bool lf_askForInstallPath()
{
    PathParameter& setting = gf_installPathSetting();
    const fs::path found = gf_detectInstallPath();
    if (!found.empty()) {
        setting.setAndSave(found);
        return true;
    }
    const bool msfs2020 = gf_isMSFS2020();
    gf_showMessage(msfs2020 ? "Kelo cannot find the MSFS install path, please select the MSFS Community folder"
                              : "Kelo cannot find the MSFS2024 install path, please select the MSFS2024 Community "
                                "folder",
                     true);
    gf_messageBox(Gui::instance().hwnd.load(),
                  msfs2020 ? L"Kelo cannot find the MSFS install path.\n\nPlease select the MSFS Community folder."
                           : L"Kelo cannot find the MSFS2024 install path.\n\nPlease select the MSFS2024 "
                             L"Community folder.",
                  L"Kelo", MB_OK | MB_ICONWARNING);
    // The window may have been closed while the box was open.
    if (!gf_keepRunning())
        return false;
    const std::optional<fs::path> picked = gf_pickFolder(Gui::instance().hwnd.load(), setting.value);
    if (!picked)
        return false;
    return lf_acceptCommunityFolder(setting, *picked);
}

void lf_runCommandLineJob()
{
    gf_logLine("Command line job:");
    try {
        if (gf_isCommandLineJob()) {
            gf_logLine("production");
            processExitCode = 0;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception {}", e.what()));
        processExitCode = 1;
    }
}

bool lf_readSettingsAndDataFiles()
{
    lf_checkRadiusParameters();
    lf_validateSimAndTrafficSource();
    settingsReadThisRun = true;
    lf_publishParameters();
    Gui::instance().enqueueUpdate(GuiUpdate::Repaint{GuiBands::Header});
    lf_fillSettingsPanel();
    Gui::instance().enqueueUpdate(GuiUpdate::SetCompact{COLLAPSED.value});

    PathParameter& installPath = gf_installPathSetting();
    {
        const fs::path& v = installPath.value;
        const fs::path last = v.has_filename() ? v.filename() : v.parent_path().filename();
        if (!v.empty() && last == L"Community")
            installPath.setAndSave(v.has_filename() ? v.parent_path() : v.parent_path().parent_path());
    }
    // A scan killed half-way leaves its marker and backups: the previous airport
    // files go back before anything of this start reads them.
    if (!gf_recoverAirportScan())
        gf_logError("Airport files of an interrupted airport scan could not be recovered");
    lf_createFolders();
    if (gf_isRTDirect())
        gf_getRTLicenseToken();
    if (!restartFlag.load() && !gf_checkForUpdates())
        return false;
    lf_initTimeShiftControls();
    gf_storeWeekdayHalfHourWord();
    if (!dataFilesRead) {
        const bool ok = gf_readDbase();
        dataFilesRead = true;
        if (!ok)
            throw std::runtime_error("reading data files failed!");
    }
    gf_registerAirportUi();
    const AirportDatabaseLoad airports = gf_loadAirportDatabase();
    if (airports.error)
        throw std::runtime_error(*airports.error);
    if (installPath.value.empty() && !lf_askForInstallPath()) {
        StopRequestPtr none;
        gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{5, 0}));
        return false;
    }
    Gui::instance().enqueueUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
    if (gf_isCommandLineJob()) {
        lf_runCommandLineJob();
        return false;
    }
    gf_flushLog();
    return true;
}

bool lf_waitForUserAircraft()
{
    if (!lf_waitFor([] { return g_linkState.load() == LinkState::Running; }, 100, -1))
        return false;
    gf_postDataRequest(DataRequestKind::UserOnGround);
    for (;;) {
        const UserAcPosition p = gf_getUserAcPosition();
        if (g_userOnGroundState.load() != -1 && lf_positionKnown(p))
            break;
        gf_postDataRequest(DataRequestKind::UserPosition);
        gf_publishUserAcPosition(gf_getUserAcPosition());
        gf_mainSleepMs(500);
        if (!gf_keepRunning())
            return false;
    }
    g_userAnswers.store(0);
    gf_postDataRequest(DataRequestKind::UserTitleAndModel);
    for (;;) {
        if (g_userAnswers.load() == 3)
            break;
        const uint8_t state = g_linkState.load();
        if (!gf_keepRunning() || state < 1 || state > 2)
            return false;
        gf_mainSleepMs(10);
    }
    for (;;) {
        const UserAcPosition p = gf_getUserAcPosition();
        if (lf_positionKnown(p))
            return true;
        gf_postDataRequest(DataRequestKind::UserPosition);
        gf_publishUserAcPosition(p);
        gf_mainSleepMs(200);
        if (!gf_keepRunning())
            return false;
    }
}

bool lf_startSimClient()
{
    gf_resetSimClientState();
    gf_repaintHeader();
    MainTaskThreads& threads = gf_mainTaskThreads();
    if (threads.simClient.joinable())
        throw std::logic_error("the SimClient thread slot is not empty");
    threads.simClient = lf_startWorker("SimClient", [](std::stop_token stop) { SimClient(stop); });
    return lf_waitForUserAircraft();
}

void lf_waitForFirstTraffic()
{
    auto received = [] {
        TrafficClockInputs& t = gf_trafficClockInputs();
        return gf_isRTDirect() ? t.rtDirectLatestTimestamp.load() != 0 : t.rtAppLastTimestamp.load() != 0;
    };
    if (!lf_waitFor(received, 100, 150) && gf_keepRunning())
        gf_logLine("No traffic in this region");
}

bool lf_startRTApp()
{
    Gui::instance().enqueueUpdate(GuiUpdate::DisableTimeShift{});
    if (!gf_keepRunning())
        return false;
    Gui::instance().enqueueUpdate(GuiUpdate::SimaddonAirports{0});
    Gui::instance().enqueueUpdate(GuiUpdate::ThirdpAirports{0});
    gf_scanAirports();
    gf_applyRangeSetting();
    if (!PSX_SERVER_HERE.value || AEROWINX.value)
        feedConnected.store(true);
    else
        gf_rtAppServer().startListening(PORT_NUMBER.value);
    if (!gf_keepRunning())
        return false;
    Gui::instance().enqueueUpdate(GuiUpdate::ShowTrafficBox{});
    if (PSX_SERVER_HERE.value) {
        if (!AEROWINX.value)
            gf_runRTAppSession();
        else
            gf_trafficClockInputs().professionalLevel.store(false);
        if (gf_trafficClockInputs().professionalLevel.load() && simulatorUtcTime.valid.load())
            gf_sendQs123Line(simulatorUtcTime.seconds.load());
    }
    if (!gf_keepRunning())
        return false;
    gf_setTrafficDelivery(false);
    if (lf_rtAppUserStateWanted())
        gf_sendUserStateToRTApp();
    MainTaskThreads& threads = gf_mainTaskThreads();
    threads.weatherReader = lf_startWorker("QNH Reader", [] { gf_weatherReader(); });
    if (!gf_keepRunning())
        return false;
    const UserAcPosition user = gf_getUserAcPosition();
    gf_setRTAppUserPosition(user.latitude, user.longitude);
    threads.trafficReader = lf_startWorker("Traffic Reader", [] { gf_trafficReader(); });

    if (!lf_waitFor([] { return gf_rtAppTrafficReader().bufferDone.load(); }, 50, 600) && gf_keepRunning())
        gf_logError("Time out: no buffer traffic received?");
    if (!gf_keepRunning())
        return false;

    bool atAirport;
    {
        std::shared_lock lock(engineLock);
        atAirport = CurrentAirport.code != 0 && gf_isValidLatLon({CurrentAirport.latitude, CurrentAirport.longitude});
    }
    if (userOnGround.load() && atAirport) {
        gf_showMessage(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);
        gf_requestRTAppParkedTraffic();
        if (!lf_waitFor([] { return gf_parkedTrafficOf(TrafficSource::rtApp).received.load(); }, 50, 200) && gf_keepRunning())
            gf_logError("Time out: no parked traffic received?");
    } else {
        gf_logLine("user not at an airport, no RT parked Traffic needed");
    }
    if (!gf_keepRunning())
        return false;
    gf_mainSleepMs(100);
    lf_waitForFirstTraffic();
    gf_flushLog();
    return true;
}

void lf_holdForRTApiCooldown()
{
    int64_t deadline = rtApiCooldownDeadline.load();
    const int64_t now = gf_mainNowNs();
    if (deadline == 0) {
        const int64_t mark = LAST_EPOCH_TIME.value;
        if (mark < 1)
            return;
        const int64_t elapsed = std::max<int64_t>(gf_nowSeconds(false) - mark, 0);
        if (elapsed >= 4)
            return;
        deadline = now + (4 - elapsed) * kNsPerSecond;
    }
    const int64_t remaining = deadline - now;
    if (remaining >= 1) {
        const int64_t n = (remaining + kNsPerSecond - 1) / kNsPerSecond;
        gf_showMessage(fmt::format("Holding for {} second{}... (RT API cooldown)", n, n == 1 ? "" : "s"), true);
        for (;;) {
            const int64_t left = deadline - gf_mainNowNs();
            if (left <= 0 || !gf_keepRunning())
                break;
            gf_mainSleepNs(std::min<int64_t>(left, 100 * kNsPerMs));
        }
    }
    rtApiCooldownDeadline.store(0);
}

bool lf_startRTDirect()
{
    Gui::instance().enqueueUpdate(GuiUpdate::SimaddonAirports{0});
    Gui::instance().enqueueUpdate(GuiUpdate::ThirdpAirports{0});
    gf_scanAirports();
    gf_applyRangeSetting();
    Gui::instance().enqueueUpdate(GuiUpdate::ShowTrafficBox{});
    gf_setTrafficDelivery(false);
    gf_flushLog();

    gf_logLine(fmt::format("{} waiting for the user aircraft position ...", gf_utcTimeText()));
    const int64_t start = gf_mainNowNs();
    for (;;) {
        if (lf_positionKnown(gf_getUserAcPosition()))
            break;
        if (!gf_keepRunning()) {
            gf_logLine(fmt::format("{} waiting for user aircraft position interrupted, program is stopping",
                                   gf_utcTimeText()));
            break;
        }
        if (gf_mainNowNs() - start >= 60 * kNsPerSecond) {
            gf_logLine(fmt::format("{} user aircraft position still not valid after 60 seconds, continuing aborted",
                                   gf_utcTimeText()));
            break;
        }
        gf_mainSleepMs(500);
    }
    gf_updateRTDirectQueryBox();
    lf_holdForRTApiCooldown();
    if (!gf_keepRunning())
        return false;
    Authenticater();
    // A sign-in that failed has ended the run: the message line keeps its
    // reason, nothing of a run that did not begin may replace it.
    if (!gf_keepRunning())
        return false;
    Gui::instance().enqueueUpdate(GuiUpdate::LiveTrafficState{GuiReaderState::Overdue});
    Gui::instance().enqueueUpdate(GuiUpdate::QnhState{GuiReaderState::Overdue});
    const bool professional = gf_trafficClockInputs().professionalLevel.load();
    gf_enableTimeShiftControls(professional);
    if (!professional) {
        lf_applyTimeShift(0, true, false);
        if (gf_parametersSnapshot()->KEEP_SIM_TIME_PAR) {
            lf_clearKeepSimTimePar();
        }
        Gui::instance().enqueueUpdate(GuiUpdate::DisableTimeShift{});
    }
    lf_waitFor([] { return gf_rtApiSession().hasSession(); }, 200, 20);
    if (!gf_keepRunning())
        return false;
    MainTaskThreads& threads = gf_mainTaskThreads();
    threads.weatherReader = lf_startWorker("Weather RTAPIreader", [] { gf_RTAPIWeatherReader(); });
    if (!gf_keepRunning())
        return false;
    threads.trafficReader = lf_startWorker("Traffic RTAPIreader", [] { gf_RTAPITrafficReader(); });
    gf_mainSleepMs(300);
    const UserAcPosition user = gf_getUserAcPosition();
    gf_setRTDirectUserPosition(user.latitude, user.longitude);
    lf_waitForFirstTraffic();
    const int64_t noted = gf_mainNowNs();
    while (gf_keepRunning() && !gf_rtApiTrafficReader().liveRunning.load()) {
        if (gf_mainNowNs() - noted >= 10 * kNsPerSecond) {
            gf_logLine("RTAPI TrafficReader receiving timed out after 10 seconds?");
            gf_requestStop(7, 15);
            break;
        }
        gf_mainSleepMs(100);
    }
    gf_flushLog();
    return true;
}

// ---- The thread body -------------------------------------------------------------

namespace {

bool lf_startUp(LiveryControlsGuard& guard, bool& liveryDone)
{
    gf_startWinsock();

    std::error_code ec;
    const fs::file_status docs = fs::status(g_docsFolder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("status", g_docsFolder, ec);
    if (!fs::is_directory(docs))
        throw kvr::UserRelatedException(41, fmt::format("{} must be run from the {} folder!", kProgramName,
                                                        kProgramName));

    if (!lf_readSettingsAndDataFiles())
        return false;

    gf_enableControl(LIG_AUTOMATIC, false);
    gf_enableControl(AI_PACKAGE_SELECTOR, false);
    gf_enableControl(LIG_PRIORITIZE, false);
    guard.armed = true;
    if (gf_keepRunning()) {
        const auto params = gf_parametersSnapshot();
        if (!params->SKIP_LIVERIES_SCAN) {
            gf_scanLiveries();
        } else {
            const fs::path scanned = gf_isMSFS2020() ? g_liveriesScanned2020Path : g_liveriesScanned2024Path;
            const bool exists = fs::exists(scanned, ec);
            if (ec)
                throw fs::filesystem_error("exists", scanned, ec);
            if (!exists)
                gf_scanLiveries();
        }
        gf_processScannedLiveries();
        liveryDone = true;
    }
    guard.run();

    if (gf_keepRunning()) {
        Gui::instance().enqueueUpdate(
            GuiUpdate::SimaddonAirports{gf_countFilesWithExtension(g_mySimaddonFolder, fs::path())});
        Gui::instance().enqueueUpdate(
            GuiUpdate::ThirdpAirports{gf_countFilesWithExtension(g_myThirdpartyFolder, fs::path())});
    }
    if (gf_keepRunning()) {
        if (const std::optional<fs::path> folder = gf_flightPlanFolder()) {
            if (!gf_ensureFlightPlanFolder(*folder))
                return false;
        }
    }
    gf_readMyParkAirportsFile();
    const std::string destination = [] {
        std::lock_guard lock(gf_controlValuesMutex());
        return DESTINATION.value;
    }();
    if (!destination.empty()) {
        if (const std::optional<IcaoCode> code = IcaoCode::tryParse(destination)) {
            if (const std::optional<AirportDbRecord> airport = gf_airportDbLookup(*code))
                lf_setDestination(code->toString(), airport->position);
        } else {
            gf_logLine(fmt::format("destination '{}' is not valid", destination));
        }
    }
    Gui::instance().enqueueUpdate(GuiUpdate::StayOnTop{ALWAYS_ON_TOP.value});
    feedConnected.store(false);
    gf_initTrafficState();
    gf_clearParkingPlan(); // the run's stayers and removals go with the traffic
    gf_enableControl(RT_CHOISE, true);
    gf_flushLog();
    if (!lf_startSimClient())
        return false;

    if (userOnGround.load()) {
        const UserAcPosition user = gf_getUserAcPosition();
        if (const std::optional<AirportDbRecord> airport = gf_findAirportAt({user.latitude, user.longitude})) {
            {
                std::unique_lock lock(engineLock);
                CurrentAirport = gf_currentAirportOf(*airport);
            }
            Gui::instance().enqueueUpdate(GuiUpdate::AirportCode{airport->icao});
            gf_logLine(fmt::format("User aircraft on the ground at {}", airport->icao));
            gf_logLine(fmt::format("The park airport is {}", airport->icao));
        }
    }
    if (!(gf_isRTDirect() ? lf_startRTDirect() : lf_startRTApp()))
        return false;
    gf_storeWeekdayHalfHourWord();
    lf_mainLoop();
    return true;
}

void lf_publishIfNone(uint32_t code)
{
    StopRequestPtr none;
    gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{code, 0}));
}

} // namespace

namespace {

// The window's AUTO_RANGE box runs the main loop's automatic range.
void lf_registerWindowLinks()
{
    WindowLinks links;
    links.autoRange = [] { gf_autoRange(); };
    gf_setWindowLinks(links);
}

} // namespace

void lf_main()
{
    lf_registerWindowLinks();
    settingsReadThisRun = false;
    bool liveryDone = false;
    try {
        LiveryControlsGuard guard{&liveryDone, false};
        lf_startUp(guard, liveryDone);
    } catch (const kvr::UserRelatedException& e) {
        const std::string what = e.what();
        gf_showError(what.empty() ? "Unknown exception" : what);
        lf_publishIfNone(8);
    } catch (const fmt::format_error& e) {
        gf_showError(std::string("std::format error: ") + e.what());
        gf_fatalError(e.what());
    } catch (const std::bad_alloc& e) {
        gf_fatalError(e.what());
    } catch (const std::exception& e) {
        gf_fatalError(e.what());
    } catch (...) {
        gf_showError("Unknown exception");
        gf_requestStop(8, 0);
    }
    lf_closingDown();
}
