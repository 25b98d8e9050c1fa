#include "parking/park_airport_choice.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <system_error>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_database_load.h"
#include "airports/airport_file_store.h"
#include "airports/airport_ui.h"
#include "core/gui_senders.h"
#include "airports/park_airports.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/units.h"
#include "engine/for_parking.h"
#include "feed/rt_app_readers.h"
#include "feed/traffic_records.h"
#include "parking/park_positions.h"
#include "parking/parking_plan.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileName = "my_park_airports.txt";
constexpr size_t kManyParkAirports = 3000;

// Squared flat distance in NM² of the plain degree differences.
double lf_flatDistanceSquared(const LatLon& a, const LatLon& b, double cosLat)
{
    return gf_flatOffsetNmOfDegrees(a.latitude - b.latitude, a.longitude - b.longitude, cosLat).squared();
}

bool lf_atOrigin(const LatLon& p)
{
    return p.latitude == 0.0 && p.longitude == 0.0;
}

// The airport lines of the file, with the lines kept as they are.
void lf_parseLines(const std::vector<std::string>& lines, std::deque<ParkAirport>& airports,
                   std::vector<std::string>& preserved)
{
    for (const std::string& line : lines) {
        const std::vector<std::string> pieces = gf_split(line, ',');
        if (pieces.empty()) {
            preserved.push_back(line);
            continue;
        }
        if (pieces.size() >= 3) {
            gf_logError(fmt::format("{}:{} wrong syntax, preserved", kFileName, line));
            preserved.push_back(line);
            continue;
        }
        const std::optional<IcaoCode> icao = IcaoCode::tryParse(pieces[0]);
        if (!icao) {
            gf_logError(fmt::format("{}:{} invalid ICAO code, preserved", kFileName, line));
            preserved.push_back(line);
            continue;
        }
        const std::optional<AirportDbRecord> airport = gf_airportDbLookup(*icao);
        if (!airport) {
            gf_showMessage(fmt::format("airport {} is unknown", pieces[0]), true);
            preserved.push_back(line);
            continue;
        }
        airports.push_back({*icao, airport->position, pieces.size() == 2 ? pieces[1] : std::string()});
    }
}

void lf_addThirdpartyParkAirports(std::deque<ParkAirport>& airports)
{
    std::error_code ec;
    if (!fs::is_directory(g_myThirdpartyFolder, ec))
        return;
    for (fs::directory_iterator it(g_myThirdpartyFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::string stem;
        try {
            stem = wide_to_utf8(it->path().stem().wstring());
        } catch (const std::exception&) {
            continue;
        }
        const std::optional<IcaoCode> icao = IcaoCode::tryParse(stem);
        if (!icao || std::any_of(airports.begin(), airports.end(), [&](const ParkAirport& a) { return a.icao == *icao; }))
            continue;
        if (const std::optional<AirportDbRecord> airport = gf_airportDbLookup(*icao))
            airports.push_back({*icao, airport->position, std::string()});
    }
}

void lf_makeCurrent(const AirportDbRecord& airport)
{
    bool changed;
    {
        std::unique_lock lock(engineLock);
        const CurrentAirportRecord next = gf_currentAirportOf(airport);
        changed = next.code != CurrentAirport.code;
        CurrentAirport = next;
    }
    // The parked traffic of the previous airport must not be planned here.
    if (changed)
        lf_clearRtParkedTraffic();
}

void lf_startParkingAt()
{
    parkAirportChanged.store(true); // the next park-airport slot loads the parking
    gf_airportUi().disableParkingControls();
    gf_resetSeenTraffic();
}

void lf_leaveCurrentAirport()
{
    lf_clearRtParkedTraffic();
    gf_clearParkingPlan();
    gf_leaveParkAirport();
    gf_unloadAirportParking();
}

} // namespace

void gf_readMyParkAirportsFile()
{
    ParkAirportList& list = gf_parkAirportList();
    {
        std::lock_guard lock(list.mutex);
        list.readCompleted = false;
    }
    const fs::path& path = gf_parkAirportsFilePath();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        gf_logError(fmt::format("Could not check '{}': {}", gf_pathText(path), ec.message()));
        return;
    }
    std::deque<ParkAirport> airports;
    std::vector<std::string> preserved;
    bool fileRead = false;
    // A read that broke off part-way must not be saved over the user's file.
    bool readFailed = false;
    if (status.type() == fs::file_type::not_found) {
        gf_logLine(fmt::format("No saved park airports file: '{}'", gf_pathText(path)));
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            gf_logError(fmt::format("Could not open '{}'", gf_pathText(path)));
            return;
        }
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (in.bad()) {
            gf_logError(fmt::format("Could not read '{}'", gf_pathText(path)));
            return;
        }
        try {
            std::vector<std::string> lines;
            gf_splitLines(bytes.str(), lines);
            lf_parseLines(lines, airports, preserved);
            fileRead = true;
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}", "gf_readMyParkAirportsFile", e.what()));
            airports.clear();
            preserved.clear();
            readFailed = true;
        }
    }
    if (airports.size() > 1)
        gf_removeDuplicateParkAirports(airports);
    const size_t countRead = airports.size();
    lf_addThirdpartyParkAirports(airports);
    if (airports.size() > 1)
        gf_removeDuplicateParkAirports(airports);

    if (fileRead)
        gf_logLine(fmt::format("\n{:5} park airport{} read from '{}'", countRead, gf_pluralSuffix(countRead),
                               gf_pathText(path)));
    if (const size_t added = airports.size() - countRead; added > 0)
        gf_logLine(fmt::format("{:5} park airport{} added from '{}'", added, gf_pluralSuffix(added),
                               gf_pathText(g_myThirdpartyFolder)));
    if (!airports.empty())
        gf_logLine(fmt::format("{:5} park airport{} available in total", airports.size(), gf_pluralSuffix(airports.size())));
    if (airports.size() > kManyParkAirports) {
        gf_showMessage(fmt::format("Warning: There are a lot of park airports ({}), that will cost Kelo "
                                               "much cpu time and may cause stutters",
                                               airports.size()),
                                   true);
    }
    std::lock_guard lock(list.mutex);
    list.airports = std::move(airports);
    list.preservedLines = std::move(preserved);
    list.readCompleted = !readFailed;
    list.fileExisted = fileRead;
    list.lastCheck = {};
    list.recheckDistanceNm = 4.0;
}

void gf_saveMyParkAirportsFile()
{
    ParkAirportList& list = gf_parkAirportList();
    std::deque<ParkAirport> airports;
    std::vector<std::string> preserved;
    bool existed = false;
    {
        std::lock_guard lock(list.mutex);
        if (!list.readCompleted) {
            gf_logLine("Park airports file not saved: reading was not completed");
            return;
        }
        airports = list.airports;
        preserved = list.preservedLines;
        existed = list.fileExisted;
        list.readCompleted = false;
    }
    const fs::path& path = gf_parkAirportsFilePath();
    if (airports.empty() && preserved.empty()) {
        if (existed)
            gf_logLine(fmt::format("Park airports file left unchanged: '{}'", gf_pathText(path)));
        return;
    }
    gf_removeDuplicateParkAirports(airports);
    std::vector<std::string> lines;
    for (const ParkAirport& a : airports)
        lines.push_back(a.reservedStand.empty() ? a.icao.toString() : fmt::format("{},{}", a.icao, a.reservedStand));
    std::sort(lines.begin(), lines.end());
    lines.insert(lines.end(), preserved.begin(), preserved.end());
    // Through a temporary file: a full disk or a kill never cuts the list.
    fs::path temp = path;
    temp += L".save_tmp";
    if (!gf_writeLines(lines, temp)) {
        std::error_code ec;
        fs::remove(temp, ec);
        gf_logError(fmt::format("Could not write '{}'", gf_pathText(path)));
        return;
    }
    gf_putSavedFileInPlace(temp, path);
}

bool lf_isAirportWithinReach(const ParkUserPosition& user, const LatLon& airport)
{
    const auto params = gf_parametersSnapshot();
    if (user.altitudeFt > static_cast<double>(params->AIRP_HEIGHT))
        return false;
    const double range = static_cast<double>(params->AIRP_RANGE);
    return lf_flatDistanceSquared(user.position, airport, gf_cosLatitude(user.position.latitude)) <= range * range;
}

void gf_selectNearestParkAirport(const ParkUserPosition& user)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    if (list.airports.empty())
        return;
    const double c = gf_cosLatitude(user.position.latitude);
    if (!lf_atOrigin(list.lastCheck) &&
        std::sqrt(lf_flatDistanceSquared(list.lastCheck, user.position, c)) < list.recheckDistanceNm)
        return;
    std::optional<size_t> nearest;
    double best = 0.0;
    for (size_t i = 0; i < list.airports.size(); ++i) {
        const LatLon& at = list.airports[i].position;
        if (lf_atOrigin(at))
            continue;
        const double d2 = lf_flatDistanceSquared(user.position, at, c);
        if (!nearest || d2 < best) {
            nearest = i;
            best = d2;
        }
    }
    list.lastCheck = user.position;
    if (!nearest)
        return;
    if (*nearest != 0)
        std::swap(list.airports[*nearest], list.airports.front());
    list.recheckDistanceNm = std::max(gf_distanceNm(user.position, list.airports.front().position) / 2.0, 4.0);
}

void gf_chooseParkAirport(const ParkUserPosition& user)
{
    if (user.onGround) {
        const std::optional<AirportDbRecord> airport = gf_findAirportAt(user.position);
        if (!airport) {
            gf_showMessage("User aircraft on the ground, no RT supported airport within reach", true);
            return;
        }
        if (!gf_hasAirportFile(airport->icao)) {
            gf_showMessage(fmt::format("User aircraft on the ground at {}, no airport file found", airport->icao), true);
            return;
        }
        gf_logLine(fmt::format("User aircraft on the ground at {}", airport->icao));
        lf_makeCurrent(*airport);
        gf_logLineFlush(fmt::format("\nThe park airport is {}", airport->icao));
        gf_postGuiUpdate(GuiUpdate::AirportCode{airport->icao});
        lf_startParkingAt();
        return;
    }
    const std::optional<ParkAirport> park = gf_currentParkAirport();
    if (!park || !lf_isAirportWithinReach(user, park->position))
        return;
    const std::optional<AirportDbRecord> airport = gf_airportDbLookup(park->icao);
    if (!airport) {
        gf_postGuiUpdate(GuiUpdate::AirportCode{IcaoCode()});
        return;
    }
    lf_makeCurrent(*airport);
    gf_logLine(fmt::format("\nThe park airport is {}", airport->icao));
    gf_postGuiUpdate(GuiUpdate::AirportCode{airport->icao});
    if (!gf_isRTDirect())
        gf_requestRTAppParkedTraffic();
    gf_showMessage(fmt::format("{} within reach", airport->icao), true);
    lf_startParkingAt();
    gf_flushLog();
}

void gf_checkParkAirportReach(const ParkUserPosition& user)
{
    if (user.onGround)
        return;
    CurrentAirportRecord current;
    {
        std::shared_lock lock(engineLock);
        current = CurrentAirport;
    }
    const LatLon currentAt{current.latitude, current.longitude};
    const AirportCodes codes = gf_airportCodesOf(current);
    if (!lf_isAirportWithinReach(user, currentAt)) {
        gf_logLineFlush(fmt::format("\n{} {} is no longer within reach, parked aircraft will be removed",
                                    gf_trafficClockText(), codes));
        lf_leaveCurrentAirport();
        return;
    }
    const std::optional<ParkAirport> park = gf_currentParkAirport();
    if (!park || park->icao.code == current.code || !lf_isAirportWithinReach(user, park->position))
        return;
    const double c = gf_cosLatitude(user.position.latitude);
    if (lf_flatDistanceSquared(user.position, park->position, c) > lf_flatDistanceSquared(user.position, currentAt, c))
        return;
    if (gf_distanceNm(user.position, park->position) > gf_distanceNm(user.position, currentAt))
        return;
    gf_logLineFlush(fmt::format("\n{} {} is within reach, parked aircraft at {} will be removed first",
                                gf_trafficClockText(), park->icao, codes));
    lf_leaveCurrentAirport();
}
