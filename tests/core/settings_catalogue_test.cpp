// The settings catalogue: every object with its key, kind, default, range,
// control id and layout, the registry lists and their order, and the option
// lists. The checks are generated from the one table below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include <fmt/format.h>

#include "app/gui.h"
#include "core/parameter.h"
#include "core/settings.h"

namespace {

struct CatalogueRow {
    int list; // registry list 1..7; 0 = in no list
    const char* key;
    const char* kind;
    const char* defaultText;
    std::int64_t minValue; // integer kinds only
    std::int64_t maxValue;
    unsigned controlId; // 0 = no control
    GuiLayout layout;
};

// In file order: lists 1, 2, 3, 4, 5, 7, 6, then the objects in no list in
// the order they are built.
const std::vector<CatalogueRow> kCatalogue{
    {1, "PSX_SERVER_HERE", "BoolParameter", "true", 0, 0, 0x0000, {0, 0, 0, 0}},
    {1, "COLLAPSED", "BoolParameter", "true", 0, 0, 0x0000, {0, 0, 0, 0}},
    {2, "SKIP_AIRPORT_SCAN", "CheckBoxParameter", "false", 0, 0, 0x8011, {113, 133, 135, 1}},
    {2, "SKIP_LIVERIES_SCAN", "CheckBoxParameter", "false", 0, 0, 0x8012, {113, 133, 167, 1}},
    {2, "LIG_PRIORITIZE", "CheckBoxParameter", "true", 0, 0, 0x8015, {548, 568, 167, 1}},
    {2, "LIG_AUTOMATIC", "CheckBoxParameter", "true", 0, 0, 0x8014, {222, 242, 167, 1}},
    {2, "COLLISION_USER_GND", "CheckBoxParameter", "true", 0, 0, 0x802F, {494, 514, 239, 1}},
    {2, "COLLISION_USER_AIR", "CheckBoxParameter", "true", 0, 0, 0x802E, {494, 514, 271, 1}},
    {2, "COLLISION_LIVE_PARKED_GND", "CheckBoxParameter", "false", 0, 0, 0x8030, {494, 514, 303, 1}},
    {2, "RANDOM", "CheckBoxParameter", "true", 0, 0, 0x800E, {657, 677, 239, 1}},
    {2, "ALWAYS_ON_TOP", "CheckBoxParameter", "false", 0, 0, 0x8005, {775, 795, 175, 1}},
    {2, "FLIGHT_MESSAGES", "CheckBoxParameter", "true", 0, 0, 0x801C, {765, 785, 239, 1}},
    {2, "AEROWINX", "CheckBoxParameter", "false", 0, 0, 0x8006, {657, 677, 271, 1}},
    {2, "GUID_CHANGES", "CheckBoxParameter", "true", 0, 0, 0x8007, {765, 785, 271, 1}},
    {2, "OBJECTID_LIST", "CheckBoxParameter", "false", 0, 0, 0x8008, {657, 677, 303, 1}},
    {2, "NAV_LIGHTS_WHILE_PARKED", "CheckBoxParameter", "true", 0, 0, 0x8009, {765, 785, 303, 1}},
    {2, "AUTO_RANGE", "CheckBoxParameter", "true", 0, 0, 0x8023, {222, 242, 375, 1}},
    {2, "TWO_PROPS", "CheckBoxParameter", "true", 0, 0, 0x801E, {113, 133, 471, 1}},
    {2, "LIGHT_AIRCRAFT", "CheckBoxParameter", "true", 0, 0, 0x801F, {222, 242, 471, 1}},
    {2, "HELICOPTERS", "CheckBoxParameter", "true", 0, 0, 0x8020, {331, 351, 471, 1}},
    {2, "HIGH_PERF_AIRCRAFT", "CheckBoxParameter", "true", 0, 0, 0x8021, {440, 460, 471, 1}},
    {2, "SIM_TIME", "CheckBoxParameter", "false", 0, 0, 0x804A, {657, 677, 407, 1}},
    {2, "KEEP_SIM_TIME_PAR", "CheckBoxParameter", "false", 0, 0, 0x804B, {657, 677, 439, 1}},
    {2, "WEEK", "CheckBoxParameter", "false", 0, 0, 0x803D, {331, 351, 607, 1}},
    {2, "PARK_SOFT", "CheckBoxParameter", "false", 0, 0, 0x803C, {494, 514, 607, 1}},
    {2, "RT_PARKTRAFFIC_ONLY", "CheckBoxParameter", "false", 0, 0, 0x8040, {5, 25, 575, 1}},
    {2, "AUTO_PARK", "CheckBoxParameter", "true", 0, 0, 0x803A, {5, 25, 607, 1}},
    {3, "MAIN_WINDOW_X", "IntParameter", "400", -30000, 30000, 0x0000, {0, 0, 0, 0}},
    {3, "MAIN_WINDOW_Y", "IntParameter", "20", -30000, 30000, 0x0000, {0, 0, 0, 0}},
    {3, "PARKING_INTERVAL_MINUTES", "IntChoiceParameter", "20", 10, 1440, 0x803B, {657, 732, 479, -5}},
    {3, "LAST_EPOCH_TIME:", "IntParameter", "0", 0, 2147483647, 0x0000, {0, 0, 0, 0}},
    {3, "BLOCK_HEXIDDEC", "IntParameter", "0", 0, 16777215, 0x0000, {0, 0, 0, 0}},
    {3, "MAX_FIT", "IntParameter", "47", 0, 47, 0x0000, {0, 0, 0, 0}},
    {3, "RANGE_GROUND", "IntParameter", "10", 2, 100, 0x0000, {0, 0, 0, 0}},
    {3, "RANGE_1", "IntParameter", "20", 2, 100, 0x0000, {0, 0, 0, 0}},
    {3, "RANGE_2", "IntParameter", "40", 2, 100, 0x0000, {0, 0, 0, 0}},
    {3, "RANGE_3", "IntParameter", "50", 1, 100, 0x0000, {0, 0, 0, 0}},
    {3, "RANGE_ABOVE", "IntParameter", "60", 2, 100, 0x0000, {0, 0, 0, 0}},
    {3, "FLIGHT_LEVEL_1", "IntParameter", "100", 2, 480, 0x0000, {0, 0, 0, 0}},
    {3, "FLIGHT_LEVEL_2", "IntParameter", "200", 2, 480, 0x0000, {0, 0, 0, 0}},
    {3, "FLIGHT_LEVEL_3", "IntParameter", "300", 2, 480, 0x0000, {0, 0, 0, 0}},
    {4, "RANGE", "IntChoiceParameter", "40", 2, 100, 0x8022, {113, 188, 375, -5}},
    {4, "HOLDING_THRESHOLD_METERS", "IntChoiceParameter", "250", 10, 900, 0x801A, {113, 188, 407, -5}},
    {4, "MAX_HOLDING_MINUTES", "IntChoiceParameter", "3", 1, 60, 0x8025, {385, 460, 407, -5}},
    {4, "TIME_SHIFT_DAYS", "IntChoiceParameter", "0", 0, 13, 0x8046, {765, 840, 375, -5}},
    {4, "TIME_SHIFT_HOURS", "IntChoiceParameter", "0", 0, 23, 0x8047, {765, 840, 407, -5}},
    {4, "MATCHING_DEPTH", "IntChoiceParameter", "4", 1, 7, 0x801B, {113, 5, 439, -7}},
    {4, "TCAS_FL", "IntChoiceParameter", "180", 100, 440, 0x8024, {222, 297, 439, -7}},
    {4, "TIME_SHIFT_MINS", "IntChoiceParameter", "0", 0, 59, 0x8049, {765, 840, 439, -5}},
    {4, "MAX_PARK_SEL", "IntChoiceParameter", "500", 0, 500, 0x8037, {385, 460, 575, -5}},
    {4, "MAX_LIVE_SEL", "IntChoiceParameter", "500", 0, 500, 0x8038, {494, 569, 375, -5}},
    {4, "AIRP_RANGE", "IntChoiceParameter", "20", 5, 30, 0x8034, {494, 569, 543, -5}},
    {4, "AIRP_HEIGHT", "IntChoiceParameter", "18000", 2000, 48000, 0x8035, {657, 755, 543, -5}},
    {4, "parking_percentage", "IntChoiceParameter", "30", 0, 100, 0x8039, {113, 188, 607, -5}},
    {5, "PROGRAM_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "AI_PACKAGE_SELECTOR", "StringChoiceParameter", "AIG, FSLTL, JF, MTL", 0, 0, 0x800C, {331, 331, 167, -5}},
    {5, "AIG_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "ARCHIVES_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "DBASE_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "WEEKLY_TRAFFIC_AIRPORTS_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "AIRPORTS_VERSION", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "PORT_NUMBER", "StringParameter", "10747", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder0", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder1", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder2", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder3", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder4", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder5", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder6", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder7", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder8", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "lfolder9", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "BLOCK_AIRCRAFT", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "BLOCK_CALLSIGN", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "BLOCK_REGCODE", "StringParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {5, "DESTINATION", "GuiStringParameter", "", 0, 0, 0x8033, {5, 80, 543, -4}},
    {7, "ALL_AIR_GND_SELECTOR", "StringChoiceParameter", "All traffic", 0, 0, 0x8028, {5, 5, 239, -2}},
    {7, "SIM_CHOICE", "StringChoiceParameter", "MSFS 2024", 0, 0, 0x800A, {657, 657, 167, -7}},
    {7, "RT_CHOISE", "StringChoiceParameter", "RT Direct", 0, 0, 0x800B, {657, 657, 135, -7}},
    {7, "QNH_UNIT", "StringChoiceParameter", "QNH hPa", 0, 0, 0x8010, {775, 775, 135, -7}},
    {6, "MSFS_INSTALL_PATH", "PathParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {6, "MSFS_2024_INSTALL_PATH", "PathParameter", "", 0, 0, 0x0000, {0, 0, 0, 0}},
    {0, "Tblo", "ButtonControl", "", 0, 0, 0x8019, {222, 222, 135, -4}},
    {0, "Aircraft", "ButtonControl", "", 0, 0, 0x8029, {222, 222, 239, 0}},
    {0, "AIRCRAFT_SELECTOR", "DynamicChoiceParameter", "", 0, 0, 0x802A, {5, 5, 271, -2}},
    {0, "Block", "ButtonControl", "", 0, 0, 0x802B, {5, 5, 303, 2}},
    {0, "Unblock", "ButtonControl", "", 0, 0, 0x802C, {113, 113, 303, 2}},
    {0, "STAND_SELECTOR", "DynamicChoiceParameter", "", 0, 0, 0x8032, {167, 341, 543, -3}},
    {0, "MAX_FIT_FL", "FloatChoiceParameter", "24.0", 0, 0, 0x803E, {222, 297, 575, -5}},
    {0, "Park", "ButtonControl", "", 0, 0, 0x8036, {765, 765, 511, -2}},
    {0, "Flush", "ButtonControl", "", 0, 0, 0x8041, {765, 765, 607, 2}},
    {0, "Set", "ButtonControl", "", 0, 0, 0x8048, {657, 657, 372, -2}},
};

struct IntOptionsRow {
    const char* key;
    std::size_t count;
    std::int32_t first, last, step; // a regular grid when step > 0
    std::vector<std::int32_t> explicitOptions;
};

const std::vector<IntOptionsRow> kIntOptions{
    {"PARKING_INTERVAL_MINUTES", 10, 0, 0, 0, {10, 15, 20, 25, 30, 40, 50, 60, 90, 1440}},
    {"RANGE", 99, 2, 100, 1, {}},
    {"HOLDING_THRESHOLD_METERS", 15, 0, 0, 0, {10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900}},
    {"MAX_HOLDING_MINUTES", 60, 1, 60, 1, {}},
    {"TIME_SHIFT_DAYS", 14, 0, 13, 1, {}},
    {"TIME_SHIFT_HOURS", 24, 0, 23, 1, {}},
    {"MATCHING_DEPTH", 7, 1, 7, 1, {}},
    {"TCAS_FL", 13, 0, 0, 0, {100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440}},
    {"TIME_SHIFT_MINS", 60, 0, 59, 1, {}},
    {"MAX_PARK_SEL", 14, 0, 0, 0, {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 500}},
    {"MAX_LIVE_SEL", 14, 0, 0, 0, {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 500}},
    {"AIRP_RANGE", 6, 0, 0, 0, {5, 10, 15, 20, 25, 30}},
    {"AIRP_HEIGHT", 11, 0, 0, 0, {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}},
    {"parking_percentage", 21, 0, 100, 5, {}},
};

// The registry in file order, each entry with its list number.
std::vector<std::pair<int, const Parameter*>> lf_registryInFileOrder()
{
    const ParameterRegistry& r = gf_parameterRegistry();
    std::vector<std::pair<int, const Parameter*>> out;
    for (auto* p : r.boolParams)
        out.emplace_back(1, p);
    for (auto* p : r.checkBoxParams)
        out.emplace_back(2, p);
    for (auto* p : r.intParams)
        out.emplace_back(3, p);
    for (auto* p : r.intChoiceParams)
        out.emplace_back(4, p);
    for (auto* p : r.stringParams)
        out.emplace_back(5, p);
    for (auto* p : r.stringChoiceParams)
        out.emplace_back(7, p);
    for (auto* p : r.pathParams)
        out.emplace_back(6, p);
    return out;
}

const std::vector<const Parameter*> kUnlisted{&TBLO_BUTTON, &AIRCRAFT_BUTTON, &AIRCRAFT_SELECTOR, &BLOCK_BUTTON,
                                              &UNBLOCK_BUTTON, &STAND_SELECTOR, &MAX_FIT_FL, &PARK_BUTTON,
                                              &FLUSH_BUTTON, &SET_BUTTON};

const std::type_info& lf_kindType(const std::string& kind)
{
    static const std::map<std::string, const std::type_info*> kinds{
        {"BoolParameter", &typeid(BoolParameter)},
        {"CheckBoxParameter", &typeid(CheckBoxParameter)},
        {"IntParameter", &typeid(IntParameter)},
        {"IntChoiceParameter", &typeid(IntChoiceParameter)},
        {"StringParameter", &typeid(StringParameter)},
        {"GuiStringParameter", &typeid(GuiStringParameter)},
        {"StringChoiceParameter", &typeid(StringChoiceParameter)},
        {"DynamicChoiceParameter", &typeid(DynamicChoiceParameter)},
        {"FloatChoiceParameter", &typeid(FloatChoiceParameter)},
        {"PathParameter", &typeid(PathParameter)},
        {"ButtonControl", &typeid(ButtonControl)},
    };
    return *kinds.at(kind);
}

// The default of any kind as text.
std::string lf_defaultText(const Parameter& p)
{
    if (auto* b = dynamic_cast<const BoolParameter*>(&p))
        return b->defaultValue ? "true" : "false";
    if (auto* i = dynamic_cast<const IntParameter*>(&p))
        return std::to_string(i->defaultValue);
    if (auto* s = dynamic_cast<const StringParameter*>(&p))
        return s->defaultValue;
    if (auto* path = dynamic_cast<const PathParameter*>(&p))
        return path->defaultValue.string();
    if (auto* f = dynamic_cast<const FloatChoiceParameter*>(&p))
        return fmt::format("{:.1f}", f->defaultValue);
    return "";
}

const Parameter* lf_find(const std::string& key)
{
    for (auto [list, p] : lf_registryInFileOrder())
        if (p->name == key)
            return p;
    for (const Parameter* p : kUnlisted)
        if (p->name == key)
            return p;
    return nullptr;
}

} // namespace

TEST(SettingsCatalogue, RegistryListsHaveTheirSizesAndNoNullEntries)
{
    const ParameterRegistry& r = gf_parameterRegistry();
    EXPECT_EQ(r.boolParams.size(), 2u);
    EXPECT_EQ(r.checkBoxParams.size(), 25u);
    EXPECT_EQ(r.intParams.size(), 14u);
    EXPECT_EQ(r.intChoiceParams.size(), 13u);
    EXPECT_EQ(r.stringParams.size(), 22u);
    EXPECT_EQ(r.pathParams.size(), 2u);
    EXPECT_EQ(r.stringChoiceParams.size(), 4u);
    auto all = lf_registryInFileOrder();
    EXPECT_EQ(all.size(), 82u);
    for (auto [list, p] : all)
        EXPECT_NE(p, nullptr) << "list " << list;
}

TEST(SettingsCatalogue, EverySavedSettingIsRegisteredInItsListAndOrder)
{
    auto registered = lf_registryInFileOrder();
    std::vector<const CatalogueRow*> saved;
    for (const CatalogueRow& row : kCatalogue)
        if (row.list != 0)
            saved.push_back(&row);
    ASSERT_EQ(saved.size(), 82u);
    ASSERT_EQ(registered.size(), saved.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        SCOPED_TRACE(fmt::format("#{} {}", i, saved[i]->key));
        EXPECT_EQ(registered[i].first, saved[i]->list);
        EXPECT_EQ(registered[i].second->name, saved[i]->key); // byte for byte, case-sensitive
    }
    // The edge rows of the order.
    EXPECT_EQ(registered.front().second->name, "PSX_SERVER_HERE");
    EXPECT_EQ(registered[27].second, &Gui::instance().MAIN_WINDOW_X);
    EXPECT_EQ(registered[28].second, &Gui::instance().MAIN_WINDOW_Y);
    EXPECT_EQ(registered[29].second, &PARKING_INTERVAL_MINUTES); // a choice, registered as an integer
    EXPECT_EQ(registered[55].second, &AI_PACKAGE_SELECTOR);      // a choice, registered as a text
    EXPECT_EQ(registered[75].second, &DESTINATION);
    EXPECT_EQ(registered.back().second->name, "MSFS_2024_INSTALL_PATH");
}

TEST(SettingsCatalogue, KeysAreSpelledExactly)
{
    EXPECT_EQ(RT_CHOISE.name, "RT_CHOISE");
    EXPECT_EQ(LAST_EPOCH_TIME.name, "LAST_EPOCH_TIME:");
    EXPECT_EQ(parking_percentage.name, "parking_percentage");
    std::set<std::string> keys;
    for (auto [list, p] : lf_registryInFileOrder())
        EXPECT_TRUE(keys.insert(p->name).second) << "duplicate key " << p->name;
}

TEST(SettingsCatalogue, EveryObjectHasItsKindDefaultRangeAndControl)
{
    ASSERT_EQ(kCatalogue.size(), 92u);
    for (const CatalogueRow& row : kCatalogue) {
        SCOPED_TRACE(row.key);
        const Parameter* p = lf_find(row.key);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(typeid(*p) == lf_kindType(row.kind)) << typeid(*p).name();
        EXPECT_EQ(lf_defaultText(*p), row.defaultText);
        if (auto* i = dynamic_cast<const IntParameter*>(p)) {
            EXPECT_EQ(i->minValue, row.minValue);
            EXPECT_EQ(i->maxValue, row.maxValue);
            EXPECT_EQ(i->value, i->defaultValue) << "a new object holds its default";
        }
        auto* control = dynamic_cast<const GuiControl*>(p);
        if (row.controlId == 0) {
            EXPECT_EQ(control, nullptr);
            continue;
        }
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->controlId, row.controlId);
        EXPECT_EQ(control->controlX, row.layout.controlX);
        EXPECT_EQ(control->captionX, row.layout.captionX);
        EXPECT_EQ(control->rowY, row.layout.rowY);
        EXPECT_EQ(control->offsetY, row.layout.offsetY);
        EXPECT_EQ(control->window, nullptr);
        EXPECT_EQ(control->previousWndProc, nullptr);
    }
}

TEST(SettingsCatalogue, ControlIdsAreUniqueAndInTheirRange)
{
    std::set<unsigned> ids;
    std::size_t withControl = 0;
    auto check = [&](const Parameter* p) {
        if (auto* control = dynamic_cast<const GuiControl*>(p)) {
            ++withControl;
            EXPECT_GE(control->controlId, 0x8005u) << p->name;
            EXPECT_LE(control->controlId, 0x804Bu) << p->name;
            EXPECT_TRUE(ids.insert(control->controlId).second) << "duplicate id of " << p->name;
        }
    };
    for (auto [list, p] : lf_registryInFileOrder())
        check(p);
    for (const Parameter* p : kUnlisted)
        check(p);
    EXPECT_EQ(withControl, 55u);
}

TEST(SettingsCatalogue, CheckBoxCaptionsSitTwentyToTheRightOneLower)
{
    for (const CheckBoxParameter* box : gf_parameterRegistry().checkBoxParams) {
        EXPECT_EQ(box->captionX, box->controlX + 20) << box->name;
        EXPECT_EQ(box->offsetY, 1) << box->name;
    }
}

TEST(SettingsCatalogue, IntegerChoicesHaveTheirOptionsAndTakeTheirRangeFromThem)
{
    for (const IntOptionsRow& row : kIntOptions) {
        SCOPED_TRACE(row.key);
        auto* choice = dynamic_cast<const IntChoiceParameter*>(lf_find(row.key));
        ASSERT_NE(choice, nullptr);
        ASSERT_EQ(choice->options.size(), row.count);
        if (row.step > 0) {
            for (std::size_t i = 0; i < row.count; ++i)
                EXPECT_EQ(choice->optionAt(i), row.first + static_cast<std::int32_t>(i) * row.step);
            EXPECT_EQ(choice->options.back(), row.last);
        } else {
            EXPECT_EQ(choice->options, row.explicitOptions);
        }
        EXPECT_EQ(choice->minValue, *std::min_element(choice->options.begin(), choice->options.end()));
        EXPECT_EQ(choice->maxValue, *std::max_element(choice->options.begin(), choice->options.end()));
        EXPECT_THROW((void)choice->optionAt(row.count), std::out_of_range);
    }
}

TEST(SettingsCatalogue, TextChoicesHaveTheirOptions)
{
    EXPECT_EQ(ALL_AIR_GND_SELECTOR.options, (std::vector<std::string>{"All traffic", "Airborne only", "Ground only"}));
    EXPECT_EQ(SIM_CHOICE.options, (std::vector<std::string>{"MSFS 2020", "MSFS 2024"}));
    EXPECT_EQ(RT_CHOISE.options, (std::vector<std::string>{"RT Direct", "RT App"}));
    EXPECT_EQ(QNH_UNIT.options, (std::vector<std::string>{"QNH hPa", "QNH inHg"}));
}

TEST(SettingsCatalogue, AiPackageSelectorOffersEveryOrderingOfEverySubset)
{
    const std::vector<std::string>& o = AI_PACKAGE_SELECTOR.options;
    ASSERT_EQ(o.size(), 64u);
    EXPECT_EQ(std::set<std::string>(o.begin(), o.end()).size(), 64u);
    // All four, in lexicographic order of positions.
    EXPECT_EQ(o[0], "AIG, FSLTL, JF, MTL");
    EXPECT_EQ(o[1], "AIG, FSLTL, MTL, JF");
    EXPECT_EQ(o[2], "AIG, JF, FSLTL, MTL");
    EXPECT_EQ(o[23], "MTL, JF, FSLTL, AIG");
    // Triples: {AIG, FSLTL, JF} first, then {AIG, FSLTL, MTL}, ... {FSLTL, JF, MTL}.
    const std::vector<std::string> firstTriple{"AIG, FSLTL, JF", "AIG, JF, FSLTL", "FSLTL, AIG, JF",
                                               "FSLTL, JF, AIG", "JF, AIG, FSLTL", "JF, FSLTL, AIG"};
    EXPECT_EQ(std::vector<std::string>(o.begin() + 24, o.begin() + 30), firstTriple);
    EXPECT_EQ(o[30], "AIG, FSLTL, MTL");
    EXPECT_EQ(o[36], "AIG, JF, MTL");
    EXPECT_EQ(o[42], "FSLTL, JF, MTL");
    EXPECT_EQ(o[47], "MTL, JF, FSLTL");
    // Pairs: base order, then reversed.
    const std::vector<std::string> pairs{"AIG, FSLTL", "FSLTL, AIG", "AIG, JF", "JF, AIG",
                                         "AIG, MTL",   "MTL, AIG",   "FSLTL, JF", "JF, FSLTL",
                                         "FSLTL, MTL", "MTL, FSLTL", "JF, MTL",  "MTL, JF"};
    EXPECT_EQ(std::vector<std::string>(o.begin() + 48, o.begin() + 60), pairs);
    EXPECT_EQ(std::vector<std::string>(o.begin() + 60, o.end()),
              (std::vector<std::string>{"AIG", "FSLTL", "JF", "MTL"}));
    // The default is the first option.
    EXPECT_EQ(AI_PACKAGE_SELECTOR.indexOfValue(), std::optional<std::size_t>(0));
}

TEST(SettingsCatalogue, MaxFitHoursRunFromHalfAnHourToADay)
{
    ASSERT_EQ(MAX_FIT_FL.options.size(), 48u);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.optionAt(0), 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.optionAt(47), 24.0f);
    for (std::size_t i = 0; i < 48; ++i)
        EXPECT_FLOAT_EQ(MAX_FIT_FL.optionAt(i), static_cast<float>(i + 1) * 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.minValue, 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.maxValue, 24.0f);
    try {
        (void)MAX_FIT_FL.optionAt(48);
        ADD_FAILURE() << "index 48 must throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "configuration option index is out of range");
    }
}

TEST(SettingsCatalogue, DynamicListsStartWithOneEmptyEntryAndAreShared)
{
    EXPECT_EQ(*AIRCRAFT_SELECTOR.options, std::vector<std::string>{""});
    EXPECT_EQ(*STAND_SELECTOR.options, std::vector<std::string>{""});
    EXPECT_EQ(AIRCRAFT_SELECTOR.options, g_aircraftSelectorOptions);
    EXPECT_EQ(STAND_SELECTOR.options, g_standSelectorOptions);
    EXPECT_NE(AIRCRAFT_SELECTOR.options, STAND_SELECTOR.options);
}
