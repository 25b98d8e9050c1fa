#include "engine/livery_choice.h"

#include <cctype>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft.h"
#include "simlink/user_aircraft.h"
#include "liveries/regcode_lists.h"
#include "liveries/similar_models.h"
#include "engine/traffic_aircraft.h"

namespace {

const std::string c_indent(16, ' ');

AirlineId lf_pvtId()
{
    static const AirlineId id = gf_airlineCode2Id("PVT");
    return id;
}

AirlineId lf_zzzId()
{
    static const AirlineId id = gf_airlineCode2Id("ZZZ");
    return id;
}

const TitleViews* lf_airlineModelTitles(size_t table, AirlineId airline, ModelId model)
{
    const AirlineModelTitles& byAirline = AirlineModelLiveries.at(table);
    const auto a = byAirline.find(airline);
    if (a == byAirline.end())
        return nullptr;
    const auto m = a->second.find(model);
    return m == a->second.end() ? nullptr : &m->second;
}

bool lf_setTitle(IdentityAndModel& aircraft, std::optional<std::string_view> title)
{
    if (!title)
        return false;
    aircraft.liveryTitle = *title;
    return true;
}

bool lf_isSmall(const AircraftBase& aircraft)
{
    const auto category = aircraft.identity.category;
    return category == Category::Light || category == Category::TwoProps || category == Category::Bizjet ||
           category == Category::Rotorcraft;
}

// Whether the matching depth the user chose reaches `step` for this aircraft
// at any altitude: a small aircraft reaches the type steps 5-7 wherever the
// generic steps run (depth 4 and up), a private one its generic airline
// (step 4) from depth 2. A step beyond is one that only the deeper matching
// high above the TCAS level could reach.
bool lf_stepWithinDepth(const AircraftBase& aircraft, size_t step, int32_t depth)
{
    if (step <= 1)
        return true;
    if (step == 4 && aircraft.identity.ids.airline == lf_pvtId())
        return depth >= 2;
    if (step >= 5 && step <= 7 && lf_isSmall(aircraft))
        return depth >= 4;
    return static_cast<int64_t>(step) <= depth;
}

bool lf_containsIgnoringCase(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < part.size() && std::toupper(static_cast<unsigned char>(text[i + j])) ==
                                      std::toupper(static_cast<unsigned char>(part[j])))
            ++j;
        if (j == part.size())
            return true;
    }
    return false;
}

// Steps 0/1: the registration's livery, accepted at 0 for a unique code.
bool lf_registrationSteps(AircraftBase& aircraft, bool (*accept)(AircraftBase&, size_t))
{
    if (!lf_matchRegistration(aircraft))
        return false;
    const size_t step = UniqueRegcodes.contains(aircraft.identity.registration) ? 0 : 1;
    return accept(aircraft, step);
}

// Steps 4 (PVT as generic), 2 and 3 up to the depth, then the generic steps.
bool lf_airlineSteps(AircraftBase& aircraft, AirlOprModel key, int32_t depth, bool extraCargo,
                     bool (*accept)(AircraftBase&, size_t))
{
    if (key.airline == lf_pvtId()) {
        AirlOprModel generic = key;
        generic.airline = lf_zzzId();
        generic.oper = 0;
        if (lf_matchAirlineModel(aircraft, generic) && accept(aircraft, 4))
            return true;
    }
    if (lf_matchAirlineModel(aircraft, key) && accept(aircraft, 2))
        return true;
    if (depth < 3)
        return false;
    if (lf_matchAirlineSimilarModel(aircraft, key) && accept(aircraft, 3))
        return true;
    if (depth < 4)
        return false;
    size_t step = 0;
    return lf_matchGenericSteps(aircraft, depth, extraCargo, step) && accept(aircraft, step);
}

} // namespace

std::optional<std::string_view> lf_pickRandomTitle(const TitleViews& titles)
{
    if (titles.empty())
        return std::nullopt;
    // A title the simulator refused is passed over like a special one, so
    // the other liveries of the same airline and type stay in reach.
    const auto excluded = [](std::string_view title) {
        return SpecialLiveryTitles.contains(title) || gf_isFailedLiveryTitle(title);
    };
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string_view title = titles[gf_randomIndex(titles.size())];
        if (!excluded(title))
            return title;
    }
    std::optional<std::string_view> chosen;
    size_t k = 0;
    for (std::string_view title : titles) {
        if (excluded(title))
            continue;
        ++k;
        if (gf_randomIndex(k) == 0)
            chosen = title;
    }
    return chosen;
}

bool lf_matchRegistration(AircraftBase& aircraft)
{
    if (aircraft.identity.registration.empty())
        return false;
    const auto it = RegcodeLiveries.find(aircraft.identity.registration);
    return it != RegcodeLiveries.end() && lf_setTitle(aircraft.identity, it->second);
}

bool lf_pickAirlineModelTitle(AircraftBase& aircraft, size_t table, const AirlOprModel& key)
{
    const TitleViews* titles = lf_airlineModelTitles(table, key.airline, key.model);
    return titles != nullptr && lf_setTitle(aircraft.identity, lf_pickRandomTitle(*titles));
}

bool lf_pickTitleContainingAirlineName(AircraftBase& aircraft, size_t table, const AirlOprModel& key,
                                       std::string_view airlineCode)
{
    const std::string_view name = gf_airlineDisplayName(airlineCode);
    if (name.empty())
        return false;
    const TitleViews* titles = lf_airlineModelTitles(table, key.airline, key.model);
    if (titles == nullptr)
        return false;
    for (std::string_view title : *titles)
        if (lf_containsIgnoringCase(title, name) && !gf_isFailedLiveryTitle(title))
            return lf_setTitle(aircraft.identity, title);
    return false;
}

bool lf_matchAirlineOperatorModel(AircraftBase& aircraft, const AirlOprModel& key, size_t table)
{
    if (key.oper == 0)
        return lf_pickAirlineModelTitle(aircraft, table, key);
    const std::string airlineCode = gf_airlineCodeText(key.airline);
    const std::string operatorCode = gf_airlineCodeText(key.oper);
    AirlOprModel joined = key;
    joined.airline = gf_airlineCode2Id(airlineCode + operatorCode);
    AirlOprModel byOperator = key;
    byOperator.airline = key.oper;
    return (joined.airline != 0 && lf_pickAirlineModelTitle(aircraft, table, joined)) ||
           lf_pickTitleContainingAirlineName(aircraft, table, byOperator, airlineCode) ||
           lf_pickTitleContainingAirlineName(aircraft, table, key, operatorCode) ||
           lf_pickAirlineModelTitle(aircraft, table, byOperator) || lf_pickAirlineModelTitle(aircraft, table, key);
}

bool lf_matchAirlineModel(AircraftBase& aircraft, const AirlOprModel& key)
{
    if (lf_matchAirlineOperatorModel(aircraft, key, key.cargo ? 1 : 0))
        return true;
    return key.cargo && lf_matchAirlineOperatorModel(aircraft, key, 0);
}

bool lf_pickModelTitle(AircraftBase& aircraft, ModelId model, size_t table)
{
    const ModelTitles& byModel = ModelLiveries.at(table);
    const auto it = byModel.find(model);
    return it != byModel.end() && lf_setTitle(aircraft.identity, lf_pickRandomTitle(it->second));
}

bool lf_matchAirlineSimilarModel(AircraftBase& aircraft, const AirlOprModel& key)
{
    const AirlineId airline = key.oper != 0 ? key.oper : key.airline;
    const auto a = AirlineSimilarModels.find(airline);
    if (a == AirlineSimilarModels.end())
        return false;
    const auto m = a->second.find(key.model);
    if (m == a->second.end())
        return false;
    gf_shuffleIfRandom(m->second);
    for (ModelId similar : m->second) {
        if (gf_modelCategory(similar) != aircraft.identity.category)
            continue;
        AirlOprModel other = key;
        other.model = similar;
        if (lf_matchAirlineOperatorModel(aircraft, other, key.cargo ? 1 : 0))
            return true;
        if (key.cargo && lf_matchAirlineOperatorModel(aircraft, other, 0))
            return true;
    }
    return false;
}

bool lf_matchGenericSteps(AircraftBase& aircraft, int32_t depth, bool extraCargo, size_t& step)
{
    if (!aircraft.identity.liveryTitle.empty())
        return false;
    const size_t cargo = aircraft.identity.ids.cargo ? 1 : 0;
    const size_t cargoOrExtra = cargo || extraCargo ? 1 : 0;
    const bool small = lf_isSmall(aircraft);
    const ModelId model = aircraft.identity.ids.model;

    AirlOprModel generic = aircraft.identity.ids;
    generic.airline = generic.oper = lf_zzzId();
    generic.cargo = static_cast<uint8_t>(cargoOrExtra);
    if (lf_matchAirlineModel(aircraft, generic)) {
        step = 4;
        return true;
    }
    if ((depth >= 5 || small) && lf_pickModelTitle(aircraft, model, cargo)) {
        step = 5;
        return true;
    }
    if (depth >= 6 || small) {
        if (const auto it = SimilarModelsWithLiveries.find(model); it != SimilarModelsWithLiveries.end()) {
            gf_shuffleIfRandom(it->second);
            for (ModelId similar : it->second)
                if (lf_pickModelTitle(aircraft, similar, cargo)) {
                    step = 6;
                    return true;
                }
        }
    }
    if (depth >= 7 || small) {
        std::vector<ModelId> models = CategoryModels.at(static_cast<size_t>(gf_modelCategory(model)));
        gf_shuffleIfRandom(models);
        for (ModelId other : models)
            if (lf_pickModelTitle(aircraft, other, cargoOrExtra) || lf_pickModelTitle(aircraft, other, 1 - cargoOrExtra)) {
                step = 7;
                return true;
            }
    }
    if (depth == 8) {
        static const ModelId b738 = gf_modelCode2Id("B738");
        static const ModelId a320 = gf_modelCode2Id("A320");
        if (lf_pickModelTitle(aircraft, b738, cargo) || lf_pickModelTitle(aircraft, a320, cargo)) {
            step = 8;
            return true;
        }
    }
    return false;
}

bool lf_acceptLiveMatch(AircraftBase& aircraft, size_t step)
{
    if (gf_isFailedLiveryTitle(aircraft.identity.liveryTitle)) {
        aircraft.identity.liveryTitle = {};
        return false;
    }
    gf_countLiveryMatch(step);
    gf_logLine(fmt::format("{}{} ={}= {}", c_indent, lf_formatAcIdentity(aircraft), step, aircraft.identity.liveryTitle));
    aircraft.identity.isFsltlLivery = aircraft.identity.liveryTitle.find("FSLTL_") != std::string_view::npos;
    // Each accepted match says afresh whether the livery lies beyond the
    // chosen depth: a flag of an earlier match never outlives it.
    aircraft.identity.matchedBeyondDepth =
        lf_stepWithinDepth(aircraft, step, gf_parametersSnapshot()->MATCHING_DEPTH) ? 0 : 1;
    return true;
}

bool lf_acceptStaticMatch(AircraftBase& aircraft, size_t step)
{
    if (gf_isFailedLiveryTitle(aircraft.identity.liveryTitle)) {
        aircraft.identity.liveryTitle = {};
        return false;
    }
    gf_logLine(fmt::format("{}{} ={}= {}", c_indent, lf_formatAcIdentity(aircraft), step, aircraft.identity.liveryTitle));
    return true;
}

bool gf_pickLiveryLiveAc(AircraftBase& aircraft, double altitudeFt)
{
    const auto params = gf_parametersSnapshot();
    int32_t depth = params->MATCHING_DEPTH;
    const double tcasFt = params->TCAS_FL * 100.0;
    if (gf_publishedUserAcPosition()->altitude > tcasFt && altitudeFt > tcasFt)
        depth = 8;
    if (lf_registrationSteps(aircraft, &lf_acceptLiveMatch))
        return true;
    if (depth < 2)
        return false;
    return lf_airlineSteps(aircraft, aircraft.identity.ids, depth, false, &lf_acceptLiveMatch);
}

bool gf_pickLiveryStaticAc(AircraftBase& aircraft, std::string_view planCallsign, uint8_t planCargo)
{
    if (!aircraft.identity.liveryTitle.empty()) {
        gf_logLine(fmt::format("{}{} =s= {}", c_indent, lf_formatAcIdentity(aircraft), aircraft.identity.liveryTitle));
        return true;
    }
    const int32_t depth = gf_parametersSnapshot()->MATCHING_DEPTH;
    AirlOprModel key = aircraft.identity.ids;
    key.cargo = planCargo;
    if (!aircraft.identity.registration.empty() && lf_registrationSteps(aircraft, &lf_acceptStaticMatch))
        return true;
    if (depth >= 2 && lf_airlineSteps(aircraft, key, depth, planCargo != 0, &lf_acceptStaticMatch))
        return true;
    gf_logLine(fmt::format("{:14}: {} no livery match ...", planCallsign,
                           lf_formatWithAirlOprModel("{:8} {} {}", aircraft.identity.callsign, aircraft.identity.registration, aircraft.identity.ids)));
    return false;
}

void gf_reportFailedLivery(const AircraftBase& aircraft)
{
    gf_reportFailedLivery(aircraft.identity.callsign, aircraft.identity.liveryTitle, aircraft.identity.ids);
}
