// What the livery scan's readers need from the model database and from the
// scanned-livery list that this branch does not have yet.
//
// Merge note: LiveryRecord belongs to liveries/livery_list_file.h and the
// three lookups below to liveries/model_database.h (gf_isIcaoAirline reads
// ModelDatabaseTables::icaoAirlineCodes there). When those land, this header
// includes them instead, and livery_scan_seams.cpp goes.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "liveries/model_database.h"

// One installed livery.
struct LiveryRecord {
    std::string title;
    std::string registration; // empty when the livery carries none
    AirlOprModel ids;         // airline, operator (0 = none), model, cargo, flag
    int16_t packageRank = 0;  // 1..10, lower wins; 0 when read from the file
};

// The valid ICAO airline codes of the model database.
std::set<std::string>& gf_scanIcaoAirlineCodes();
// False for the empty text, else membership of the ICAO airline codes.
bool gf_isIcaoAirline(std::string_view code);
// The category of a type code (interned first).
Category gf_modelCodeCategory(std::string_view code);
// The first registration (in sorted order) of at most 5 characters that occurs
// inside `text`.
std::optional<std::string> gf_findShortDbaseRegistration(std::string_view text);

// Merge note: these two belong to liveries/regcode_lists.h. Until it lands,
// no registration-code list is read here: both add no title and give 0.
#include <filesystem>
#include <unordered_set>
// Adds the don't-use titles of the AIG registration-code list.
size_t gf_readDontUseTitles(const std::filesystem::path& path, std::unordered_set<std::string>& dontUse);
// Adds the don't-use titles of the user's files in input\my_regcodes.
size_t gf_readDontUseTitlesInFolder(std::unordered_set<std::string>& dontUse);
