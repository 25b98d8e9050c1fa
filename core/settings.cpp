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

// ---- List 1 ---------------------------------------------------------------------
BoolParameter PSX_SERVER_HERE{"PSX_SERVER_HERE", true};
BoolParameter COLLAPSED{"COLLAPSED", true};

// ---- List 2: check boxes; layout (x, x + 20, y, 1) --------------------------------
CheckBoxParameter SKIP_AIRPORT_SCAN{"SKIP_AIRPORT_SCAN", false, 0x8011, {113, 133, 135, 1}};
CheckBoxParameter SKIP_LIVERIES_SCAN{"SKIP_LIVERIES_SCAN", false, 0x8012, {113, 133, 167, 1}};
CheckBoxParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 0x8015, {548, 568, 167, 1}};
CheckBoxParameter LIG_AUTOMATIC{"LIG_AUTOMATIC", true, 0x8014, {222, 242, 167, 1}};
CheckBoxParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 0x802F, {494, 514, 239, 1}};
CheckBoxParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 0x802E, {494, 514, 271, 1}};
CheckBoxParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 0x8030, {494, 514, 303, 1}};
CheckBoxParameter RANDOM{"RANDOM", true, 0x800E, {657, 677, 239, 1}};
CheckBoxParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 0x8005, {775, 795, 175, 1}};
CheckBoxParameter FLIGHT_MESSAGES{"FLIGHT_MESSAGES", true, 0x801C, {765, 785, 239, 1}};
CheckBoxParameter AEROWINX{"AEROWINX", false, 0x8006, {657, 677, 271, 1}};
CheckBoxParameter GUID_CHANGES{"GUID_CHANGES", true, 0x8007, {765, 785, 271, 1}};
CheckBoxParameter OBJECTID_LIST{"OBJECTID_LIST", false, 0x8008, {657, 677, 303, 1}};
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 0x8009, {765, 785, 303, 1}};
CheckBoxParameter AUTO_RANGE{"AUTO_RANGE", true, 0x8023, {222, 242, 375, 1}};
CheckBoxParameter TWO_PROPS{"TWO_PROPS", true, 0x801E, {113, 133, 471, 1}};
CheckBoxParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 0x801F, {222, 242, 471, 1}};
CheckBoxParameter HELICOPTERS{"HELICOPTERS", true, 0x8020, {331, 351, 471, 1}};
CheckBoxParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 0x8021, {440, 460, 471, 1}};
CheckBoxParameter SIM_TIME{"SIM_TIME", false, 0x804A, {657, 677, 407, 1}};
CheckBoxParameter KEEP_SIM_TIME_PAR{"KEEP_SIM_TIME_PAR", false, 0x804B, {657, 677, 439, 1}};
CheckBoxParameter WEEK{"WEEK", false, 0x803D, {331, 351, 607, 1}};
CheckBoxParameter PARK_SOFT{"PARK_SOFT", false, 0x803C, {494, 514, 607, 1}};
CheckBoxParameter RT_PARKTRAFFIC_ONLY{"RT_PARKTRAFFIC_ONLY", false, 0x8040, {5, 25, 575, 1}};
CheckBoxParameter AUTO_PARK{"AUTO_PARK", true, 0x803A, {5, 25, 607, 1}};

// ---- List 3 ---------------------------------------------------------------------
IntChoiceParameter PARKING_INTERVAL_MINUTES{"PARKING_INTERVAL_MINUTES", 20,
                                            {10, 15, 20, 25, 30, 40, 50, 60, 90, 1440}, 0x803B,
                                            {657, 732, 479, -5}};
IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
IntParameter BLOCK_HEXIDDEC{"BLOCK_HEXIDDEC", 0, 0, 0xFFFFFF};
IntParameter MAX_FIT{"MAX_FIT", 47, 0, 47};
IntParameter RANGE_GROUND{"RANGE_GROUND", 10, 2, 100};
IntParameter RANGE_1{"RANGE_1", 20, 2, 100};
IntParameter RANGE_2{"RANGE_2", 40, 2, 100};
IntParameter RANGE_3{"RANGE_3", 50, 1, 100};
IntParameter RANGE_ABOVE{"RANGE_ABOVE", 60, 2, 100};
IntParameter FLIGHT_LEVEL_1{"FLIGHT_LEVEL_1", 100, 2, 480};
IntParameter FLIGHT_LEVEL_2{"FLIGHT_LEVEL_2", 200, 2, 480};
IntParameter FLIGHT_LEVEL_3{"FLIGHT_LEVEL_3", 300, 2, 480};

// ---- List 4 ---------------------------------------------------------------------
IntChoiceParameter RANGE{"RANGE", 40, lf_steps(2, 100, 1), 0x8022, {113, 188, 375, -5}};
IntChoiceParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250,
                                            {10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900},
                                            0x801A, {113, 188, 407, -5}};
IntChoiceParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 3, lf_steps(1, 60, 1), 0x8025, {385, 460, 407, -5}};
IntChoiceParameter TIME_SHIFT_DAYS{"TIME_SHIFT_DAYS", 0, lf_steps(0, 13, 1), 0x8046, {765, 840, 375, -5}};
IntChoiceParameter TIME_SHIFT_HOURS{"TIME_SHIFT_HOURS", 0, lf_steps(0, 23, 1), 0x8047, {765, 840, 407, -5}};
IntChoiceParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, lf_steps(1, 7, 1), 0x801B, {113, 5, 439, -7}};
IntChoiceParameter TCAS_FL{"TCAS_FL", 180, {100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440},
                           0x8024, {222, 297, 439, -7}};
IntChoiceParameter TIME_SHIFT_MINS{"TIME_SHIFT_MINS", 0, lf_steps(0, 59, 1), 0x8049, {765, 840, 439, -5}};
IntChoiceParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, lf_parkSelections, 0x8037, {385, 460, 575, -5}};
IntChoiceParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, lf_parkSelections, 0x8038, {494, 569, 375, -5}};
IntChoiceParameter AIRP_RANGE{"AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 0x8034, {494, 569, 543, -5}};
IntChoiceParameter AIRP_HEIGHT{"AIRP_HEIGHT", 18000,
                               {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}, 0x8035,
                               {657, 755, 543, -5}};
IntChoiceParameter parking_percentage{"parking_percentage", 30, lf_steps(0, 100, 5), 0x8039, {113, 188, 607, -5}};

// ---- List 5 ---------------------------------------------------------------------
StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringChoiceParameter AI_PACKAGE_SELECTOR{"AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", lf_aiPackageOptions(),
                                          0x800C, {331, 331, 167, -5}};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter ARCHIVES_VERSION{"ARCHIVES_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter WEEKLY_TRAFFIC_AIRPORTS_VERSION{"WEEKLY_TRAFFIC_AIRPORTS_VERSION", ""};
StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
StringParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
StringParameter lfolder0{"lfolder0", ""};
StringParameter lfolder1{"lfolder1", ""};
StringParameter lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""};
StringParameter lfolder4{"lfolder4", ""};
StringParameter lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""};
StringParameter lfolder7{"lfolder7", ""};
StringParameter lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter BLOCK_AIRCRAFT{"BLOCK_AIRCRAFT", ""};
StringParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", ""};
StringParameter BLOCK_REGCODE{"BLOCK_REGCODE", ""};
GuiStringParameter DESTINATION{"DESTINATION", "", 0x8033, {5, 80, 543, -4}};

// ---- List 6 ---------------------------------------------------------------------
PathParameter MSFS_INSTALL_PATH{"MSFS_INSTALL_PATH", {}};
PathParameter MSFS_2024_INSTALL_PATH{"MSFS_2024_INSTALL_PATH", {}};

// ---- List 7 ---------------------------------------------------------------------
StringChoiceParameter ALL_AIR_GND_SELECTOR{"ALL_AIR_GND_SELECTOR", "All traffic",
                                           {"All traffic", "Airborne only", "Ground only"}, 0x8028,
                                           {5, 5, 239, -2}};
StringChoiceParameter SIM_CHOICE{"SIM_CHOICE", "MSFS 2024", {"MSFS 2020", "MSFS 2024"}, 0x800A, {657, 657, 167, -7}};
StringChoiceParameter RT_CHOISE{"RT_CHOISE", "RT Direct", {"RT Direct", "RT App"}, 0x800B, {657, 657, 135, -7}};
StringChoiceParameter QNH_UNIT{"QNH_UNIT", "QNH hPa", {"QNH hPa", "QNH inHg"}, 0x8010, {775, 775, 135, -7}};

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

const ParameterRegistry& gf_parameterRegistry()
{
    static const ParameterRegistry registry = [] {
        UiSink& ui = gf_uiSink();
        ParameterRegistry r;
        r.boolParams = {&PSX_SERVER_HERE, &COLLAPSED};
        r.checkBoxParams = {&SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN, &LIG_PRIORITIZE, &LIG_AUTOMATIC,
                            &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &RANDOM,
                            &ALWAYS_ON_TOP, &FLIGHT_MESSAGES, &AEROWINX, &GUID_CHANGES,
                            &OBJECTID_LIST, &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &TWO_PROPS,
                            &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &SIM_TIME,
                            &KEEP_SIM_TIME_PAR, &WEEK, &PARK_SOFT, &RT_PARKTRAFFIC_ONLY,
                            &AUTO_PARK};
        r.intParams = {ui.windowX(), ui.windowY(), &PARKING_INTERVAL_MINUTES, &LAST_EPOCH_TIME,
                       &BLOCK_HEXIDDEC, &MAX_FIT, &RANGE_GROUND, &RANGE_1,
                       &RANGE_2, &RANGE_3, &RANGE_ABOVE, &FLIGHT_LEVEL_1,
                       &FLIGHT_LEVEL_2, &FLIGHT_LEVEL_3};
        // Without a main window the window-position settings do not exist.
        std::erase(r.intParams, nullptr);
        r.intChoiceParams = {&RANGE, &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &TIME_SHIFT_DAYS,
                             &TIME_SHIFT_HOURS, &MATCHING_DEPTH, &TCAS_FL, &TIME_SHIFT_MINS,
                             &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE, &AIRP_HEIGHT,
                             &parking_percentage};
        r.stringParams = {&PROGRAM_VERSION, &AI_PACKAGE_SELECTOR, &AIG_VERSION, &ARCHIVES_VERSION,
                          &DBASE_VERSION, &WEEKLY_TRAFFIC_AIRPORTS_VERSION, &AIRPORTS_VERSION, &PORT_NUMBER,
                          &lfolder0, &lfolder1, &lfolder2, &lfolder3,
                          &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                          &lfolder8, &lfolder9, &BLOCK_AIRCRAFT, &BLOCK_CALLSIGN,
                          &BLOCK_REGCODE, &DESTINATION};
        r.pathParams = {&MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH};
        r.stringChoiceParams = {&ALL_AIR_GND_SELECTOR, &SIM_CHOICE, &RT_CHOISE, &QNH_UNIT};
        return r;
    }();
    return registry;
}
