// Decoding of the web API's traffic, parked-traffic and METAR data.
#include "feed/rt_api_decoding.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "core/log.h"

namespace {

// Element positions of one aircraft's array in the traffic data. The
// elements between are not read.
enum TrafficElement : size_t {
    kTrafficHexid = 0,          // hexadecimal transponder id, a string
    kTrafficLat = 1,            // degrees
    kTrafficLon = 2,            // degrees
    kTrafficTrack = 3,          // degrees
    kTrafficAltitude = 4,       // feet
    kTrafficGroundSpeed = 5,    // knots
    kTrafficSquawk = 6,
    kTrafficType = 8,
    kTrafficRegistration = 9,
    kTrafficTimestamp = 10,     // seconds since 1970 UTC
    kTrafficOrigin = 11,
    kTrafficDestination = 12,
    kTrafficCallsign = 13,
    kTrafficVerticalSpeed = 15, // feet per minute
    kTrafficSource = 17,        // kind of report, "adsb_icao" among others
    kTrafficTas = 20,           // true airspeed, knots
    kTrafficRoll = 23,          // degrees
    kTrafficTrueHeading = 25,   // degrees
    kTrafficCategory = 28,
    kTrafficAirline = 48,
};
// Only arrays of exactly this length describe an aircraft.
constexpr size_t kTrafficElements = kTrafficAirline + 1;

// Element positions of one parked aircraft's array; its key is the hexid.
enum ParkedElement : size_t {
    kParkedLat = 0,
    kParkedLon = 1,
    kParkedStand = 2,
    kParkedType = 3,
    kParkedRegistration = 4,
    kParkedTime = 5,            // seconds since 1970 UTC
    kParkedCallsign = 6,
};
constexpr size_t kParkedElements = kParkedCallsign + 1;

constexpr double kTwoPow63 = 9223372036854775808.0;

// Element i as a number; none when missing or of another type.
std::optional<double> lf_number(const nlohmann::json& array, size_t i)
{
    if (i >= array.size() || !array[i].is_number())
        return std::nullopt;
    return array[i].get<double>();
}

double lf_numberOr(const nlohmann::json& array, size_t i, double fallback)
{
    return lf_number(array, i).value_or(fallback);
}

// Element i as a view of its text; empty when missing or of another type.
std::string_view lf_text(const nlohmann::json& array, size_t i)
{
    if (i >= array.size() || !array[i].is_string())
        return {};
    return array[i].get_ref<const std::string&>();
}

bool lf_validTime(std::optional<double> t)
{
    return t && std::isfinite(*t) && *t > 0.0 && *t < kTwoPow63;
}

} // namespace

void TrafficBatch::clear()
{
    records.clear();
    seen.callsigns.clear();
    seen.hexids.clear();
    latestTimestamp = 0;
}

std::optional<uint32_t> lf_parseHexid(std::string_view text)
{
    return gf_parseHexid(text, 16);
}

void gf_decodeRTAPITraffic(const nlohmann::json& data, const TrafficConversionContext& context, TrafficBatch& batch)
{
    batch.clear();
    if (!data.is_object() || context.settings == nullptr)
        return;
    batch.records.reserve(std::min<size_t>(data.size(), 384));
    if (context.collectSeen) {
        batch.seen.callsigns.reserve(data.size());
        batch.seen.hexids.reserve(data.size());
    }
    for (const auto& member : data.items()) {
        const nlohmann::json& value = member.value();
        if (value.is_array() && value.size() == kTrafficElements)
            parseTrafficRecord(value, context, batch);
    }
}

void parseTrafficRecord(const nlohmann::json& array, const TrafficConversionContext& context, TrafficBatch& batch)
{
    try {
        const std::optional<double> timestamp = lf_number(array, kTrafficTimestamp);
        if (!lf_validTime(timestamp))
            return;
        batch.latestTimestamp = static_cast<uint64_t>(std::llround(*timestamp));
        const std::optional<uint32_t> hexid = lf_parseHexid(lf_text(array, kTrafficHexid));
        if (!hexid || !array[kTrafficHexid].is_string())
            return;

        ParsedTrafficFields f;
        f.timestamp = *timestamp;
        f.hexid = *hexid;
        f.lat = lf_numberOr(array, kTrafficLat, 0.0);
        f.lon = lf_numberOr(array, kTrafficLon, 0.0);
        f.track = lf_numberOr(array, kTrafficTrack, 0.0);
        f.altitude = lf_numberOr(array, kTrafficAltitude, 0.0);
        f.groundSpeed = lf_numberOr(array, kTrafficGroundSpeed, 0.0);
        f.squawk = lf_text(array, kTrafficSquawk);
        f.type = lf_text(array, kTrafficType);
        f.registration = lf_text(array, kTrafficRegistration);
        f.origin = lf_text(array, kTrafficOrigin);
        f.destination = lf_text(array, kTrafficDestination);
        f.callsign = lf_text(array, kTrafficCallsign);
        f.verticalSpeed = lf_numberOr(array, kTrafficVerticalSpeed, 0.0);
        f.source = lf_text(array, kTrafficSource);
        f.tas = lf_numberOr(array, kTrafficTas, -1.0);
        f.roll = lf_numberOr(array, kTrafficRoll, 0.0);
        f.trueHeading = lf_numberOr(array, kTrafficTrueHeading, 0.0);
        f.category = lf_text(array, kTrafficCategory);
        f.airline = lf_text(array, kTrafficAirline);

        TrafficConversionResult result = gf_makeLiveTrafficRecord(f, context);
        if (result.seen) {
            if (!result.seen->callsign.empty())
                batch.seen.callsigns.insert(std::move(result.seen->callsign));
            batch.seen.hexids.insert(result.seen->hexid);
        }
        if (result.record)
            batch.records.push_back(std::move(*result.record));
    } catch (const std::runtime_error&) {
        // a bad time stamp, position or true heading: the array is dropped
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "parseTrafficRecord", e.what()));
    }
}

std::vector<ParkedTrafficRecord> gf_decodeRTAPIParkedTraffic(const nlohmann::json& data)
{
    std::vector<ParkedTrafficRecord> result;
    if (!data.is_object())
        return result;
    result.reserve(data.size());
    for (const auto& member : data.items()) {
        const nlohmann::json& value = member.value();
        if (value.is_array() && value.size() >= kParkedElements)
            parseParkedRecord(member.key(), value, result);
    }
    return result;
}

void parseParkedRecord(std::string_view key, const nlohmann::json& array, std::vector<ParkedTrafficRecord>& list)
{
    try {
        const std::optional<uint32_t> hexid = lf_parseHexid(key);
        if (!hexid)
            return;
        const std::optional<double> time = lf_number(array, kParkedTime);
        if (!lf_validTime(time))
            return;
        ParkedTrafficFields f;
        f.hexid = *hexid;
        f.lat = lf_numberOr(array, kParkedLat, 0.0);
        f.lon = lf_numberOr(array, kParkedLon, 0.0);
        f.stand = lf_text(array, kParkedStand);
        f.type = lf_text(array, kParkedType);
        f.registration = lf_text(array, kParkedRegistration);
        f.time = std::llround(*time);
        f.callsign = lf_text(array, kParkedCallsign);
        if (auto record = gf_makeParkedTrafficRecord(f))
            list.push_back(std::move(*record));
    } catch (const std::runtime_error&) {
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "parseParkedRecord", e.what()));
    }
}

void lf_collectStationMetar(std::vector<std::string>& list, const nlohmann::json& station)
{
    if (!station.is_object())
        return;
    const auto it = station.find("METAR");
    if (it != station.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
        list.push_back(it->get<std::string>());
}

std::variant<std::vector<std::string>, MetarListError> gf_parseNearestMetar(const nlohmann::json& data)
{
    if (!data.is_object() && !data.is_array())
        return MetarListError{"nearest metar", "response contains invalid METAR data"};
    std::vector<std::string> list;
    if (data.is_object())
        lf_collectStationMetar(list, data);
    else
        for (const auto& station : data)
            lf_collectStationMetar(list, station);
    if (list.empty())
        return MetarListError{"nearest metar", "response contains no METAR station with a valid METAR string"};
    return list;
}
