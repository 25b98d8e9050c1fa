#include "core/settings_snapshot.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/version_data.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

// Keeps the published records and every setting a test touches, and puts
// them back afterwards: the settings objects are program-wide.
class SettingsSnapshot : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedParameters = g_parameters.load();
        savedMode = g_modeSettings.load();
        const ParameterRegistry& r = gf_parameterRegistry();
        for (auto* p : r.checkBoxParams)
            bools.emplace_back(p, p->value);
        for (auto* p : r.intParams)
            ints.emplace_back(p, p->value);
        for (auto* p : r.intChoiceParams)
            ints.emplace_back(p, p->value);
        for (auto* p : r.stringParams)
            strings.emplace_back(p, p->value);
        for (auto* p : r.stringChoiceParams)
            strings.emplace_back(p, p->value);
        savedMaxFitFl = MAX_FIT_FL.value;
        savedVersionDefault = PROGRAM_VERSION.defaultValue;
        savedUnderscore = callsignEndsWithUnderscore.load();
    }
    void TearDown() override
    {
        for (auto& [p, v] : bools)
            p->value = v;
        for (auto& [p, v] : ints)
            p->value = v;
        for (auto& [p, v] : strings)
            p->value = v;
        MAX_FIT_FL.value = savedMaxFitFl;
        PROGRAM_VERSION.defaultValue = savedVersionDefault; // a new settings file changes it
        callsignEndsWithUnderscore = savedUnderscore;
        g_parameters.store(savedParameters);
        g_modeSettings.store(savedMode);
    }

    static void publishMode(const char* sim, const char* source)
    {
        SIM_CHOICE.value = sim;
        RT_CHOISE.value = source;
        lf_validateSimAndTrafficSource();
    }

    std::shared_ptr<const Parameters> savedParameters;
    std::shared_ptr<const ModeSettings> savedMode;
    std::vector<std::pair<BoolParameter*, bool>> bools;
    std::vector<std::pair<IntParameter*, int32_t>> ints;
    std::vector<std::pair<StringParameter*, std::string>> strings;
    float savedMaxFitFl = 0.0f;
    std::string savedVersionDefault;
    bool savedUnderscore = false;
};

std::string closeAndReadLog()
{
    gf_closeLog();
    return kvr::test::logText();
}

TEST(ParametersRecord, DefaultsBeforeTheFirstPublication)
{
    const Parameters p;
    EXPECT_EQ(p.parking_percentage, 30);
    EXPECT_EQ(p.MAX_FIT, 47);
    EXPECT_TRUE(p.AUTO_PARK);
    EXPECT_EQ(p.blockFilter.aircraft, "");
    EXPECT_EQ(p.blockFilter.hexid, 0);
    EXPECT_FALSE(p.blockFilter.callsignEndsWithUnderscore);
    EXPECT_EQ(p.rangeNm, 40.0);
    EXPECT_EQ(p.rangeNmSquared, 1600.0);
    EXPECT_EQ(p.rangeMeters, 74080);
    EXPECT_EQ(p.rangeNmWhole, 40);
    EXPECT_EQ(p.HOLDING_THRESHOLD_METERS, 250);
    EXPECT_EQ(p.AIRP_HEIGHT, 18000);
    EXPECT_TRUE(p.TWO_PROPS);
    EXPECT_TRUE(p.HIGH_PERF_AIRCRAFT);
    const ModeSettings m;
    EXPECT_EQ(m.sim, 2u);
    EXPECT_FALSE(m.rtApp);
}

// Before the first publication the record holds what publishing the settings
// at their defaults gives.
TEST_F(SettingsSnapshot, TheUnpublishedRecordHoldsTheSettingsDefaults)
{
    for (const SettingRow& row : gf_settingsTable()) {
        switch (row.list) {
        case SettingList::Bool:
        case SettingList::CheckBox: {
            auto* p = static_cast<BoolParameter*>(row.setting);
            p->value = p->defaultValue;
            break;
        }
        case SettingList::Int:
        case SettingList::IntChoice: {
            auto* p = static_cast<IntParameter*>(row.setting);
            p->value = p->defaultValue;
            break;
        }
        case SettingList::String:
        case SettingList::StringChoice: {
            auto* p = static_cast<StringParameter*>(row.setting);
            p->value = p->defaultValue;
            break;
        }
        case SettingList::Path: break;
        }
    }
    callsignEndsWithUnderscore = false;
    g_parameters.store(std::make_shared<const Parameters>());
    publishMode("MSFS 2024", "RT App"); // no RT Direct margin in rangeMeters
    lf_publishParameters();
    EXPECT_TRUE(*g_parameters.load() == Parameters{});
    EXPECT_TRUE(g_parameters.load()->TWO_PROPS);
}

TEST_F(SettingsSnapshot, WritersOnTwoThreadsChangingDifferentFieldsBothSurvive)
{
    lf_publishParameters();
    const int32_t depth0 = g_parameters.load()->MATCHING_DEPTH;
    const int32_t tcas0 = g_parameters.load()->TCAS_FL;
    constexpr int kRounds = 2000;
    std::thread a([] {
        for (int i = 0; i < kRounds; ++i)
            gf_modifyParameters([](Parameters& p) { ++p.MATCHING_DEPTH; });
    });
    std::thread b([] {
        for (int i = 0; i < kRounds; ++i)
            gf_modifyParameters([](Parameters& p) { ++p.TCAS_FL; });
    });
    a.join();
    b.join();
    EXPECT_EQ(g_parameters.load()->MATCHING_DEPTH, depth0 + kRounds);
    EXPECT_EQ(g_parameters.load()->TCAS_FL, tcas0 + kRounds);
}

TEST_F(SettingsSnapshot, ConcurrentIncrementsOfOneFieldAreNeverLost)
{
    gf_modifyParameters([](Parameters& p) { p.AIRP_HEIGHT = 0; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i)
                gf_modifyParameters([](Parameters& p) { ++p.AIRP_HEIGHT; });
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(g_parameters.load()->AIRP_HEIGHT, 4000);
}

TEST_F(SettingsSnapshot, TwoCheckBoxesClickedWhileTheMainTaskWritesAllTakeEffect)
{
    lf_publishParameters();
    constexpr int kRounds = 20000;
    // Both threads start writing together.
    std::atomic<int> ready{0};
    std::thread mainTask([&ready] {
        ++ready;
        while (ready.load() < 2) {
        }
        for (int i = 0; i < kRounds; ++i)
            lf_setParamDestination(i % 2 == 0 ? "EDDF" : "EHAM");
    });
    ++ready;
    while (ready.load() < 2) {
    }
    // Each click publishes its box while the main task keeps publishing its field.
    int lost = 0;
    for (int i = 0; i < kRounds; ++i) {
        RANDOM.value = !RANDOM.value;
        gf_updateParametersFrom(RANDOM);
        TWO_PROPS.value = !TWO_PROPS.value;
        gf_updateParametersFrom(TWO_PROPS);
        const auto p = gf_parametersSnapshot();
        if (p->RANDOM != RANDOM.value || p->TWO_PROPS != TWO_PROPS.value)
            ++lost;
    }
    mainTask.join();
    EXPECT_EQ(lost, 0);
    const auto p = gf_parametersSnapshot();
    EXPECT_EQ(p->RANDOM, RANDOM.value);
    EXPECT_EQ(p->TWO_PROPS, TWO_PROPS.value);
    EXPECT_EQ(p->DESTINATION, "EHAM");
}

TEST_F(SettingsSnapshot, ASnapshotKeptByAReaderNeverChanges)
{
    lf_publishParameters();
    const auto before = gf_parametersSnapshot();
    const bool oldRandom = before->RANDOM;
    RANDOM.value = !oldRandom;
    gf_updateParametersFrom(RANDOM);
    EXPECT_EQ(before->RANDOM, oldRandom);
    EXPECT_EQ(gf_parametersSnapshot()->RANDOM, !oldRandom);
    EXPECT_NE(before.get(), gf_parametersSnapshot().get());
}

TEST_F(SettingsSnapshot, EveryMirroredCheckBoxUpdatesItsField)
{
    const std::vector<std::pair<CheckBoxParameter*, bool Parameters::*>> table = {
        {&SKIP_AIRPORT_SCAN, &Parameters::SKIP_AIRPORT_SCAN},
        {&SKIP_LIVERIES_SCAN, &Parameters::SKIP_LIVERIES_SCAN},
        {&LIG_PRIORITIZE, &Parameters::LIG_PRIORITIZE},
        {&LIG_AUTOMATIC, &Parameters::LIG_AUTOMATIC},
        {&AUTO_RANGE, &Parameters::AUTO_RANGE},
        {&COLLISION_USER_GND, &Parameters::COLLISION_USER_GND},
        {&COLLISION_USER_AIR, &Parameters::COLLISION_USER_AIR},
        {&COLLISION_LIVE_PARKED_GND, &Parameters::COLLISION_LIVE_PARKED_GND},
        {&TWO_PROPS, &Parameters::TWO_PROPS},
        {&LIGHT_AIRCRAFT, &Parameters::LIGHT_AIRCRAFT},
        {&HELICOPTERS, &Parameters::HELICOPTERS},
        {&HIGH_PERF_AIRCRAFT, &Parameters::HIGH_PERF_AIRCRAFT},
        {&RANDOM, &Parameters::RANDOM},
        {&FLIGHT_MESSAGES, &Parameters::FLIGHT_MESSAGES},
        {&GUID_CHANGES, &Parameters::GUID_CHANGES},
        {&NAV_LIGHTS_WHILE_PARKED, &Parameters::NAV_LIGHTS_WHILE_PARKED},
        {&OBJECTID_LIST, &Parameters::OBJECTID_LIST},
        {&SIM_TIME, &Parameters::SIM_TIME},
        {&KEEP_SIM_TIME_PAR, &Parameters::KEEP_SIM_TIME_PAR},
        {&RT_PARKTRAFFIC_ONLY, &Parameters::RT_PARKTRAFFIC_ONLY},
        {&AUTO_PARK, &Parameters::AUTO_PARK},
        {&WEEK, &Parameters::WEEK},
        {&PARK_SOFT, &Parameters::PARK_SOFT},
    };
    lf_publishParameters();
    for (const auto& [setting, field] : table) {
        for (bool v : {true, false}) {
            setting->value = v;
            gf_updateParametersFrom(*setting);
            EXPECT_EQ(g_parameters.load().get()->*field, v) << setting->name;
        }
    }
}

TEST_F(SettingsSnapshot, EveryMirroredIntegerUpdatesItsField)
{
    const std::vector<std::tuple<IntParameter*, int32_t Parameters::*, int32_t>> table = {
        {&MATCHING_DEPTH, &Parameters::MATCHING_DEPTH, 6},
        {&HOLDING_THRESHOLD_METERS, &Parameters::HOLDING_THRESHOLD_METERS, 700},
        {&MAX_HOLDING_MINUTES, &Parameters::MAX_HOLDING_MINUTES, 42},
        {&TCAS_FL, &Parameters::TCAS_FL, 440},
        {&AIRP_RANGE, &Parameters::AIRP_RANGE, 25},
        {&AIRP_HEIGHT, &Parameters::AIRP_HEIGHT, 36000},
        {&parking_percentage, &Parameters::parking_percentage, 85},
        {&MAX_PARK_SEL, &Parameters::MAX_PARK_SEL, 75},
        {&MAX_LIVE_SEL, &Parameters::MAX_LIVE_SEL, 15},
        {&MAX_FIT, &Parameters::MAX_FIT, 11},
        {&PARKING_INTERVAL_MINUTES, &Parameters::PARKING_INTERVAL_MINUTES, 90},
    };
    lf_publishParameters();
    for (const auto& [setting, field, v] : table) {
        setting->value = v;
        gf_updateParametersFrom(*setting);
        EXPECT_EQ(g_parameters.load().get()->*field, v) << setting->name;
    }
}

TEST_F(SettingsSnapshot, MaxFitFlPublishesTheMaxFitSetting)
{
    lf_publishParameters();
    MAX_FIT.value = 9;
    gf_updateParametersFrom(MAX_FIT_FL);
    EXPECT_EQ(gf_parametersSnapshot()->MAX_FIT, 9);
}

TEST_F(SettingsSnapshot, SettingsWithoutAFieldPublishNothing)
{
    lf_publishParameters();
    const auto before = g_parameters.load();
    for (const Parameter* p : std::initializer_list<const Parameter*>{
             &ALWAYS_ON_TOP, &AEROWINX, &RANGE, &RANGE_1, &FLIGHT_LEVEL_2, &SIM_CHOICE, &RT_CHOISE, &QNH_UNIT,
             &PORT_NUMBER, &COLLAPSED, &LAST_EPOCH_TIME, &PROGRAM_VERSION})
        gf_updateParametersFrom(*p);
    EXPECT_EQ(g_parameters.load().get(), before.get());
}

TEST_F(SettingsSnapshot, AirGroundSelectorCodes)
{
    const std::vector<std::pair<std::string, uint8_t>> table = {
        {"All traffic", 0}, {"", 0}, {"anything", 0}, {"airborne only", 0},
        {"Airborne only ", 0}, {"Airborne only", 1}, {"Ground only", 2},
    };
    for (const auto& [text, code] : table) {
        ALL_AIR_GND_SELECTOR.value = text;
        lf_publishParameters();
        EXPECT_EQ(gf_parametersSnapshot()->ALL_AIR_GND_SELECTOR, code) << "full publication of '" << text << "'";
        gf_modifyParameters([](Parameters& p) { p.ALL_AIR_GND_SELECTOR = 9; });
        gf_updateParametersFrom(ALL_AIR_GND_SELECTOR);
        EXPECT_EQ(gf_parametersSnapshot()->ALL_AIR_GND_SELECTOR, code) << "update of '" << text << "'";
    }
}

TEST_F(SettingsSnapshot, TimeShiftFieldsChangeTogether)
{
    lf_publishParameters();
    TIME_SHIFT_DAYS.value = 3;
    TIME_SHIFT_HOURS.value = 4;
    TIME_SHIFT_MINS.value = 5;
    gf_updateParametersFrom(TIME_SHIFT_HOURS);
    const auto p = gf_parametersSnapshot();
    EXPECT_EQ(p->TIME_SHIFT_DAYS, 3);
    EXPECT_EQ(p->TIME_SHIFT_HOURS, 4);
    EXPECT_EQ(p->TIME_SHIFT_MINS, 5);
}

TEST_F(SettingsSnapshot, BlockSettingsPublishTheWholeFilter)
{
    lf_publishParameters();
    BLOCK_AIRCRAFT.value = "A320 KLM PH-BXA";
    BLOCK_CALLSIGN.value = "KLM12_";
    BLOCK_REGCODE.value = "PH-BXA";
    BLOCK_HEXIDDEC.value = 4660;
    callsignEndsWithUnderscore = true;
    gf_updateParametersFrom(BLOCK_HEXIDDEC);
    const BlockFilter& f = gf_parametersSnapshot()->blockFilter;
    EXPECT_EQ(f.aircraft, "A320 KLM PH-BXA");
    EXPECT_EQ(f.callsign, "KLM12_");
    EXPECT_EQ(f.regcode, "PH-BXA");
    EXPECT_EQ(f.hexid, 4660);
    EXPECT_TRUE(f.callsignEndsWithUnderscore);

    DESTINATION.value = "LFPG";
    gf_updateParametersFrom(DESTINATION);
    EXPECT_EQ(gf_parametersSnapshot()->DESTINATION, "LFPG");
}

TEST_F(SettingsSnapshot, FullPublicationKeepsTheFilterOfTheSameBlockedAircraft)
{
    // The engine followed the blocked aircraft to a new callsign.
    gf_modifyParameters([](Parameters& p) {
        p.blockFilter = BlockFilter{"B738 RYR", "RYR55", "EI-ABC", 1234, false};
    });
    BLOCK_AIRCRAFT.value = "B738 RYR";
    BLOCK_CALLSIGN.value = "RYR5_";
    BLOCK_REGCODE.value = "";
    BLOCK_HEXIDDEC.value = 0;
    callsignEndsWithUnderscore = true;
    lf_publishParameters();
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.callsign, "RYR55");
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.hexid, 1234);

    BLOCK_AIRCRAFT.value = "A20N EZY";
    lf_publishParameters();
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.aircraft, "A20N EZY");
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.callsign, "RYR5_");
    EXPECT_TRUE(gf_parametersSnapshot()->blockFilter.callsignEndsWithUnderscore);

    // An empty selection never keeps an old filter.
    gf_modifyParameters([](Parameters& p) { p.blockFilter = BlockFilter{"", "X", "", 5, false}; });
    BLOCK_AIRCRAFT.value = "";
    BLOCK_CALLSIGN.value = "";
    lf_publishParameters();
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.callsign, "");
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.hexid, 0);
}

TEST_F(SettingsSnapshot, RtDirectAddsTenKilometresToTheRange)
{
    RANGE.value = 40;
    publishMode("MSFS 2024", "RT App");
    lf_publishParameters();
    EXPECT_EQ(gf_parametersSnapshot()->rangeMeters, 74080);
    EXPECT_EQ(gf_parametersSnapshot()->rangeNm, 40.0);
    EXPECT_EQ(gf_parametersSnapshot()->rangeNmSquared, 1600.0);
    EXPECT_EQ(gf_parametersSnapshot()->rangeNmWhole, 40);

    publishMode("MSFS 2024", "RT Direct");
    lf_publishParameters();
    EXPECT_EQ(gf_parametersSnapshot()->rangeMeters, 84080);
}

TEST_F(SettingsSnapshot, SetRangeClampsTheSettingButPublishesTheValueAsGiven)
{
    RANGE.value = 40;
    publishMode("MSFS 2020", "RT App");
    lf_publishParameters();

    gf_setRange(150);
    EXPECT_EQ(RANGE.value, 100);
    auto p = gf_parametersSnapshot();
    EXPECT_EQ(p->rangeNm, 150.0);
    EXPECT_EQ(p->rangeNmSquared, 22500.0);
    EXPECT_EQ(p->rangeMeters, 150 * 1852);
    EXPECT_EQ(p->rangeNmWhole, 40);

    publishMode("MSFS 2020", "RT Direct");
    gf_setRange(1);
    EXPECT_EQ(RANGE.value, 2);
    p = gf_parametersSnapshot();
    EXPECT_EQ(p->rangeNm, 1.0);
    EXPECT_EQ(p->rangeMeters, 1852 + 10000);
    EXPECT_EQ(p->rangeNmWhole, 40);

    gf_setParametersRange(25);
    p = gf_parametersSnapshot();
    EXPECT_EQ(p->rangeNmWhole, 25);
    EXPECT_EQ(p->rangeNm, 1.0);
}

TEST_F(SettingsSnapshot, MaxFitFlMirrorsMaxFit)
{
    const std::vector<std::pair<int32_t, float>> table = {{47, 24.0f}, {0, 0.5f}, {5, 3.0f}, {60, 24.0f}, {-4, 0.5f}};
    const auto before = g_parameters.load();
    for (const auto& [maxFit, hours] : table) {
        MAX_FIT.value = maxFit;
        gf_syncMaxFitFl();
        EXPECT_EQ(MAX_FIT_FL.value, hours) << maxFit;
    }
    EXPECT_EQ(g_parameters.load().get(), before.get());
}

TEST_F(SettingsSnapshot, SimulatorAndTrafficSourceChoices)
{
    kvr::test::ScopedTestFolders folders("mode");
    gf_openLog();
    publishMode("MSFS 2020", "RT App");
    EXPECT_TRUE(gf_isMSFS2020());
    EXPECT_FALSE(gf_isRTDirect());

    publishMode("MSFS 2024", "RT Direct");
    EXPECT_FALSE(gf_isMSFS2020());
    EXPECT_TRUE(gf_isRTDirect());

    publishMode("msfs 2020", "RT app");
    EXPECT_FALSE(gf_isMSFS2020());
    EXPECT_TRUE(gf_isRTDirect());
    EXPECT_EQ(SIM_CHOICE.value, "MSFS 2024");
    EXPECT_EQ(RT_CHOISE.value, "RT Direct");

    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("==> Invalid simulator choice 'msfs 2020', using 'MSFS 2024'\n"), std::string::npos);
    EXPECT_NE(log.find("==> Invalid traffic source 'RT app', using 'RT Direct'\n"), std::string::npos);
}

TEST(RadiusRules, RadiiAreMadeNonDecreasingAndLevelsStrictlyIncreasing)
{
    std::array<double, 5> radii{5, 3, 8, 8, 2};
    std::array<double, 3> levels{100, 100, 90};
    EXPECT_TRUE(lf_applyRadiusRules(radii, levels));
    EXPECT_EQ(radii, (std::array<double, 5>{5, 5, 8, 8, 8}));
    EXPECT_EQ(levels, (std::array<double, 3>{90, 100, 101}));
}

TEST(RadiusRules, OrderedValuesAreLeftAlone)
{
    std::array<double, 5> radii{10, 20, 40, 50, 60};
    std::array<double, 3> levels{100, 200, 300};
    EXPECT_FALSE(lf_applyRadiusRules(radii, levels));
    EXPECT_EQ(radii, (std::array<double, 5>{10, 20, 40, 50, 60}));
    EXPECT_EQ(levels, (std::array<double, 3>{100, 200, 300}));
}

TEST(RadiusRules, NegativeRadiiAndUnsortedLevelsCountAsChanges)
{
    std::array<double, 5> radii{-3, 0, 1, 2, 3};
    std::array<double, 3> levels{300, 200, 100};
    EXPECT_TRUE(lf_applyRadiusRules(radii, levels));
    EXPECT_EQ(radii[0], 0.0);
    EXPECT_EQ(levels, (std::array<double, 3>{100, 200, 300}));

    std::array<double, 5> ok{0, 1, 2, 3, 4};
    std::array<double, 3> equal{50, 50, 50};
    EXPECT_TRUE(lf_applyRadiusRules(ok, equal));
    EXPECT_EQ(equal, (std::array<double, 3>{50, 51, 52}));
}

TEST(HoldingThreshold, SnapsToTheNearerGridValueTiesGoingLower)
{
    const std::vector<std::pair<int32_t, int32_t>> table = {
        {525, 500}, {530, 500}, {549, 500}, {550, 500}, {551, 600}, {560, 600}, {5, 10},
        {10, 10},   {-7, 10},   {1000, 900}, {900, 900}, {899, 900}, {30, 10}, {31, 50},
        {475, 450}, {476, 500}, {250, 250},  {650, 600}, {651, 700},
    };
    for (const auto& [in, out] : table)
        EXPECT_EQ(lf_snapHoldingThreshold(in), out) << in;
}

// ---- Start-up checks against a parameters.xml ------------------------------------

class StartupChecks : public SettingsSnapshot {
protected:
    void SetUp() override
    {
        SettingsSnapshot::SetUp();
        folders = std::make_unique<kvr::test::ScopedTestFolders>("radius");
        std::filesystem::create_directories(gf_settingsFolder());
        gf_openLog();
    }
    void TearDown() override
    {
        gf_closeLog();
        folders.reset();
        SettingsSnapshot::TearDown();
    }

    static void writeParameters(const std::vector<std::pair<std::string, std::string>>& values)
    {
        pugi::xml_document doc;
        auto section = doc.append_child("root").append_child("parameters");
        for (const auto& [key, value] : values) {
            auto e = section.append_child("parameter");
            e.append_attribute("name") = key.c_str();
            e.append_attribute("value") = value.c_str();
        }
        ASSERT_TRUE(doc.save_file(gf_parametersXmlPath().c_str()));
    }

    static std::optional<std::string> savedValue(const std::string& key)
    {
        pugi::xml_document doc;
        if (!doc.load_file(gf_parametersXmlPath().c_str()))
            return std::nullopt;
        for (auto e : doc.child("root").child("parameters").children("parameter"))
            if (key == e.attribute("name").value())
                return std::string(e.attribute("value").value());
        return std::nullopt;
    }

    // A version just below the running program's.
    static std::string olderVersion()
    {
        const VersionData v = gf_programVersion();
        if (v.patch > 0)
            return VersionData(v.major, v.minor, v.patch - 1).toString();
        if (v.minor > 0)
            return VersionData(v.major, v.minor - 1, 99).toString();
        return VersionData(v.major - 1, 99, 99).toString();
    }

    std::unique_ptr<kvr::test::ScopedTestFolders> folders;
};

TEST_F(StartupChecks, BadRadiiAreRepairedStoredAndSaved)
{
    writeParameters({{"PROGRAM_VERSION", gf_programVersion().toString()},
                     {"RANGE_GROUND", "5"},
                     {"RANGE_1", "3"},
                     {"RANGE_2", "8"},
                     {"RANGE_3", "8"},
                     {"RANGE_ABOVE", "2"},
                     {"FLIGHT_LEVEL_1", "100"},
                     {"FLIGHT_LEVEL_2", "100"},
                     {"FLIGHT_LEVEL_3", "90"}});
    lf_checkRadiusParameters();

    EXPECT_EQ(RANGE_GROUND.value, 5);
    EXPECT_EQ(RANGE_1.value, 5);
    EXPECT_EQ(RANGE_2.value, 8);
    EXPECT_EQ(RANGE_3.value, 8);
    EXPECT_EQ(RANGE_ABOVE.value, 8);
    EXPECT_EQ(FLIGHT_LEVEL_1.value, 90);
    EXPECT_EQ(FLIGHT_LEVEL_2.value, 100);
    EXPECT_EQ(FLIGHT_LEVEL_3.value, 101);
    EXPECT_EQ(savedValue("RANGE_1"), "5");
    EXPECT_EQ(savedValue("RANGE_ABOVE"), "8");
    EXPECT_EQ(savedValue("FLIGHT_LEVEL_1"), "90");
    EXPECT_EQ(savedValue("FLIGHT_LEVEL_3"), "101");

    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("==> Radius parameters changed to fulfill the requirements (see Manual): \n"),
              std::string::npos);
    EXPECT_EQ(log.find("Radius parameters okay"), std::string::npos);
}

TEST_F(StartupChecks, LevelsAtTheTopOfTheirRangeAreOkayAndNotSavedAgain)
{
    writeParameters({{"PROGRAM_VERSION", gf_programVersion().toString()},
                     {"FLIGHT_LEVEL_1", "480"},
                     {"FLIGHT_LEVEL_2", "480"},
                     {"FLIGHT_LEVEL_3", "480"}});
    lf_checkRadiusParameters();
    EXPECT_EQ(FLIGHT_LEVEL_1.value, 480);
    EXPECT_EQ(FLIGHT_LEVEL_3.value, 480);
    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("\nRadius parameters okay\n"), std::string::npos);
    EXPECT_EQ(log.find("Radius parameters changed"), std::string::npos);
    EXPECT_EQ(log.find("FLIGHT_LEVEL_2=480\nFLIGHT_LEVEL_3=480"), log.rfind("FLIGHT_LEVEL_2=480\nFLIGHT_LEVEL_3=480"))
        << "only the load logs the levels; nothing saves them";
}

TEST_F(StartupChecks, GoodRadiiAreOkay)
{
    writeParameters({{"PROGRAM_VERSION", gf_programVersion().toString()}});
    lf_checkRadiusParameters(); // every radius takes its default, which is in order
    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("\nRadius parameters okay\n"), std::string::npos);
    EXPECT_EQ(log.find("Radius parameters changed"), std::string::npos);
}

TEST_F(StartupChecks, AFreshFileSkipsTheRadiusCheckAndTheVersionStep)
{
    RANGE_1.value = 3; // out of order in memory; a new file does not check it
    RANGE_GROUND.value = 10;
    PROGRAM_VERSION.value = "1.0.0";
    HOLDING_THRESHOLD_METERS.value = 530;
    lf_checkRadiusParameters();
    EXPECT_EQ(RANGE_1.value, 3);
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value, 530);
    const std::string log = closeAndReadLog();
    EXPECT_EQ(log.find("Radius parameters"), std::string::npos);
    EXPECT_EQ(log.find("version update"), std::string::npos);
}

TEST_F(StartupChecks, UpdateFromAnOlderVersionSnapsTheHoldingThresholdAndRemovesTheInstallerFolder)
{
    std::filesystem::create_directories(g_newVersionFolder / "sub");
    kvr::test::writeBytes(g_newVersionFolder / "sub" / "setup.exe", "x");
    const std::string older = olderVersion();
    writeParameters({{"PROGRAM_VERSION", older}, {"HOLDING_THRESHOLD_METERS", "530"}});
    lf_checkRadiusParameters();

    const std::string program = gf_programVersion().toString();
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value, 500);
    EXPECT_EQ(savedValue("HOLDING_THRESHOLD_METERS"), "500");
    EXPECT_EQ(PROGRAM_VERSION.value, program);
    EXPECT_EQ(savedValue("PROGRAM_VERSION"), program);
    EXPECT_FALSE(std::filesystem::exists(g_newVersionFolder));
    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("\nThis is a version update from " + older + " -> " + program + "\n"), std::string::npos);
}

TEST_F(StartupChecks, TheSameVersionAgainChangesNothing)
{
    std::filesystem::create_directories(g_newVersionFolder);
    writeParameters({{"PROGRAM_VERSION", gf_programVersion().toString()}, {"HOLDING_THRESHOLD_METERS", "530"}});
    lf_checkRadiusParameters();
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value, 530);
    EXPECT_TRUE(std::filesystem::exists(g_newVersionFolder));
    EXPECT_EQ(closeAndReadLog().find("version update"), std::string::npos);
}

TEST_F(StartupChecks, AnEmptyVersionIsOnlyStored)
{
    writeParameters({{"PROGRAM_VERSION", ""}, {"HOLDING_THRESHOLD_METERS", "37"}});
    lf_checkRadiusParameters();
    EXPECT_EQ(PROGRAM_VERSION.value, gf_programVersion().toString());
    EXPECT_EQ(savedValue("PROGRAM_VERSION"), gf_programVersion().toString());
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value, 37);
    EXPECT_EQ(closeAndReadLog().find("version update"), std::string::npos);
}

TEST_F(StartupChecks, ANewerStoredVersionIsReplacedWithoutAnUpdate)
{
    writeParameters({{"PROGRAM_VERSION", "999.0.0"}, {"HOLDING_THRESHOLD_METERS", "530"}});
    lf_checkRadiusParameters();
    EXPECT_EQ(PROGRAM_VERSION.value, gf_programVersion().toString());
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value, 530);
    EXPECT_EQ(closeAndReadLog().find("version update"), std::string::npos);
}

} // namespace
