#include "airports/airport_file_store.h"
#include "airports/airport_database_load.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <numbers>
#include <shared_mutex>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_database_state.h"
#include "airports/airport_files.h"
#include "core/encrypted_file.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/units.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kReservedAirports = 24000;

// The whole text is one decimal number with at most a leading '-'.
std::optional<double> lf_parseDegrees(std::string_view text)
{
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int32_t> lf_parseFeet(std::string_view text)
{
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<AirportDbRecord> lf_parseAirportRecord(const pugi::xml_node& ap, const IcaoCode& code)
{
    const pugi::xml_attribute la = ap.attribute("la");
    const pugi::xml_attribute lo = ap.attribute("lo");
    if (!la || !lo) {
        gf_logError(fmt::format("Missing latLons for airport '{}'", code));
        return std::nullopt;
    }
    const pugi::xml_attribute a = ap.attribute("a");
    if (!a) {
        gf_logError(fmt::format("Missing alt for airport '{}'", code));
        return std::nullopt;
    }
    const std::optional<double> lat = lf_parseDegrees(la.value());
    const std::optional<double> lon = lf_parseDegrees(lo.value());
    const std::optional<int32_t> alt = lf_parseFeet(a.value());
    if (!lat || !lon || !alt) {
        gf_logError(fmt::format("Invalid numeric data for airport '{}'", code));
        return std::nullopt;
    }
    AirportDbRecord record;
    record.icao = code;
    if (const pugi::xml_attribute i = ap.attribute("i")) {
        try {
            record.iata = IataCode(i.value());
        } catch (const std::exception& e) {
            gf_logLine(fmt::format("Skipped airport '{}' '{}': {}", code, i.value(), e.what()));
            return std::nullopt;
        }
    }
    record.position = {*lat, *lon};
    record.altitude = *alt;
    if (!gf_isValidLatLon(record.position) || code.code == 0) {
        gf_logError(fmt::format("Invalid position for airport '{}'", code));
        return std::nullopt;
    }
    return record;
}

} // namespace

std::variant<std::vector<AirportDbRecord>, std::string> gf_readAirportsDataSet(const fs::path& path)
{
    const std::string name = gf_pathText(path);
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec)
        return fmt::format("Could not check whether {} exists: {}", name, ec.message());
    if (!exists)
        return fmt::format("{} not available", name);

    DecryptResult decrypted = gf_decryptFile(path, g_airportsDbPlainLimit);
    if (!decrypted.ok)
        return decrypted.error();
    SecureBuffer& buffer = decrypted.buffer();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(buffer.data, buffer.used);
    if (!parsed)
        return fmt::format("{} not loaded: {}", name, parsed.description());
    const pugi::xml_node root = doc.child("root");
    if (!root)
        return fmt::format("{} has no <{}> root", name, "root");
    const pugi::xml_node airports = root.child("airports");
    if (!airports)
        return fmt::format("{} has no <{}> section", name, "airports");

    std::vector<AirportDbRecord> records;
    records.reserve(kReservedAirports);
    for (const pugi::xml_node ap : airports.children("ap")) {
        const pugi::xml_attribute c = ap.attribute("c");
        if (!c) {
            gf_logError("Skipped airport entry with missing ICAO code attribute");
            continue;
        }
        IcaoCode code;
        try {
            code = IcaoCode(c.value());
        } catch (const std::exception& e) {
            gf_logLine(fmt::format("Skipped invalid airport code '{}': {}", c.value(), e.what()));
            continue;
        }
        if (std::optional<AirportDbRecord> record = lf_parseAirportRecord(ap, code))
            records.push_back(*record);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const AirportDbRecord& a, const AirportDbRecord& b) { return a.icao.code < b.icao.code; });
    const size_t before = records.size();
    records.erase(std::unique(records.begin(), records.end(),
                              [](const AirportDbRecord& a, const AirportDbRecord& b) { return a.icao == b.icao; }),
                  records.end());
    if (const size_t removed = before - records.size(); removed > 0)
        gf_logError(fmt::format("Skipped {} duplicate airport entr{}", removed, removed == 1 ? "y" : "ies"));
    if (records.empty())
        return fmt::format("{} contains no valid airports", name);
    return records;
}

AirportDatabaseLoad gf_loadAirportDatabase()
{
    AirportDatabase& db = gf_airportDatabase();
    std::lock_guard load(db.loadMutex);
    {
        std::shared_lock lock(db.lock);
        if (db.loaded)
            return {db.records.size(), std::nullopt};
    }
    auto result = gf_readAirportsDataSet(g_airportsEncPath);
    if (auto* error = std::get_if<std::string>(&result))
        return {0, std::move(*error)};
    size_t count = 0;
    {
        std::unique_lock lock(db.lock);
        db.records = std::move(std::get<std::vector<AirportDbRecord>>(result));
        db.loaded = true;
        count = db.records.size();
    }
    gf_logLine(fmt::format("{:5} airports read", count));
    return {count, std::nullopt};
}

void gf_installAirportDatabase(std::vector<AirportDbRecord> records, bool loaded)
{
    AirportDatabase& db = gf_airportDatabase();
    std::lock_guard load(db.loadMutex);
    std::unique_lock lock(db.lock);
    db.records = std::move(records);
    db.loaded = loaded;
}

std::optional<AirportDbRecord> gf_findAirportAt(const LatLon& position)
{
    struct Candidate {
        AirportDbRecord record;
        double d2;
    };
    // The candidates are copied out under the shared lock; their airport
    // files are read after it is released.
    std::vector<Candidate> candidates;
    {
        AirportDatabase& db = gf_airportDatabase();
        std::shared_lock lock(db.lock);
        const double f = gf_cosLatitude(position.latitude);
        for (const AirportDbRecord& r : db.records) {
            const FlatOffsetNm o = gf_flatOffsetNmOfDegrees(position.latitude - r.position.latitude,
                                                            position.longitude - r.position.longitude, f);
            if (std::fabs(o.north) > 5.0 || std::fabs(o.east) > 5.0)
                continue;
            const double d2 = o.squared();
            if (d2 <= 25.0)
                candidates.push_back({r, d2});
        }
    }
    if (candidates.empty())
        return std::nullopt;
    if (candidates.size() == 1)
        return candidates.front().record;

    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.d2 < b.d2; });
    const AirportDbRecord* closestCentre = &candidates.front().record;
    const AirportDbRecord* winner = closestCentre;
    double best = 100.0;
    std::string bestStand;
    for (const Candidate& c : candidates) {
        auto answer = gf_readDestApfForClosestStand(c.record.icao, position);
        if (const auto* stand = std::get_if<ClosestStand>(&answer); stand && stand->distanceNm < best) {
            best = stand->distanceNm;
            bestStand = stand->id;
            winner = &c.record;
        }
    }
    if (winner != closestCentre)
        gf_logLine(fmt::format("Airport {} has the closest center, but stand {} at {} is closer ({:.0f} meters)",
                               closestCentre->icao, bestStand, winner->icao, best * kMetresPerNm));
    return *winner;
}
