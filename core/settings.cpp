#include "core/settings.h"

#include <algorithm>
#include <cstdint>

#include "core/ui_sink.h"

namespace {

// from, from + step, ... up to and including to.
std::vector<std::int32_t> lf_steps(std::int32_t from, std::int32_t to, std::int32_t step)
{
    std::vector<std::int32_t> out;
    for (std::int32_t v = from; v <= to; v += step)
        out.push_back(v);
    return out;
}

// Every ordering of every non-empty subset of the four AI packages, joined
// with ", ": the larger subsets first; subsets in combination order of the
// base order; each subset's orderings in lexicographic order of positions.
std::vector<std::string> lf_aiPackageOptions()
{
    static const std::array<const char*, 4> packages{"AIG", "FSLTL", "JF", "MTL"};
    std::vector<std::string> out;
    for (int size = 4; size >= 1; --size) {
        // Combinations of `size` positions out of 4, in lexicographic order.
        std::vector<bool> pick(4, false);
        std::fill(pick.begin(), pick.begin() + size, true);
        do {
            std::vector<int> positions;
            for (int i = 0; i < 4; ++i)
                if (pick[static_cast<std::size_t>(i)])
                    positions.push_back(i);
            do {
                std::string option;
                for (int p : positions) {
                    if (!option.empty())
                        option += ", ";
                    option += packages[static_cast<std::size_t>(p)];
                }
                out.push_back(std::move(option));
            } while (std::next_permutation(positions.begin(), positions.end()));
        } while (std::prev_permutation(pick.begin(), pick.end()));
    }
    return out;
}

std::vector<float> lf_maxFitHours()
{
    std::vector<float> out;
    for (int i = 0; i < 48; ++i)
        out.push_back(static_cast<float>(i + 1) * 0.5f);
    return out;
}

const std::vector<std::int32_t> lf_parkSelections{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 500};

} // namespace

// ---- Every saved setting ----------------------------------------------------------
#define KELO_DEFINE_SETTING(list, key, field, Class, NAME, ...) Class NAME{KELO_SETTING_KEY_##key(NAME), __VA_ARGS__};
KELO_SAVED_SETTINGS(KELO_DEFINE_SETTING)
#undef KELO_DEFINE_SETTING

// ---- In no list, in the order they are built -------------------------------------
ButtonControl TBLO_BUTTON{"Tblo", 0x8019, {222, 222, 135, -4}};
ButtonControl AIRCRAFT_BUTTON{"Aircraft", 0x8029, {222, 222, 239, 0}};
const std::shared_ptr<std::vector<std::string>> g_aircraftSelectorOptions =
    std::make_shared<std::vector<std::string>>(1);
DynamicChoiceParameter AIRCRAFT_SELECTOR{"AIRCRAFT_SELECTOR", "", g_aircraftSelectorOptions, 0x802A,
                                         {5, 5, 271, -2}};
ButtonControl BLOCK_BUTTON{"Block", 0x802B, {5, 5, 303, 2}};
ButtonControl UNBLOCK_BUTTON{"Unblock", 0x802C, {113, 113, 303, 2}};
const std::shared_ptr<std::vector<std::string>> g_standSelectorOptions =
    std::make_shared<std::vector<std::string>>(1);
DynamicChoiceParameter STAND_SELECTOR{"STAND_SELECTOR", "", g_standSelectorOptions, 0x8032, {167, 341, 543, -3}};
FloatChoiceParameter MAX_FIT_FL{"MAX_FIT_FL", 24.0f, lf_maxFitHours(), 0x803E, {222, 297, 575, -5}};
ButtonControl PARK_BUTTON{"Park", 0x8036, {765, 765, 511, -2}};
ButtonControl FLUSH_BUTTON{"Flush", 0x8041, {765, 765, 607, 2}};
ButtonControl SET_BUTTON{"Set", 0x8048, {657, 657, 372, -2}};

#define KELO_PUBLISH_Field(NAME) [](Parameters& p) { p.NAME = NAME.value; }
#define KELO_PUBLISH_AirGround(NAME) [](Parameters& p) { p.NAME = gf_airGroundCode(NAME.value); }
#define KELO_PUBLISH_BlockFilter(NAME) [](Parameters& p) { p.blockFilter = gf_blockFilterFromSettings(); }
#define KELO_PUBLISH_TimeShift(NAME)                      \
    [](Parameters& p) {                                   \
        p.TIME_SHIFT_DAYS = TIME_SHIFT_DAYS.value;         \
        p.TIME_SHIFT_HOURS = TIME_SHIFT_HOURS.value;       \
        p.TIME_SHIFT_MINS = TIME_SHIFT_MINS.value;         \
    }
#define KELO_PUBLISH_NoField(NAME) nullptr

const std::vector<SettingRow>& gf_settingsTable()
{
    static const std::vector<SettingRow> table = [] {
#define KELO_SETTING_ROW(list, key, field, Class, NAME, ...) \
    SettingRow{SettingList::list, &NAME, KELO_PUBLISH_##field(NAME)},
        const std::vector<SettingRow> rows{KELO_SAVED_SETTINGS(KELO_SETTING_ROW)};
#undef KELO_SETTING_ROW
        UiSink& ui = gf_uiSink();
        std::vector<SettingRow> out;
        for (const SettingRow& row : rows) {
            if (row.list == SettingList::Int && (out.empty() || out.back().list != SettingList::Int)) {
                // Without a main window the window-position settings do not exist.
                for (IntParameter* position : {ui.windowX(), ui.windowY()})
                    if (position)
                        out.push_back({SettingList::Int, position, nullptr});
            }
            out.push_back(row);
        }
        return out;
    }();
    return table;
}

#undef KELO_PUBLISH_Field
#undef KELO_PUBLISH_AirGround
#undef KELO_PUBLISH_BlockFilter
#undef KELO_PUBLISH_TimeShift
#undef KELO_PUBLISH_NoField

const ParameterRegistry& gf_parameterRegistry()
{
    static const ParameterRegistry registry = [] {
        ParameterRegistry r;
        for (const SettingRow& row : gf_settingsTable()) {
            Parameter* p = row.setting;
            switch (row.list) {
            case SettingList::Bool: r.boolParams.push_back(static_cast<BoolParameter*>(p)); break;
            case SettingList::CheckBox: r.checkBoxParams.push_back(static_cast<CheckBoxParameter*>(p)); break;
            case SettingList::Int: r.intParams.push_back(static_cast<IntParameter*>(p)); break;
            case SettingList::IntChoice: r.intChoiceParams.push_back(static_cast<IntChoiceParameter*>(p)); break;
            case SettingList::String: r.stringParams.push_back(static_cast<StringParameter*>(p)); break;
            case SettingList::StringChoice:
                r.stringChoiceParams.push_back(static_cast<StringChoiceParameter*>(p));
                break;
            case SettingList::Path: r.pathParams.push_back(static_cast<PathParameter*>(p)); break;
            }
        }
        return r;
    }();
    return registry;
}
