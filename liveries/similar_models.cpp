#include "liveries/similar_models.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include <fmt/format.h>

#include "core/log.h"
#include "liveries/livery_matching_tables.h"

ModelIdLists SimilarModels;
ModelIdLists SimilarModelsWithLiveries;
std::unordered_map<AirlineId, ModelIdLists, Fnv1aHash> AirlineSimilarModels;

namespace {

struct CodeParts {
    std::string code, letters, digits;
    uint32_t number = 0;
};

CodeParts lf_codeParts(ModelId model)
{
    CodeParts parts;
    parts.code = gf_modelCodeText(model);
    for (char c : parts.code) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            parts.letters += c;
        } else if (c >= '0' && c <= '9') {
            parts.digits += c;
            parts.number = parts.number * 10u + static_cast<uint32_t>(c - '0');
        }
    }
    return parts;
}

void lf_appendNew(std::vector<ModelId>& into, const std::vector<ModelId>& ids)
{
    for (ModelId id : ids)
        if (std::find(into.begin(), into.end(), id) == into.end())
            into.push_back(id);
}

} // namespace

unsigned gf_editDistance(std::string_view a, std::string_view b)
{
    std::vector<unsigned> previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        previous[j] = static_cast<unsigned>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<unsigned>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const unsigned substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0u : 1u);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::optional<ModelId> lf_closestSimilarModel(ModelId model, const std::vector<ModelId>& candidates)
{
    if (candidates.empty())
        return std::nullopt;
    if (candidates.size() == 1)
        return candidates.front();
    const CodeParts m = lf_codeParts(model);
    std::optional<std::tuple<unsigned, unsigned, unsigned, uint32_t, std::string>> bestKey;
    std::optional<ModelId> best;
    for (ModelId candidate : candidates) {
        CodeParts c = lf_codeParts(candidate);
        const unsigned d1 = gf_editDistance(m.letters, c.letters);
        const unsigned d2 = gf_editDistance(m.code, c.code);
        const unsigned d3 = gf_editDistance(m.digits, c.digits);
        const uint32_t n = m.number > c.number ? m.number - c.number : c.number - m.number;
        if (!((d1 == 0 && d3 < 2) || d2 <= 1))
            continue;
        auto key = std::make_tuple(d1, d2, d3, n, std::move(c.code));
        if (!bestKey || key < *bestKey) {
            bestKey = std::move(key);
            best = candidate;
        }
    }
    return best;
}

void gf_buildSimilarModels()
{
    SimilarModels.clear();
    SimilarModelsWithLiveries.clear();
    AirlineSimilarModels.clear();
    SimilarModels.reserve(2048);
    SimilarModelsWithLiveries.reserve(1024);

    for (const std::vector<std::string>& group : gf_modelDatabase().similarTypeGroups) {
        if (group.size() < 2)
            continue;
        for (const std::string& member : group) {
            const ModelId m = gf_modelCode2Id(member);
            std::vector<ModelId> all, withLiveries;
            for (const std::string& other : group) {
                if (other == member)
                    continue;
                const ModelId o = gf_modelCode2Id(other);
                all.push_back(o);
                if (ModelLiveries[0].contains(o) || ModelLiveries[1].contains(o))
                    withLiveries.push_back(o);
            }
            if (!all.empty())
                lf_appendNew(SimilarModels[m], all);
            if (!withLiveries.empty())
                lf_appendNew(SimilarModelsWithLiveries[m], withLiveries);
        }
    }
    if (SimilarModelsWithLiveries.empty()) {
        gf_logLine("No similar model definitions with installed liveries found");
        return;
    }
    std::map<ModelId, ModelId> closest;
    for (const auto& [m, partners] : SimilarModelsWithLiveries)
        if (const auto c = lf_closestSimilarModel(m, partners))
            closest.emplace(m, *c);

    for (AirlineId airline : gf_airlinesWithLiveries()) {
        ModelIdLists table;
        for (const auto& [m, partners] : SimilarModelsWithLiveries) {
            if (gf_hasAirlineModelLivery(airline, m))
                continue;
            std::vector<ModelId> found;
            for (ModelId p : partners)
                if (gf_hasAirlineModelLivery(airline, p))
                    found.push_back(p);
            if (found.empty())
                continue;
            if (const auto c = lf_closestSimilarModel(m, found))
                table[m] = {*c};
            else
                table[m] = std::move(found);
        }
        if (!table.empty())
            AirlineSimilarModels.emplace(airline, std::move(table));
    }
    gf_logLine(fmt::format("{:5} similar model definitions", SimilarModelsWithLiveries.size()));
    for (const auto& [m, c] : closest)
        SimilarModelsWithLiveries[m] = {c};
}
