// An airport found by the airport scan, with its stands: the record from which
// airport files are written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/value_types.h"
#include "parking/stand.h"

struct ScannedAirport {
    IcaoCode icao;
    IataCode iata;
    double latitude = 0.0;
    double longitude = 0.0;
    std::string airportName;
    int32_t altitude = 0; // feet
    int32_t qfReal = 0;
    int32_t qfSoft = 0;
    std::filesystem::path bglFile;
    std::string bglPath;
    std::string publisher;
    std::vector<Stand> stands;
};
