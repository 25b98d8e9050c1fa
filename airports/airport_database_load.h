// Loading the airport database from input/airports.enc and finding the
// airport at a position.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "airports/airport_database.h"
#include "core/value_types.h"

struct AirportDatabaseLoad {
    size_t count = 0;
    std::optional<std::string> error; // set when the load failed
};
// Loads the database once per process; a later call answers the count without
// reading again. A failed load leaves the database empty and may be retried.
AirportDatabaseLoad gf_loadAirportDatabase();

// Reads and checks one airports data set: the records sorted by code with no
// duplicates, or the error text.
std::variant<std::vector<AirportDbRecord>, std::string> gf_readAirportsDataSet(const std::filesystem::path& path);

// The airport whose centre lies within 5 nm of the position; among several,
// the one with an airport file stand nearest to the position (the closest
// centre when none has one).
std::optional<AirportDbRecord> gf_findAirportAt(const LatLon& position);

// Tests and benchmarks: replaces the database with these records (sorted by
// the caller) and marks it loaded; an empty vector with loaded false returns
// it to the state before the first load.
void gf_installAirportDatabase(std::vector<AirportDbRecord> records, bool loaded);
