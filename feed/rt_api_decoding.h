// Decoding the web API's JSON data: traffic answers into live traffic
// records, the parked-traffic answer into parked records and the
// nearest-METAR answer into METAR texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "feed/traffic_records.h"

// The decode target of the traffic reader, reused for every answer.
struct TrafficBatch {
    std::vector<LiveTrafficRecord> records;
    SeenTraffic seen;             // filled only when the context collects
    uint64_t latestTimestamp = 0; // of the last array with a valid time stamp; 0 = none

    void clear();
};

struct MetarListError {
    std::string context; // "nearest metar"
    std::string message;
};

// Every 49-element array member of `data` becomes a record (or nothing).
void gf_decodeRTAPITraffic(const nlohmann::json& data, const TrafficConversionContext& context, TrafficBatch& batch);
void parseTrafficRecord(const nlohmann::json& array, const TrafficConversionContext& context, TrafficBatch& batch);
// Every member keyed by a hexid with an array of at least 7 elements.
std::vector<ParkedTrafficRecord> gf_decodeRTAPIParkedTraffic(const nlohmann::json& data);
void parseParkedRecord(std::string_view key, const nlohmann::json& array, std::vector<ParkedTrafficRecord>& list);
// The "METAR" texts of one station object or an array of them, in order.
std::variant<std::vector<std::string>, MetarListError> gf_parseNearestMetar(const nlohmann::json& data);
void lf_collectStationMetar(std::vector<std::string>& list, const nlohmann::json& station);
// Hexadecimal digits only (no prefix), at least one, fitting 32 bits.
std::optional<uint32_t> lf_parseHexid(std::string_view text);
