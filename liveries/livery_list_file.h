// The scanned-livery list: one LiveryRecord per installed AI livery, stored
// in output\LiveriesScanned_MSFS2020.xml / _MSFS2024.xml (one per simulator).
// The scan writes it; each start of the main task reads it back and builds
// the matching tables from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "liveries/model_database.h"

struct LiveryRecord {
    std::string title;
    std::string registration; // empty when the livery carries none
    AirlOprModel ids;         // airline, operator (0 = none), model, cargo, flag
    int16_t packageRank = 0;  // 1..10, lower wins; 0 when read from the file

    // The record order: airline, operator, model, cargo, title, registration.
    friend bool operator<(const LiveryRecord& a, const LiveryRecord& b) noexcept;
};

// The scan's working vector, written by gf_writeScannedLiveries.
extern std::vector<LiveryRecord> LiveryScanResult;
// The list read back from the file, for the matching tables.
extern std::vector<LiveryRecord> ScannedLiveryList;

// Writes LiveryScanResult to the list file of the chosen simulator through
// "<target>.scan_tmp", validated and then moved or replaced onto the target.
// False (nothing written or logged) for an empty result; false with a log
// line for every failure, the old file untouched.
bool gf_writeScannedLiveries();
// The written file parses, holds root/liveries and `expected` l elements, each
// with a, m and t.
bool lf_validateLiveryListFile(const std::filesystem::path& path, size_t expected);
// Moves the temporary file onto an absent target, or replaces a present one.
bool lf_replaceLiveryListFile(const std::filesystem::path& temp, const std::filesystem::path& target);

// Reads the list file of the chosen simulator into ScannedLiveryList, sorted.
// Every failure is logged (UserRelatedException 51, 52, 533, 999 with their
// code) and gives false; ScannedLiveryList then keeps what it held.
bool gf_readScannedLiveries();
