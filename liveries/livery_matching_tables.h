// The livery matching tables, built from the scanned-livery list at every
// start of the main task and only read in between: liveries by airline and
// model, by model, the set of titles, the models of each category with
// liveries, and (regcode_lists.h) the registration codes. AirlineLiveryIndex
// owns every title; every other table holds views into it. The livery-match
// summary and the airline display names live here as well.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/fnv_hash.h"
#include "liveries/model_database.h"

struct LiveryTitleEntry {
    std::string title;
    uint8_t cargo = 0;
};

using ModelTitleEntries = std::unordered_map<ModelId, std::vector<LiveryTitleEntry>, Fnv1aHash>;
using TitleViews = std::vector<std::string_view>;
using ModelTitles = std::unordered_map<ModelId, TitleViews, Fnv1aHash>;
using AirlineModelTitles = std::unordered_map<AirlineId, ModelTitles, Fnv1aHash>;

// Airline key -> model -> entries in list order. A livery with an operator is
// filed under the joined airline+operator code and under the operator; "ZZZ"
// holds the generic liveries.
extern std::unordered_map<AirlineId, ModelTitleEntries, Fnv1aHash> AirlineLiveryIndex;
// Title -> the canonical view of the same title in AirlineLiveryIndex.
extern std::unordered_map<std::string_view, std::string_view, Fnv1aHash> LiveryTitles;
// [0] passenger, [1] cargo: airline key -> model -> titles.
extern std::array<AirlineModelTitles, 2> AirlineModelLiveries;
// [0] passenger, [1] cargo: model -> titles of all airlines.
extern std::array<ModelTitles, 2> ModelLiveries;
// By Category: the models with liveries, ascending.
extern std::array<std::vector<ModelId>, 7> CategoryModels;

// The build, once per start of the main task. Throws std::runtime_error
// "{} could not be read completely" when the scanned-livery list cannot be
// read; the tables are then left cleared.
void gf_processScannedLiveries();
void lf_buildAirlineLiveryIndex();
void lf_splitAirlineModelLiveries();
void lf_createModelSorted();
void lf_checkCategoryLiveries(Category category);
std::optional<std::vector<ModelId>> lf_genericLiveryModels();
void lf_logGenericLiveries();

bool gf_hasAirlineModelLivery(AirlineId airline, ModelId model);
std::set<AirlineId> gf_airlinesWithLiveries();
// The short name of an airline code ("KLM" -> "KLM", "DLH" -> "Lufthansa"); empty when unknown.
std::string_view gf_airlineDisplayName(std::string_view code);

// Matches accepted at each step of the livery choice (0..8), for the life of
// the process; std::out_of_range for a step of 9 or more.
void gf_countLiveryMatch(size_t step);
int32_t gf_liveryMatchCount(size_t step);
// Logs the step counters and the failed liveries; nothing while all counters are 0.
void gf_logLiveryMatchSummary();
