#include "liveries/livery_matching_tables.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>

#include "core/control_calls.h"
#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "liveries/category.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_memory.h"
#include "liveries/regcode_lists.h"
#include "liveries/similar_models.h"

namespace fs = std::filesystem;

std::unordered_map<AirlineId, ModelTitleEntries, Fnv1aHash> AirlineLiveryIndex;
std::unordered_map<std::string_view, std::string_view, Fnv1aHash> LiveryTitles;
std::array<AirlineModelTitles, 2> AirlineModelLiveries;
std::array<ModelTitles, 2> ModelLiveries;
std::array<std::vector<ModelId>, 7> CategoryModels;

namespace {

std::array<int32_t, 9> LiveryMatchCounters{};

constexpr float c_loadFactor = 0.7f;

template <typename Table>
void lf_clearAndReserve(Table& table, size_t entries)
{
    table.clear();
    table.max_load_factor(c_loadFactor);
    table.reserve(entries);
}

void lf_appendEntry(AirlineId key, ModelId model, const LiveryRecord& livery)
{
    AirlineLiveryIndex[key][model].push_back({livery.title, livery.ids.cargo});
}

// The codes of the ids, in lines of up to 20 codes that begin with two blanks.
void lf_logModelCodes(const std::vector<ModelId>& models)
{
    for (size_t first = 0; first < models.size(); first += 20) {
        std::string line = "  ";
        for (size_t i = first; i < std::min(models.size(), first + 20); ++i) {
            if (i != first)
                line += ',';
            line += gf_modelCodeText(models[i]);
        }
        gf_logLine(line);
    }
}

// The check box of a category and its log line when nothing is installed.
struct CategoryBox {
    CheckBoxParameter* box;
    const char* switchedOff;
};

std::optional<CategoryBox> lf_categoryBox(Category category)
{
    switch (category) {
    case Category::Light:
        return CategoryBox{&LIGHT_AIRCRAFT,
                           "{} temporarily switched off because you do not have light aircraft installed"};
    case Category::TwoProps:
        return CategoryBox{&TWO_PROPS, "{} temporarily switched off because you do not have two-prop aircraft installed"};
    case Category::HighPerf:
        return CategoryBox{&HIGH_PERF_AIRCRAFT,
                           "{} temporarily switched off because you do not have High Perf aircraft installed"};
    case Category::Rotorcraft:
        return CategoryBox{&HELICOPTERS, "{} temporarily switched off because you do not have Helicopters installed"};
    default:
        return std::nullopt;
    }
}

void lf_enableBox(CheckBoxParameter& box, bool enabled)
{
    gf_changeControl([&box, enabled] {
        if (box.window != nullptr)
            gf_enableControlWindow(box.window, enabled);
    });
}

} // namespace

void gf_countLiveryMatch(size_t step)
{
    ++LiveryMatchCounters.at(step);
}

int32_t gf_liveryMatchCount(size_t step)
{
    return LiveryMatchCounters.at(step);
}

void lf_buildAirlineLiveryIndex()
{
    lf_clearAndReserve(AirlineLiveryIndex, 2048);
    // Liveries without an operator first, then those with one; each key's
    // vectors keep list order, wherever in the list a key comes back.
    for (const LiveryRecord& livery : ScannedLiveryList) {
        if (livery.ids.oper != 0)
            continue;
        if (livery.ids.airline == 0 || livery.ids.model == 0) {
            gf_logLine(fmt::format("Invalid livery index: airl={}, opr={}, model={}, title={}", livery.ids.airline,
                                   livery.ids.oper, livery.ids.model, livery.title));
            continue;
        }
        lf_appendEntry(livery.ids.airline, livery.ids.model, livery);
    }
    for (const LiveryRecord& livery : ScannedLiveryList) {
        if (livery.ids.oper == 0)
            continue;
        if (livery.ids.airline == 0 || livery.ids.model == 0) {
            gf_logLine(fmt::format("Invalid operator livery index: airl={}, opr={}, model={}, title={}",
                                   livery.ids.airline, livery.ids.oper, livery.ids.model, livery.title));
            continue;
        }
        const AirlineId joined =
            gf_airlineCode2Id(gf_airlineCodeText(livery.ids.airline) + gf_airlineCodeText(livery.ids.oper));
        if (joined != 0)
            lf_appendEntry(joined, livery.ids.model, livery);
        lf_appendEntry(livery.ids.oper, livery.ids.model, livery);
    }
}

void lf_splitAirlineModelLiveries()
{
    for (const auto& [key, models] : AirlineLiveryIndex) {
        std::array<ModelTitles, 2> split;
        for (const auto& [model, entries] : models) {
            std::array<TitleViews, 2> titles;
            for (const LiveryTitleEntry& entry : entries)
                if (!entry.title.empty())
                    titles[entry.cargo ? 1 : 0].push_back(entry.title);
            for (size_t t = 0; t < 2; ++t)
                if (!titles[t].empty())
                    split[t].emplace(model, std::move(titles[t]));
        }
        for (size_t t = 0; t < 2; ++t)
            if (!split[t].empty())
                AirlineModelLiveries[t].emplace(key, std::move(split[t]));
    }
}

void lf_createModelSorted()
{
    struct Element {
        std::string_view title;
        ModelId model;
        uint8_t cargo;
    };
    std::vector<Element> elements;
    elements.reserve(30000);
    for (const auto& [key, models] : AirlineLiveryIndex)
        for (const auto& [model, entries] : models)
            for (const LiveryTitleEntry& entry : entries)
                if (!entry.title.empty())
                    elements.push_back({entry.title, model, entry.cargo});
    std::stable_sort(elements.begin(), elements.end(),
                     [](const Element& a, const Element& b) { return a.model < b.model; });
    std::array<TitleViews, 2> titles;
    for (size_t i = 0; i < elements.size(); ++i) {
        titles[elements[i].cargo ? 1 : 0].push_back(elements[i].title);
        if (i + 1 == elements.size() || elements[i + 1].model != elements[i].model) {
            for (size_t t = 0; t < 2; ++t) {
                if (!titles[t].empty())
                    ModelLiveries[t].emplace(elements[i].model, std::move(titles[t]));
                titles[t].clear();
            }
        }
    }
}

void lf_checkCategoryLiveries(Category category)
{
    std::array<size_t, 2> titleCounts{};
    std::vector<ModelId> models;
    for (size_t t = 0; t < 2; ++t)
        for (const auto& [model, titles] : ModelLiveries[t])
            if (gf_modelCategory(model) == category) {
                models.push_back(model);
                titleCounts[t] += titles.size();
            }
    const std::string& name = gf_categoryName(category);
    const std::optional<CategoryBox> box = lf_categoryBox(category);
    if (titleCounts[0] == 0 && titleCounts[1] == 0) {
        gf_logLine(fmt::format("Category {}: No livery found", name));
        if (box) {
            if (box->box->value) {
                box->box->value = false;
                box->box->save();
                gf_changeControl([b = box->box] { b->showValue(); });
                gf_logLine(fmt::format(fmt::runtime(box->switchedOff), box->box->name));
            }
            lf_enableBox(*box->box, false);
        }
    } else {
        std::string cargo;
        if (titleCounts[1] > 0)
            cargo = fmt::format(" and {} cargo liverie{}", titleCounts[1], titleCounts[1] > 1 ? "s" : "");
        gf_logLine(fmt::format("Category {}: {} pax liverie{}{}", name, titleCounts[0],
                               gf_pluralSuffix(static_cast<int64_t>(titleCounts[0])), cargo));
        std::sort(models.begin(), models.end());
        models.erase(std::unique(models.begin(), models.end()), models.end());
        std::vector<ModelId>& categoryModels = CategoryModels[static_cast<size_t>(category)];
        categoryModels.insert(categoryModels.end(), models.begin(), models.end());
        lf_logModelCodes(models);
        if (box)
            lf_enableBox(*box->box, true);
    }
}

std::optional<std::vector<ModelId>> lf_genericLiveryModels()
{
    const std::optional<AirlineId> zzz = gf_findAirlineId("ZZZ");
    const auto it = zzz ? AirlineLiveryIndex.find(*zzz) : AirlineLiveryIndex.end();
    if (it == AirlineLiveryIndex.end())
        return std::nullopt;
    std::vector<ModelId> models;
    for (const auto& entry : it->second)
        models.push_back(entry.first);
    return models;
}

void lf_logGenericLiveries()
{
    std::optional<std::vector<ModelId>> models = lf_genericLiveryModels();
    if (!models) {
        gf_logLine("No generic liveries");
        return;
    }
    std::sort(models->begin(), models->end());
    models->erase(std::unique(models->begin(), models->end()), models->end());
    gf_logLine(fmt::format("{} model{} have a generic livery", models->size(),
                           gf_pluralSuffix(static_cast<int64_t>(models->size()))));
    lf_logModelCodes(*models);
}

bool gf_hasAirlineModelLivery(AirlineId airline, ModelId model)
{
    const auto it = AirlineLiveryIndex.find(airline);
    return it != AirlineLiveryIndex.end() && it->second.contains(model);
}

std::set<AirlineId> gf_airlinesWithLiveries()
{
    std::set<AirlineId> airlines;
    for (const auto& entry : AirlineLiveryIndex)
        airlines.insert(entry.first);
    return airlines;
}

std::string_view gf_airlineDisplayName(std::string_view code)
{
    static const std::unordered_map<std::string_view, std::string_view, Fnv1aHash> names{
        {"AAL", "American"},     {"AAR", "Asiana"},        {"AAY", "Allegiant"},      {"ACA", "Air Canada"},
        {"AFR", "Air France"},   {"AIC", "Air India"},     {"ANA", "ANA"},            {"ANZ", "Air New Zealand"},
        {"ASA", "Alaska"},       {"ASH", "Mesa"},          {"AUA", "Austrian"},       {"AVA", "Avianca"},
        {"BAW", "British Airways"}, {"BEL", "Brussels"},   {"BOX", "AeroLogic"},      {"CAI", "Corendon"},
        {"CCA", "Air China"},    {"CES", "China Eastern"}, {"CFE", "BA CityFlyer"},   {"CHH", "Hainan"},
        {"CPA", "Cathay"},       {"CSN", "China Southern"}, {"DAE", "DHL Aero"},      {"DAL", "Delta"},
        {"DHK", "DHL Air"},      {"DLH", "Lufthansa"},     {"EDV", "Endeavor"},       {"EIN", "Aer Lingus"},
        {"ETH", "Ethiopian"},    {"ETD", "Etihad"},        {"EVA", "EVA Air"},        {"EZY", "easyJet"},
        {"FDX", "FedEx"},        {"FFT", "Frontier"},      {"FIN", "Finnair"},        {"FJO", "Flexjet"},
        {"GJS", "GoJet"},        {"IBE", "Iberia"},        {"JAL", "Japan Airlines"}, {"JBU", "JetBlue"},
        {"JIA", "PSA Airlines"}, {"JZA", "Jazz"},          {"KAL", "Korean Air"},     {"KLC", "Cityhopper"},
        {"KLM", "KLM"},          {"LAN", "LATAM"},         {"LOT", "LOT"},            {"LRC", "Avianca"},
        {"NKS", "Spirit"},       {"PDT", "Piedmont"},      {"PRM", "Prime Air"},      {"QFA", "Qantas"},
        {"QLK", "QantasLink"},   {"QTR", "Qatar"},         {"QXE", "Horizon"},        {"RPA", "Republic"},
        {"RYR", "Ryanair"},      {"SAS", "Scandinavian"},  {"SIA", "Singapore"},      {"SKW", "SkyWest"},
        {"SWA", "Southwest"},    {"SWR", "Swiss"},         {"TAP", "TAP"},            {"THY", "Turkish"},
        {"TVF", "Transavia"},    {"UAL", "United"},        {"UAE", "Emirates"},       {"UPS", "UPS"},
        {"VIR", "Virgin Atlantic"}, {"VJT", "VistaJet"},   {"VLG", "Vueling"},        {"WJA", "WestJet"},
    };
    const auto it = names.find(code);
    return it == names.end() ? std::string_view() : it->second;
}

void gf_logLiveryMatchSummary()
{
    const std::vector<std::string> failed = gf_failedLiveryLines();
    if (std::none_of(LiveryMatchCounters.begin(), LiveryMatchCounters.end(), [](int32_t c) { return c > 0; }))
        return;
    std::vector<std::string> lines;
    lines.reserve(256);
    lines.push_back(gf_makeBanner(28, 36, true, false, "live traffic livery matching summary"));
    lines.emplace_back("Matches at step: ");
    for (size_t step = 0; step < LiveryMatchCounters.size(); ++step)
        lines.push_back(fmt::format("  {}: {}", step, LiveryMatchCounters[step]));
    if (!failed.empty()) {
        lines.emplace_back("\nCould not be created");
        lines.insert(lines.end(), failed.begin(), failed.end());
    }
    lines.push_back(gf_makeBanner(100, 0, false, true, ""));
    for (const std::string& line : lines)
        gf_logLine(line);
}

void gf_processScannedLiveries()
{
    gf_logLine("\n+++++ processing scanned liveries +++++");
    lf_clearAndReserve(SpecialLiveryTitles, 4096);
    for (size_t c = 0; c < CategoryModels.size(); ++c) {
        CategoryModels[c].clear();
        const auto category = static_cast<Category>(c);
        CategoryModels[c].reserve(category == Category::Light                                    ? 64
                                  : category == Category::Rotorcraft || category == Category::HighPerf ? 32
                                                                                                       : 128);
    }
    // The livery scan empties output\errors when it starts and names its own
    // reports there in the log: remove only the two reports of this build.
    std::error_code ec;
    fs::remove(g_outputErrorsFolder / L"InlineRegcodes.txt", ec);
    fs::remove(g_outputErrorsFolder / L"MissingCustomRepaints.txt", ec);

    lf_clearAndReserve(ModelLiveries[0], 324);
    lf_clearAndReserve(ModelLiveries[1], 75);
    lf_clearAndReserve(RegcodeLiveries, 36000);
    lf_clearAndReserve(LiveryRegcodes, 36000);
    lf_clearAndReserve(LiveryTitles, 30000);
    // Every table that holds views of the titles is emptied before the index
    // that owns them; remembered liveries would point into the old index.
    lf_clearAndReserve(AirlineModelLiveries[0], 2048);
    lf_clearAndReserve(AirlineModelLiveries[1], 256);
    gf_clearLiveryMemory();
    AirlineLiveryIndex.clear();
    AirlineLiveryIndex.max_load_factor(c_loadFactor);
    SpecialLiveryTitles.clear();
    UniqueRegcodes.clear();

    if (!gf_readScannedLiveries())
        throw std::runtime_error(
            fmt::format("{} could not be read completely", wide_to_utf8(gf_liveriesScannedPath().wstring())));
    gf_postGuiUpdate(GuiUpdate::LiveryCount{ScannedLiveryList.size()});
    lf_buildAirlineLiveryIndex();

    for (const auto& [key, models] : AirlineLiveryIndex)
        for (const auto& [model, entries] : models)
            for (const LiveryTitleEntry& entry : entries)
                if (!entry.title.empty())
                    LiveryTitles.try_emplace(entry.title, entry.title);
    gf_logLine(fmt::format("{:5} livery titles", LiveryTitles.size()));

    lf_splitAirlineModelLiveries();
    lf_processInlineRegcodes();
    lf_processOfflineRegcodes();
    gf_logLine(fmt::format("{:5} registration codes", RegcodeLiveries.size()));
    lf_createModelSorted();
    gf_logLine(fmt::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models",
                           AirlineLiveryIndex.size(), ModelLiveries[0].size(), ModelLiveries[1].size()));
    gf_buildSimilarModels();
    gf_logLine(" ");
    for (Category c : {Category::Heavy, Category::Large, Category::Bizjet, Category::TwoProps, Category::Light,
                       Category::Rotorcraft, Category::HighPerf})
        lf_checkCategoryLiveries(c);
    lf_logGenericLiveries();
    gf_repaintHeader();
    std::vector<LiveryRecord>().swap(ScannedLiveryList);
    gf_logLine("----- end of processing scanned liveries ------\n");
}
