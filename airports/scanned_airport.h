// An airport found by the airport scan, with its stands: the record from which
// every airport file (generated or learned) is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "airports/package_manifest.h"
#include "core/value_types.h"
#include "airports/stand.h"

struct ScannedAirport {
    IcaoCode icao;
    IataCode iata; // written unless unset or "XXX"
    double latitude = 0.0;
    double longitude = 0.0;
    std::string airportName;
    int32_t altitude = 0; // feet
    int32_t qfReal = 0;
    int32_t qfSoft = 0;
    std::filesystem::path bglFile;
    std::string bglPath; // bglFile as UTF-8
    std::string publisher; // "stock", "simaddon", a publisher's name or empty
    std::optional<PackageManifest> manifest;
    bool manifestSearched = false; // the manifest above was looked for (found or not)
    std::vector<Stand> stands;
};
