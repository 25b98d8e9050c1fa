#include "airports/learned_airport_files.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <shared_mutex>
#include <type_traits>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_file_format.h"
#include "airports/airport_file_store.h"
#include "airports/airport_files.h"
#include "airports/airport_setup.h"
#include "core/gui_senders.h"
#include "core/data_file_header.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

namespace fs = std::filesystem;

std::atomic<uint32_t> learnedUpdateCounter{0};

namespace {

std::string lf_learnedErrorText(fmt::string_view format)
{
    return fmt::vformat(format, fmt::make_format_args("gf_readLearnedAirportFile"));
}

template <typename T>
void lf_logSetting(const char* name, const std::optional<T>& value)
{
    if (value)
        gf_logContinuation(fmt::format("{:24}: {}", name, *value));
}

// Reads and logs the per-airport settings. A file without AUTO_PARK turns
// automatic parking off.
void lf_readSettings(const pugi::xml_document& doc, LearnedAirportSettings& settings)
{
    gf_forEachAirportSetting(settings, [&](const char* key, auto& member, const auto&, auto) {
        if constexpr (std::is_same_v<std::decay_t<decltype(member)>, std::optional<bool>>)
            member = gf_xmlReadBoolParameter(doc, key);
        else
            member = gf_readIntParameter(doc, key);
    });
    settings.AUTO_PARK = settings.AUTO_PARK.value_or(false);
    gf_forEachAirportSetting(settings, [](const char* key, const auto& member, const auto&, auto) {
        lf_logSetting(key, member);
    });
}

std::optional<fs::path> lf_learnedSavePath(const LoadedAirportInfo& info, const IcaoCode& icao)
{
    if (!info.learnedPath.empty())
        return info.learnedPath;
    const fs::path name = gf_airportXmlName(icao);
    fs::path source;
    if (info.publisher == "stock")
        source = g_archiveName / g_stockName / name;
    else if (info.publisher == "simaddon")
        source = g_archiveName / g_simaddonName / name;
    else
        source = g_myThirdpartyFolder / name;
    return gf_learnedAirportFilePath(source, info.publisher);
}

LearnedAirportData lf_readLearned(const fs::path& path, const std::string& airportName, const std::vector<Stand>& loaded,
                                  std::string& error)
{
    LearnedAirportData data;
    data.stands = loaded;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = fmt::format("{} could not be opened", gf_pathText(path));
        gf_logError(error);
        return data;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load(in);
    if (!parsed) {
        in.close();
        gf_save1GenerationOf(path);
        gf_logError(fmt::format("{} found, not loaded: {}, saved as *.0.xml", gf_pathText(path), parsed.description()));
        error = fmt::format("{} not loaded: {}", gf_pathText(path), parsed.description());
        return data;
    }
    gf_logLine(fmt::format("Read from learned airport file: '{}'", gf_pathText(path)));
    if (!gf_readDataFileHeader(doc, false).ok) {
        error = fmt::format("{} has invalid metadata", gf_pathText(path));
        return data;
    }
    const std::string learnedName = gf_xmlReadStringParameter(doc, "airport_name").value_or(std::string());
    if (learnedName != airportName) {
        gf_showMessage(
            fmt::format("Warning: learned file airport name: '{}' differs from archived file airport name: '{}'",
                        learnedName, airportName),
            true);
    }
    lf_readSettings(doc, data);

    if (gf_xmlReadBoolParameter(doc, "handmade").value_or(false)) {
        data.stands.clear();
        gf_readParkPositions(doc, data.stands);
        gf_logContinuation(fmt::format("{:24}: {}", "handmade", true));
        data.handmade = true;
        return data;
    }
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node positions = root ? root.child("parkpositions") : doc.child("parkpositions");
    if (!positions) {
        gf_logLine(fmt::format("learned file {} has no '{}' section", gf_pathText(path), "parkpositions"));
        return data;
    }
    for (const pugi::xml_node parkpos : positions.children("parkpos")) {
        const std::string id = parkpos.attribute("id").value();
        const bool manual = gf_xmlOptBool(parkpos, "manual").value_or(false);
        if (!manual) {
            const bool merged = std::any_of(data.stands.begin(), data.stands.end(),
                                            [&](Stand& s) { return lf_mergeLearnedOptions(parkpos, id, s); });
            if (!merged)
                gf_logLine(fmt::format("learned stand {} in {} not found?", id, gf_pathText(path)));
            continue;
        }
        if (std::any_of(data.stands.begin(), data.stands.end(), [&](const Stand& s) { return s.name == id; })) {
            gf_logError(fmt::format("manually created standid {} already exists in {}", id, gf_pathText(path)));
            continue;
        }
        const LatLon at{parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)};
        const double radius = parkpos.attribute("radius").as_double(0.0);
        if (!gf_isValidLatLon(at) || !std::isfinite(radius) || radius <= 0.0) {
            gf_logError(fmt::format("manually created standid {} misses correct attributes in {}", id, gf_pathText(path)));
            continue;
        }
        if (gf_readParkPosition(parkpos, id, 0, data.stands))
            data.stands.back().flag = 1;
    }
    return data;
}

} // namespace

bool lf_mergeLearnedOptions(const pugi::xml_node& parkpos, const std::string& id, Stand& stand)
{
    if (stand.name != id)
        return false;
    int32_t next = stand.options.empty() ? 1 : stand.options.back().optionId + 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const HalfHourMask slots = gf_parseHalfHours(opt.attribute("hh").value());
        if (slots.none()) {
            gf_logError("empty bit set");
            continue;
        }
        StandOption o = gf_readStandOption(opt, slots, static_cast<uint32_t>(opt.attribute("day").as_int(0)), 0);
        const bool known = std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& e) {
            return e.weekday == o.weekday && e.real == o.real && e.registration == o.registration &&
                   e.aom.airline == o.aom.airline && e.aom.oper == o.aom.oper && e.aom.model == o.aom.model &&
                   e.aom.cargo == o.aom.cargo && (e.halfHours & o.halfHours).any();
        });
        if (known)
            continue;
        o.optionId = next++;
        stand.options.push_back(std::move(o));
    }
    return true;
}

std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const fs::path& path,
                                                                        const std::string& airportName,
                                                                        const std::vector<Stand>& stands)
{
    try {
        std::string error;
        LearnedAirportData data = lf_readLearned(path, airportName, stands, error);
        if (!error.empty())
            return error;
        return data;
    } catch (const std::exception& e) {
        std::string text = fmt::format("{}: {}", "gf_readLearnedAirportFile", e.what());
        gf_logError(text);
        return text;
    } catch (...) {
        return lf_learnedErrorText("{}: unknown exception");
    }
}

void gf_saveLearned(const std::vector<Stand>& stands, bool handmade)
{
    CurrentAirportRecord current;
    {
        std::shared_lock lock(engineLock);
        current = CurrentAirport;
    }
    if (current.code == 0 || !airportFileLoaded.load()) {
        gf_logError("gf_saveLearned called without a loaded airport file");
        return;
    }
    const LoadedAirportInfo info = gf_loadedAirportInfo();
    ScannedAirport airport;
    airport.icao = gf_airportCodesOf(current).first;
    airport.airportName = info.airportName;
    airport.altitude = info.altitude;
    airport.publisher = info.publisher;
    for (const Stand& s : stands) {
        Stand copy = s;
        if (!handmade)
            std::erase_if(copy.options, [](const StandOption& o) { return o.fromAirportFile == 1; });
        // A parking run sets the id of an option it may not use again to 0
        // until the next run; the option itself stays learned and is saved.
        int32_t id = 0;
        for (StandOption& o : copy.options)
            o.optionId = ++id;
        if (handmade || !copy.options.empty() || copy.flag)
            airport.stands.push_back(std::move(copy));
    }
    if (handmade) {
        const auto [real, soft] = gf_computeStandScores(airport.stands);
        airport.qfReal = real;
        airport.qfSoft = soft;
    }
    const std::optional<fs::path> path = lf_learnedSavePath(info, airport.icao);
    if (!path) {
        gf_logError(fmt::format("cannot construct a safe learned path for publisher '{}'", info.publisher));
        return;
    }
    const auto params = gf_parametersSnapshot();
    const AirportSettings settings = gf_airportSettingsOf(*params);
    const uint32_t sim = g_modeSettings.load()->sim;
    const uint32_t updates = learnedUpdateCounter.load();
    if (gf_writeApf(airport, *path, ApfWriteMode::Learned, sim, handmade, settings))
        gf_logLine(fmt::format("{} '{}' saved with {} update{}", handmade ? " handmade" : "", gf_pathText(*path), updates,
                               gf_pluralSuffix(updates)));
    else
        gf_logLine(fmt::format("saving '{}' did not succeed", gf_pathText(*path)));
    learnedUpdateCounter.store(0);
}

void gf_publishAirportSettings()
{
#define KELO_AIRPORT_SETTING_OBJECT(type, NAME) &NAME,
    gf_publishSettings({KELO_AIRPORT_SETTINGS(KELO_AIRPORT_SETTING_OBJECT) & MAX_PARK_SEL});
#undef KELO_AIRPORT_SETTING_OBJECT
}
