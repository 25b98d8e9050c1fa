#include "simlink/user_model.h"

#include <array>
#include <utility>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/units.h"
#include "core/value_types.h"
#include "liveries/category.h"
#include "liveries/model_database.h"
#include "simlink/sim_link_state.h"
#include "simlink/sim_packet.h"
#include "simlink/simconnect_ids.h"
#include "simlink/user_aircraft.h"

namespace {

struct ModelTitleRow {
    std::string_view model;
    std::string_view titleContains;
    std::string_view result;
};

constexpr std::array<ModelTitleRow, 8> kModelAndTitle{{
    {"", "A340-300", "A343"},
    {"737", "DG 737-600", "B736"},
    {"737", "DG 737-700", "B737"},
    {"737", "DG 737-800", "B738"},
    {"737", "DG 737-900", "B739"},
    {"BA46", "146-100", "B461"},
    {"BA46", "146-200", "B462"},
    {"BA46", "146-300", "B463"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kModels{{
    {"414AW", "C414"},    {"777", "B772"},     {"A220-300", "BCS3"}, {"A330-200 (RR)", "A332"},
    {"A350-900", "A359"}, {"A380", "A388"},    {"BF109", "BF19"},    {"F-14A", "F14"},
    {"F-14B", "F14"},     {"F6F-5", "HCAT"},   {"GL6T", "GLEX"},     {"HA420", "HDJT"},
    {"Jaguar", "JAGR"},   {"KODIAK", "K100"},  {"MD11F", "MD11"},    {"N738B", "B38M"},
    {"P38L", "P38"},      {"Rafale C", "RFAL"}, {"RJ100", "RJ1H"},   {"SPITFIRE", "SPIT"},
    {"SR-71", "SR71"},    {"UH-1H", "UH1"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kTitlePrefixes{{
    {"Aerosoft A319", "A319"},
    {"Aerosoft A320", "A320"},
    {"Aerosoft A321", "A321"},
}};

// The radius table's value of a model code.
double lf_radiusOfModel(std::string_view code)
{
    return gf_wingspanOfModel(gf_modelCode2Id(code));
}

void lf_onUserAcModelChecked(const void* packet, uint32_t cbData)
{
    if (!gf_checkSimObjectData(USER_AC_MODEL, cbData))
        return;
    const std::string raw = lf_readFixedString(packet, kDataHeaderSize, 32);
    gf_logContinuation("model raw: " + raw);
    const std::string title = gf_userAcTitle();
    std::string model = raw;
    if (auto normalised = gf_normaliseUserModel(raw, title)) {
        if (*normalised != raw)
            gf_logContinuation("model normalized: " + *normalised);
        model = *normalised;
    }
    const double largest = gf_modelDatabase().maxHalfWingspan;
    if (model.empty()) {
        gf_setUserWingspanKnown(false);
        gf_showMessage("171: No model info from your user aircraft received in SimConnect, max wing span is "
                         "taken instead",
                         true);
        g_userAcRadius.store(largest);
        return;
    }
    std::string report = "SimConnect: User aircraft model: " + model;
    double radius = 0.0;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        gf_setUserWingspanKnown(true);
        gf_logContinuation(report);
        g_userAcRadius.store(lf_radiusOfModel("E190"));
        return;
    }
    bool known = false;
    if (model.size() <= 4) {
        radius = lf_radiusOfModel(model);
        known = radius > 0.0;
    }
    if (!known) {
        radius = largest;
        const auto prefix = std::string_view(title).substr(0, 13);
        for (const auto& [text, code] : kTitlePrefixes) {
            if (title.size() >= 13 && prefix == text) {
                model = code;
                report = "SimConnect: User aircraft model deduced from title: " + model;
                const double value = lf_radiusOfModel(model);
                radius = value == 0.0 ? largest : value;
                known = value != 0.0;
                break;
            }
        }
    }
    if (known) {
        gf_setUserWingspanKnown(true);
        report += fmt::format(", half wing span: {:.1F} meter", radius * kMetresPerNm);
    } else {
        gf_setUserWingspanKnown(false);
        gf_showMessage("User aircraft wing span unknown, max is taken instead, please report in my Forum!",
                         true);
    }
    report += fmt::format(", category: {}",
                          gf_categoryName(gf_modelCategory(gf_modelCode2Id(model))));
    gf_logContinuation(report);
    g_userAcRadius.store(radius);
}

} // namespace

std::string gf_cleanUserModel(std::string_view model, std::string_view title)
{
    std::string_view s = gf_trimView(model, kAllWhitespace);
    constexpr std::string_view kAtcPrefix = "ATCCOM.AC_MODEL ";
    constexpr std::string_view kTextSuffix = ".0.text";
    if (s.starts_with(kAtcPrefix))
        s.remove_prefix(kAtcPrefix.size());
    if (s.ends_with(kTextSuffix))
        s.remove_suffix(kTextSuffix.size());
    if (s.starts_with("$$:"))
        s.remove_prefix(3);
    s = gf_trimView(s, kAllWhitespace);

    for (const auto& row : kModelAndTitle)
        if (s == row.model && (row.titleContains.empty() || title.find(row.titleContains) != std::string_view::npos))
            return std::string(row.result);
    for (const auto& [from, to] : kModels)
        if (s == from)
            return std::string(to);
    if (s.find("Phenom 300E") != std::string_view::npos)
        return "E55P";
    return std::string(s);
}

std::optional<std::string> gf_normaliseUserModel(std::string_view model, std::string_view title)
{
    std::string cleaned = gf_cleanUserModel(model, title);
    if (!cleaned.empty() && gf_isIcaoModel(cleaned))
        return cleaned;
    return std::nullopt;
}

void lf_onUserAcModel(const void* packet, uint32_t cbData)
{
    struct SetBit {
        ~SetBit() { g_userAnswers.fetch_or(2); }
    } setBit;
    try {
        lf_onUserAcModelChecked(packet, cbData);
    } catch (const kvr::UserRelatedException&) {
        throw;
    } catch (...) {
        throw kvr::UserRelatedException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

std::string gf_objectIdText(uint32_t objectId)
{
    return gf_isMSFS2020() ? fmt::format("{}", objectId) : fmt::format("{:x}", objectId);
}
