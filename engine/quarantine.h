// The quarantine of addresses whose reports cannot be trusted for a while.
// Main task only.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

struct TrafficSample;

// An address whose ground track jumped (kind 0) or whose departure failed
// (kind 1): it is not shown again until its samples are consistent.
struct QuarantineEntry {
    double lat = 0.0;
    double lon = 0.0;
    double timestamp = 0.0; // seconds
    int32_t consistentCount = 0;
    uint8_t kind = 0;
    int32_t since = 0; // engine clock when the address was quarantined
};
using QuarantineMap = std::unordered_map<uint32_t, QuarantineEntry>;
QuarantineMap& gf_quarantineMap();

// Feeds the sample to the address's quarantine. True when the address is not
// (or no longer) quarantined.
bool releaseQuarantine(uint32_t hexid, const TrafficSample& sample, double timestamp, const std::string& callsign);
