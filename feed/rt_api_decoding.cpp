// Decoding of the web API's traffic, parked-traffic and METAR data.
#include "feed/rt_api_decoding.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "core/log.h"

namespace {

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
        if (value.is_array() && value.size() == 49)
            parseTrafficRecord(value, context, batch);
    }
}

void parseTrafficRecord(const nlohmann::json& array, const TrafficConversionContext& context, TrafficBatch& batch)
{
    try {
        const std::optional<double> timestamp = lf_number(array, 10);
        if (!lf_validTime(timestamp))
            return;
        batch.latestTimestamp = static_cast<uint64_t>(std::llround(*timestamp));
        const std::optional<uint32_t> hexid = lf_parseHexid(lf_text(array, 0));
        if (!hexid || !array[0].is_string())
            return;

        ParsedTrafficFields f;
        f.timestamp = *timestamp;
        f.hexid = *hexid;
        f.lat = lf_numberOr(array, 1, 0.0);
        f.lon = lf_numberOr(array, 2, 0.0);
        f.track = lf_numberOr(array, 3, 0.0);
        f.altitude = lf_numberOr(array, 4, 0.0);
        f.groundSpeed = lf_numberOr(array, 5, 0.0);
        f.squawk = lf_text(array, 6);
        f.type = lf_text(array, 8);
        f.registration = lf_text(array, 9);
        f.origin = lf_text(array, 11);
        f.destination = lf_text(array, 12);
        f.callsign = lf_text(array, 13);
        f.verticalSpeed = lf_numberOr(array, 15, 0.0);
        f.source = lf_text(array, 17);
        f.tas = lf_numberOr(array, 20, -1.0);
        f.roll = lf_numberOr(array, 23, 0.0);
        f.trueHeading = lf_numberOr(array, 25, 0.0);
        f.category = lf_text(array, 28);
        f.airline = lf_text(array, 48);

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
        if (value.is_array() && value.size() >= 7)
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
        const std::optional<double> time = lf_number(array, 5);
        if (!lf_validTime(time))
            return;
        ParkedTrafficFields f;
        f.hexid = *hexid;
        f.lat = lf_numberOr(array, 0, 0.0);
        f.lon = lf_numberOr(array, 1, 0.0);
        f.stand = lf_text(array, 2);
        f.type = lf_text(array, 3);
        f.registration = lf_text(array, 4);
        f.time = std::llround(*time);
        f.callsign = lf_text(array, 6);
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
