#include "parking/park_positions.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <utility>
#include <variant>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_file_store.h"
#include "airports/airport_files.h"
#include "airports/airport_setup.h"
#include "airports/airport_ui.h"
#include "airports/learned_airport_files.h"
#include "airports/park_airports.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/for_parking.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_app_readers.h"
#include "feed/traffic_records.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "runways/runway_table.h"
#include "stands/stand_table.h"
#include "simlink/user_aircraft.h"

std::atomic<bool> parkAirportChanged{false};

namespace {

bool firstPlanWaiting = false;

void lf_runFirstPlan()
{
    const auto start = std::chrono::steady_clock::now();
    gf_buildParkingPlan();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    // The engine's samples are timed on its clock: it catches up with the
    // time the build held the main task.
    gf_catchUpEngineClock(ms);
}

// The first plan uses parked traffic when it has stands to fill.
bool lf_firstPlanAsksForParkedTraffic()
{
    return gf_standCount() > 0 && gf_parkingRunQuotaFor(*gf_parametersSnapshot()) > 0 && gf_askParkedTrafficForRun();
}

int32_t lf_countSoftOptions(const std::vector<Stand>& stands)
{
    int32_t n = 0;
    for (const Stand& s : stands)
        for (const StandOption& o : s.options)
            n += o.optionId != 0 && o.real == 0;
    return n;
}

// The user's stand becomes the reserved stand of the current park airport;
// a park airport other than the loaded one gives way to it.
void lf_rememberUserStand(const IcaoCode& icao, const CurrentAirportRecord& airport)
{
    const UserAcPosition user = gf_getUserAcPosition();
    const std::string stand = gf_findStandAtPosition({user.latitude, user.longitude});
    gf_logLine(stand.empty() ? std::string("\nUser aircraft is not at a stand")
                             : fmt::format("\nUser aircraft at stand: {}", stand));
    const std::optional<ParkAirport> front = gf_currentParkAirport();
    if (!front || front->icao != icao) {
        gf_setCurrentParkAirportAndStand(icao, {airport.latitude, airport.longitude}, stand);
        return;
    }
    if (!stand.empty() && gf_currentReservedStand() != stand)
        gf_setCurrentReservedStand(front->icao, stand);
}

// The active feed's reader puts aircraft just above the airport on the ground.
void lf_setReaderAirportAltitude(std::optional<double> altitude)
{
    if (gf_isRTDirect())
        gf_setRTDirectAirportAltitude(altitude);
    else
        gf_setRTAppAirportAltitude(altitude);
}

} // namespace

ParkedFileOutcome lf_readParkedFile()
{
    CurrentAirportRecord airport;
    {
        std::shared_lock lock(engineLock);
        airport = CurrentAirport;
    }
    const IcaoCode icao = gf_airportCodesOf(airport).first;
    const std::optional<std::filesystem::path> path =
        icao.isSet() ? gf_findAirportFilePath(icao) : std::optional<std::filesystem::path>();
    if (!path)
        return {fmt::format("{} {} not found", "lf_readParkedFile", icao), false};
    std::variant<AirportFile, std::string> read = gf_readAirportFile(*path);
    if (std::string* error = std::get_if<std::string>(&read))
        return {std::move(*error), false};
    AirportFile& file = std::get<AirportFile>(read);
    gf_setupAirportFromFile(file);
    lf_setReaderAirportAltitude(gf_currentAirportAltitude());

    const std::string info = file.airport_name;
    StandTable& table = gf_standTable();
    table.softOptionCount = lf_countSoftOptions(file.stands);
    gf_setStandTable(std::move(file.stands));
    lf_loadRunwayTable(icao, file.publisher);
    for (const Stand& s : table.stands)
        if (!s.exclusions.empty())
            gf_logLine(lf_formatStandExclusions(s.exclusions, s.id));

    if (userOnGround.load())
        lf_rememberUserStand(icao, airport);

    gf_setAirportFileInfo(true, info);
    table.learnedOptionCount = 0;
    return {std::string(), true};
}

void gf_loadAirportParking()
{
    ParkedFileOutcome outcome = lf_readParkedFile();
    if (!outcome.ok) {
        gf_airportUi().enableParkingControls();
        gf_showMessage(std::move(outcome.message), true);
        gf_unloadAirportParking();
        return;
    }
    gf_airportUi().restartParkingCountdown();
    firstPlanWaiting = lf_firstPlanAsksForParkedTraffic();
    if (!firstPlanWaiting)
        lf_runFirstPlan();
}

void gf_continueAirportParking()
{
    if (!firstPlanWaiting || !gf_parkedTrafficForRunSettled())
        return;
    firstPlanWaiting = false;
    lf_runFirstPlan();
}

bool gf_airportParkingWaiting()
{
    return firstPlanWaiting;
}

void gf_unloadAirportParking()
{
    firstPlanWaiting = false;
    StandTable& table = gf_standTable();
    if (airportFileLoaded.load()) {
        gf_saveLearned(table.stands, handmadeOverrule.load());
        gf_showAirportSettings();
    }
    handmadeOverrule.store(false);
    airportFileLoaded.store(false);
    loadedAirportFileWeek.store(0);

    // The window's controls change on the window's own thread.
    gf_airportUi().enableParkButton(false);
    gf_airportUi().enableFlushButton(false);
    parkingAirportLoaded.store(false);

    {
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{};
    }
    gf_postGuiUpdate(GuiUpdate::AirportCode{IcaoCode()});
    lf_setReaderAirportAltitude(std::nullopt);
    table.learnedOptionCount = 0;
    table.softOptionCount = 0;
    gf_postGuiUpdate(GuiUpdate::UpdateCount{0});

    gf_clearParkingPlan();
    gf_forgetParkedLimitHolds(); // they name stands of this airport
    gf_clearStandTable();
    gf_clearRunwayTable();

    gf_setAirportFileInfo(false, std::string());
    gf_setAirportPublisher(std::string(), false);
    gf_repaintAirportPanel();
}
