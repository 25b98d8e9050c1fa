// Similar aircraft types with installed liveries, from the model database's
// groups of similar types: per type its partners, the partners that have
// liveries (reduced to the closest one where one qualifies), and per airline
// the partner types of which it has liveries. Rebuilt with the matching tables.
#pragma once

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/fnv_hash.h"
#include "liveries/model_database.h"

using ModelIdLists = std::unordered_map<ModelId, std::vector<ModelId>, Fnv1aHash>;

extern ModelIdLists SimilarModels;
extern ModelIdLists SimilarModelsWithLiveries;
extern std::unordered_map<AirlineId, ModelIdLists, Fnv1aHash> AirlineSimilarModels;

void gf_buildSimilarModels();
// Levenshtein distance over bytes.
unsigned gf_editDistance(std::string_view a, std::string_view b);
// The candidate whose code is closest to the model's: same letters and at most
// one digit apart, or at most one edit apart; none when no candidate is.
std::optional<ModelId> lf_closestSimilarModel(ModelId model, const std::vector<ModelId>& candidates);
