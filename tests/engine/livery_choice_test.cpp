#include <gtest/gtest.h>

#include <set>

#include <fmt/format.h>

#include "core/settings.h"
#include "engine/aircraft.h"
#include "engine/livery_choice.h"
#include "engine/spawning.h"
#include "engine/traffic_state.h"
#include "liveries/livery_memory.h"
#include "liveries/regcode_lists.h"
#include "liveries/similar_models.h"
#include "simlink/user_aircraft.h"
#include "tests/liveries/livery_fixture.h"
#include "tests/support/ui_recorder.h"

namespace fs = std::filesystem;

namespace {

class LiveryChoice : public kvr::test::LiveryFixture {
protected:
    void SetUp() override
    {
        LiveryFixture::SetUp();
        fs::create_directories(g_outputErrorsFolder);
        LiveryScanResult = {
            livery("KLM", "", "B738", false, "Boeing 737-800 KLM"),
            livery("KLM", "", "B77W", false, "Boeing 777-300ER KLM"),
            livery("KLM", "", "B77W", false, "Boeing 777-300ER KLM Orange Pride"),
            livery("KLM", "KLC", "E190", false, "Embraer 190 KLM Cityhopper", "PH-EZA"),
            livery("TRA", "", "B738", false, "Boeing 737-800 Transavia"),
            livery("BAW", "", "A320", false, "Airbus A320-200 British Airways"),
            livery("BAW", "", "A20N", false, "Airbus A320neo British Airways"),
            livery("BAW", "", "B77W", false, "Boeing 777-300ER British Airways"),
            livery("DLH", "", "A320", false, "Airbus A320-200 Lufthansa"),
            livery("DLH", "", "A20N", false, "Airbus A320neo Lufthansa Fanhansa", "D-AINC"),
            livery("DLH", "", "A20N", false, "Airbus A320neo Lufthansa"),
            livery("DLH", "", "B748", false, "Boeing 747-8 Lufthansa"),
            livery("EZY", "", "A320", false, "Airbus A320-200 easyJet"),
            livery("EZY", "EJU", "A320", false, "Airbus A320-200 easyJet Europe"),
            livery("BEE", "", "DH8D", false, "Dash 8 Q400 Flybe", "G-JEDM"),
            livery("FDX", "", "B77L", true, "Boeing 777F FedEx"),
            livery("ZZZ", "", "B738", false, "FSLTL_B738_ZZZZ White"),
            livery("ZZZ", "", "C172", false, "Cessna 172 Skyhawk Generic"),
            livery("XYZ", "", "", false, "Livery without a model"),
        };
        ASSERT_TRUE(gf_writeScannedLiveries());
        // A report of the livery scan in output\errors stays.
        kvr::test::writeBytes(g_outputErrorsFolder / "ScanReport.txt", "scan");
        gf_processScannedLiveries();
        const auto count = m_window.last<GuiUpdate::LiveryCount>();
        ASSERT_TRUE(count);
        EXPECT_EQ(count->count, LiveryScanResult.size());
        ASSERT_TRUE(m_window.last<GuiUpdate::Repaint>());
        EXPECT_EQ(m_window.last<GuiUpdate::Repaint>()->bands, 1);
        m_window.clear();
        gf_publishUserAcPosition(UserAcPosition{});
    }
    void TearDown() override
    {
        LiveryScanResult.clear();
        LiveryFixture::TearDown();
    }

    kvr::test::RecordingUiSink m_window;

    static AircraftBase aircraft(const char* airline, const char* oper, const char* model, const char* reg = "",
                                 uint8_t cargo = 0)
    {
        AircraftBase ac;
        ac.identity.ids = {gf_airlineCode2Id(airline), gf_airlineCode2Id(oper), gf_modelCode2Id(model), cargo, 0};
        ac.identity.callsign = fmt::format("{}123", airline);
        ac.identity.registration = reg;
        ac.identity.category = gf_modelCategory(ac.identity.ids.model);
        ac.identity.hexid = 0x484000;
        return ac;
    }
};

struct Case {
    const char* airline;
    const char* oper;
    const char* model;
    const char* reg;
    uint8_t cargo;
    int32_t depth;
    int step; // -1: no livery
    const char* title; // "" with a step: any title of the listed ones
    bool beyond;
};

} // namespace

TEST_F(LiveryChoice, TablesBuiltFromTheScannedList)
{
    const std::string text = log();
    EXPECT_TRUE(fs::exists(g_outputErrorsFolder / "ScanReport.txt"));
    EXPECT_NE(text.find("Invalid livery index: airl="), std::string::npos);
    EXPECT_NE(text.find("   18 livery titles"), std::string::npos) << text;
    // A livery with an operator is filed under the joined code and the operator, not the airline.
    EXPECT_TRUE(gf_hasAirlineModelLivery(gf_airlineCode2Id("EZYEJU"), gf_modelCode2Id("A320")));
    EXPECT_TRUE(gf_hasAirlineModelLivery(gf_airlineCode2Id("KLC"), gf_modelCode2Id("E190")));
    EXPECT_FALSE(gf_hasAirlineModelLivery(gf_airlineCode2Id("KLM"), gf_modelCode2Id("E190")));
    EXPECT_EQ(ModelLiveries[0].at(gf_modelCode2Id("E190")).size(), 2u); // once per key
    EXPECT_EQ(ModelLiveries[1].at(gf_modelCode2Id("B77L")).size(), 1u);
    EXPECT_FALSE(ModelLiveries[0].contains(gf_modelCode2Id("B77L")));
    // Regcodes: in-line, AIG (overriding), special titles and unique codes.
    EXPECT_EQ(RegcodeLiveries.at("PH-BXA"), "Boeing 737-800 KLM");
    EXPECT_EQ(RegcodeLiveries.at("D-AINC"), "Airbus A320neo Lufthansa Fanhansa");
    EXPECT_FALSE(RegcodeLiveries.contains("N277UP"));
    EXPECT_TRUE(SpecialLiveryTitles.contains("Airbus A320neo Lufthansa Fanhansa"));
    EXPECT_EQ(UniqueRegcodes, (std::set<std::string, std::less<>>{"D-AINC", "PH-BVD"}));
    // Similar models: BAW has B77W, so B772 maps to it; categories list the models.
    EXPECT_EQ(AirlineSimilarModels.at(gf_airlineCode2Id("BAW")).at(gf_modelCode2Id("B772")),
              std::vector<ModelId>{gf_modelCode2Id("B77W")});
    EXPECT_EQ(SimilarModelsWithLiveries.at(gf_modelCode2Id("PA28")), std::vector<ModelId>{gf_modelCode2Id("C172")});
    EXPECT_FALSE(SimilarModelsWithLiveries.contains(gf_modelCode2Id("C172")));
    EXPECT_EQ(CategoryModels[static_cast<size_t>(Category::Light)], std::vector<ModelId>{gf_modelCode2Id("C172")});
    EXPECT_TRUE(CategoryModels[static_cast<size_t>(Category::HighPerf)].empty());
    for (const char* line : {"Category HighPerf: No livery found", "Category Light: 1 pax liverie\n",
                             "Category Heavy: 4 pax liveries and 1 cargo liverie\n", "2 models have a generic livery",
                             "  B738,C172", "    2 special liveries", "    2 unique liveries"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(kvr::test::readBytes(g_outputInfoFolder / "OfflineRegcodes.txt").find("new regcodes added"),
              std::string::npos);
}

TEST_F(LiveryChoice, UserListsOverrideAndTheReports)
{
    // Two liveries with the same in-line registration; user lists that take a
    // code from the AIG title and name a title that is not installed.
    LiveryScanResult.push_back(livery("TRA", "", "B738", false, "Boeing 737-800 Transavia Alt", "PH-EZA"));
    ASSERT_TRUE(gf_writeScannedLiveries());
    fs::create_directories(g_myRegcodesFolder);
    kvr::test::writeBytes(g_myRegcodesFolder / "a.txt", "Boeing 737-800 Transavia; PH-BXA, PH-HXB\n"
                                                        "Not Installed; PH-ZZA; #\na;b;c;d\n");
    kvr::test::writeBytes(g_myRegcodesFolder / "b.txt", "Boeing 737-800 Transavia Alt; PH-HXB\n");
    gf_processScannedLiveries();

    EXPECT_EQ(RegcodeLiveries.at("PH-BXA"), "Boeing 737-800 Transavia");
    EXPECT_EQ(RegcodeLiveries.at("PH-HXB"), "Boeing 737-800 Transavia Alt"); // the later file wins
    EXPECT_EQ(RegcodeLiveries.at("PH-EZA"), "Embraer 190 KLM Cityhopper");
    EXPECT_TRUE(UniqueRegcodes.contains("PH-HXB"));
    const std::string inlineReport = kvr::test::readBytes(g_outputErrorsFolder / "InlineRegcodes.txt");
    EXPECT_NE(inlineReport.find("PH-EZA 'Boeing 737-800 Transavia Alt' => already in use by 'Embraer 190 KLM Cityhopper'\n"),
              std::string::npos)
        << inlineReport;
    EXPECT_EQ(kvr::test::readBytes(g_outputErrorsFolder / "MissingCustomRepaints.txt"), "Not Installed; PH-ZZA\n");
    const std::string offline = kvr::test::readBytes(g_outputInfoFolder / "OfflineRegcodes.txt");
    for (const char* line : {"Processing 'input\\AIG-regcodes.enc'\n", "Processing files in input\\my_regcodes\n",
                             "   regcode PH-BXA for 'Boeing 737-800 Transavia', instead of the same for 'Boeing 737-800 KLM'\n",
                             "   regcode PH-HXB for 'Boeing 737-800 Transavia Alt', instead of the same for 'Boeing 737-800 Transavia'\n",
                             "1 new regcode added, 2 regcodes replaced, 1 regcode defined as special\n"})
        EXPECT_NE(offline.find(line), std::string::npos) << line << offline;
    const std::string text = log();
    EXPECT_NE(text.find("    1 in-line regcode clashes, see 'output\\errors\\InlineRegcodes.txt'"), std::string::npos);
    EXPECT_NE(text.find("    1 custom repaint title not found in scanned liveries, see "), std::string::npos);
    EXPECT_NE(text.find("==> input\\my_regcodes\\a.txt line 3: expected at most 3 semicolon-separated fields"),
              std::string::npos);
    EXPECT_NE(text.find("There were errors processing the regcode files in folder 'input\\my_regcodes', see Log.txt"),
              std::string::npos);

    // Without the AIG list no offline regcodes at all, the user's neither.
    fs::remove(g_aigRegcodesEncPath);
    gf_processScannedLiveries();
    EXPECT_EQ(RegcodeLiveries.size(), 3u); // in-line only
    EXPECT_FALSE(RegcodeLiveries.contains("PH-HXB") || RegcodeLiveries.contains("PH-BXA"));
    EXPECT_NE(log().find("==> input\\AIG-regcodes.enc not available"), std::string::npos);
}

TEST_F(LiveryChoice, LadderStepsAndTitles)
{
    const std::vector<Case> cases{
        {"KLM", "", "B77W", "PH-BVD", 0, 4, 0, "Boeing 777-300ER KLM Orange Pride", false},
        {"KLM", "", "B738", "PH-BXA", 0, 1, 1, "Boeing 737-800 KLM", false},
        {"KLM", "", "B738", "PH-XXX", 0, 1, -1, "", false},
        {"KLM", "", "B738", "", 0, 2, 2, "Boeing 737-800 KLM", false},
        {"DLH", "", "A20N", "", 0, 4, 2, "Airbus A320neo Lufthansa", false}, // the special title is never picked
        {"EZY", "EJU", "A320", "", 0, 4, 2, "Airbus A320-200 easyJet Europe", false},
        {"KLM", "KLC", "E190", "", 0, 4, 2, "Embraer 190 KLM Cityhopper", false},
        {"FDX", "", "B77L", "", 1, 4, 2, "Boeing 777F FedEx", false},
        {"DLH", "", "B748", "", 1, 4, 2, "Boeing 747-8 Lufthansa", false}, // cargo falls back on pax
        {"BAW", "", "B772", "", 0, 3, 3, "Boeing 777-300ER British Airways", false},
        {"BAW", "", "B772", "", 0, 2, -1, "", false},
        // The private aircraft's generic step is within depth 2: no TCAS removal.
        {"PVT", "", "C172", "", 0, 2, 4, "Cessna 172 Skyhawk Generic", false},
        {"UAE", "", "B738", "", 0, 4, 4, "FSLTL_B738_ZZZZ White", false},
        {"UAE", "", "A388", "", 0, 4, -1, "", false},
        {"UAE", "", "A21N", "", 0, 5, -1, "", false},
        {"UAE", "", "A20N", "", 0, 5, 5, "", false},
        {"UAE", "", "A21N", "", 0, 6, 6, "", false},
        {"UAE", "", "A388", "", 0, 7, 7, "", false},
        {"UAE", "", "A388", "", 0, 6, -1, "", false},
        {"ABC", "", "PA28", "", 0, 4, 6, "Cessna 172 Skyhawk Generic", false}, // small: steps 5-7 at any depth
        {"ABC", "", "F16", "", 0, 7, -1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} {} {} depth {}", c.airline, c.oper, c.model, c.reg, c.depth));
        setParameters(c.depth, false);
        AircraftBase ac = aircraft(c.airline, c.oper, c.model, c.reg, c.cargo);
        std::array<int32_t, 9> before{};
        for (size_t s = 0; s < 9; ++s)
            before[s] = gf_liveryMatchCount(s);
        const bool chosen = gf_pickLiveryLiveAc(ac, 10000.0);
        EXPECT_EQ(chosen, c.step >= 0);
        if (c.step < 0) {
            EXPECT_TRUE(ac.identity.liveryTitle.empty());
            continue;
        }
        if (*c.title)
            EXPECT_EQ(ac.identity.liveryTitle, c.title);
        else
            EXPECT_TRUE(LiveryTitles.contains(ac.identity.liveryTitle));
        EXPECT_EQ(ac.identity.matchedBeyondDepth, c.beyond ? 1 : 0);
        for (size_t s = 0; s < 9; ++s)
            EXPECT_EQ(gf_liveryMatchCount(s), before[s] + (static_cast<int>(s) == c.step ? 1 : 0)) << s;
        EXPECT_NE(log().find(fmt::format(" ={}= {}", c.step, ac.identity.liveryTitle)), std::string::npos);
    }
    AircraftBase fsltl = aircraft("UAE", "", "B738");
    ASSERT_TRUE(gf_pickLiveryLiveAc(fsltl, 0.0));
    EXPECT_EQ(fsltl.identity.isFsltlLivery, 1);
}

TEST_F(LiveryChoice, TcasLevelOpensTheLastStep)
{
    setParameters(4, false, 180);
    UserAcPosition user;
    user.altitude = 25000.0;
    gf_publishUserAcPosition(user);
    AircraftBase low = aircraft("ABC", "", "F16");
    EXPECT_FALSE(gf_pickLiveryLiveAc(low, 17000.0));
    AircraftBase high = aircraft("ABC", "", "F16");
    ASSERT_TRUE(gf_pickLiveryLiveAc(high, 30000.0));
    const auto& b738 = ModelLiveries[0].at(gf_modelCode2Id("B738"));
    EXPECT_NE(std::find(b738.begin(), b738.end(), high.identity.liveryTitle), b738.end());
    EXPECT_EQ(high.identity.matchedBeyondDepth, 1);
    EXPECT_NE(log().find(fmt::format(" =8= {}", high.identity.liveryTitle)), std::string::npos);

    // Up there the deeper matching reaches further for every aircraft, but
    // only a step the chosen depth never reaches marks it: the generic
    // airline below depth 4, a small aircraft's type steps below depth 4
    // (the generic steps do not run there), not its type steps from depth 4.
    struct Deep {
        const char* airline;
        const char* model;
        int32_t depth;
        int step;
        bool beyond;
    };
    for (const Deep& d : {Deep{"UAE", "B738", 3, 4, true}, Deep{"ABC", "PA28", 4, 6, false},
                          Deep{"ABC", "PA28", 3, 6, true}, Deep{"ABC", "C172", 1, 4, true},
                          Deep{"UAE", "A388", 4, 7, true}}) {
        SCOPED_TRACE(fmt::format("{} {} depth {}", d.airline, d.model, d.depth));
        setParameters(d.depth, false, 180);
        AircraftBase ac = aircraft(d.airline, "", d.model);
        const int32_t before = gf_liveryMatchCount(static_cast<size_t>(d.step));
        ASSERT_TRUE(gf_pickLiveryLiveAc(ac, 30000.0));
        EXPECT_EQ(gf_liveryMatchCount(static_cast<size_t>(d.step)), before + 1);
        EXPECT_EQ(ac.identity.matchedBeyondDepth, d.beyond ? 1 : 0);
    }

    // A new match decides afresh: the flag of the earlier one goes with it.
    setParameters(4, false, 180);
    high.identity.liveryTitle = {};
    high.identity.registration = "PH-BXA";
    ASSERT_TRUE(gf_pickLiveryLiveAc(high, 16000.0));
    EXPECT_EQ(high.identity.liveryTitle, "Boeing 737-800 KLM");
    EXPECT_EQ(high.identity.matchedBeyondDepth, 0);
    // And sets it again when the new match lies beyond.
    high.identity.liveryTitle = {};
    high.identity.registration = {};
    ASSERT_TRUE(gf_pickLiveryLiveAc(high, 30000.0));
    EXPECT_EQ(high.identity.matchedBeyondDepth, 1);
}

// A livery that only the deeper matching above the level found is not kept
// for the aircraft's return: records of it that come back below the level
// are matched within the chosen depth again (here: none, so it is not
// created); one matched within the depth keeps its livery.
TEST_F(LiveryChoice, ALiveryFoundOnlyAboveTheLevelIsNotKeptForTheReturn)
{
    setParameters(4, false, 180);
    UserAcPosition user;
    user.altitude = 25000.0;
    gf_publishUserAcPosition(user);
    gf_clearLiveryMemory();
    auto born = [](const char* airline, const char* model, double altitudeFt) {
        TrafficSample s;
        s.lat = 52.3;
        s.lon = 4.7;
        s.altitudeFt = altitudeFt;
        s.speedKt = 300.0;
        s.airborne = 1;
        LiveAircraft ac(s, aircraft(airline, "", model), 1.7e9);
        s.lat += 0.01;
        ac.stream.samples.push_back(s);
        return ac;
    };
    LiveAircraft high = born("ABC", "F16", 30000.0);
    spawnLiveAc(high);
    EXPECT_EQ(high.sim.simState, SimState::adding2sim);
    EXPECT_EQ(high.identity.matchedBeyondDepth, 1);
    EXPECT_FALSE(lf_rememberedLiveryOfHexid(high.identity.hexid));
    LiveAircraft back = born("ABC", "F16", 12000.0);
    spawnLiveAc(back);
    EXPECT_TRUE(back.identity.liveryTitle.empty());
    EXPECT_EQ(back.sim.removeFlag, 1);
    EXPECT_NE(back.sim.simState, SimState::adding2sim);

    LiveAircraft klm = born("KLM", "B738", 30000.0);
    klm.identity.hexid = 0x484001;
    spawnLiveAc(klm);
    EXPECT_EQ(klm.identity.matchedBeyondDepth, 0);
    ASSERT_TRUE(lf_rememberedLiveryOfHexid(0x484001));
    EXPECT_EQ(*lf_rememberedLiveryOfHexid(0x484001), "Boeing 737-800 KLM");
    gf_trafficState().addingStack.clear();
    gf_clearLiveryMemory();
}

TEST_F(LiveryChoice, RandomPicksNeverChooseSpecialTitles)
{
    setParameters(4, true);
    const std::set<std::string_view> allowed{"Airbus A320neo Lufthansa"};
    for (int i = 0; i < 200; ++i) {
        AircraftBase ac = aircraft("DLH", "", "A20N");
        ASSERT_TRUE(gf_pickLiveryLiveAc(ac, 0.0));
        ASSERT_TRUE(allowed.contains(ac.identity.liveryTitle)) << ac.identity.liveryTitle;
    }
    const TitleViews onlySpecial{LiveryTitles.at("Airbus A320neo Lufthansa Fanhansa")};
    EXPECT_FALSE(lf_pickRandomTitle(onlySpecial));
    EXPECT_FALSE(lf_pickRandomTitle({}));
}

TEST_F(LiveryChoice, StaticChooser)
{
    setParameters(4, false);
    AircraftBase cargo = aircraft("DLH", "", "B748");
    ASSERT_TRUE(gf_pickLiveryStaticAc(cargo, "DLH8160", 1));
    EXPECT_EQ(cargo.identity.liveryTitle, "Boeing 747-8 Lufthansa");
    // A title already set is kept, failed or not, and logged with =s=.
    // The kind takes its columns whatever the codes' lengths.
    AircraftBase kept = aircraft("KLM", "KL", "B738");
    kept.identity.liveryTitle = LiveryTitles.at("Boeing 737-800 Transavia");
    ASSERT_TRUE(gf_pickLiveryStaticAc(kept, "KLM1", 0));
    EXPECT_NE(log().find(std::string(16, ' ') + "KLM123" + std::string(25, ' ') +
                         "KLM,KL  B738     =s= Boeing 737-800 Transavia"),
              std::string::npos)
        << log();
    AircraftBase none = aircraft("ABC", "", "F16", "N1");
    EXPECT_FALSE(gf_pickLiveryStaticAc(none, "ABC1", 0));
    EXPECT_NE(log().find("ABC1          : ABC123   N1 ABC     F16  "), std::string::npos) << log();
    EXPECT_NE(log().find("no livery match ..."), std::string::npos);
}

TEST_F(LiveryChoice, FailedTitlesAreNotChosenAgainAndTwentyStop)
{
    setParameters(4, false);
    AircraftBase klm = aircraft("KLM", "", "B738");
    ASSERT_TRUE(gf_pickLiveryLiveAc(klm, 0.0));
    EXPECT_EQ(klm.identity.liveryTitle, "Boeing 737-800 KLM");
    lf_rememberLiveryOfHexid(klm.identity.hexid, klm.identity.liveryTitle);
    lf_rememberLiveryOfHexid(klm.identity.hexid, LiveryTitles.at("Boeing 737-800 Transavia")); // the first stays
    EXPECT_EQ(lf_rememberedLiveryOfHexid(klm.identity.hexid), "Boeing 737-800 KLM");

    gf_reportFailedLivery(klm);
    gf_reportFailedLivery(klm); // the same title counts once
    EXPECT_EQ(gf_failedLiveryCount(), 1u);
    EXPECT_FALSE(lf_rememberedLiveryOfHexid(klm.identity.hexid));
    EXPECT_EQ(gf_liveryMemorySize(), 0u);
    const auto messages = m_window.all<GuiUpdate::Message>();
    ASSERT_EQ(messages.size(), 2u);
    for (const auto& m : messages) {
        EXPECT_EQ(m.text, "KLM123 'Boeing 737-800 KLM' could not be created by your Sim!");
        EXPECT_TRUE(m.log);
    }

    // The refused title lets the ladder go on: the generic B738 at step 4.
    AircraftBase again = aircraft("KLM", "", "B738");
    ASSERT_TRUE(gf_pickLiveryLiveAc(again, 0.0));
    EXPECT_EQ(again.identity.liveryTitle, "FSLTL_B738_ZZZZ White");
    EXPECT_EQ(gf_failedLiveryLines(), std::vector<std::string>{"  B738 KLM"});

    // A refused generic title ends the choice without a title.
    gf_reportFailedLivery(again);
    AircraftBase third = aircraft("KLM", "", "B738");
    EXPECT_FALSE(gf_pickLiveryLiveAc(third, 0.0));
    EXPECT_TRUE(third.identity.liveryTitle.empty());

    std::vector<std::string> titles(17);
    for (size_t i = 0; i < titles.size(); ++i) {
        titles[i] = fmt::format("Refused {}", i);
        AircraftBase ac = aircraft("KLM", "", "B738");
        ac.identity.liveryTitle = titles[i];
        gf_reportFailedLivery(ac);
    }
    EXPECT_EQ(gf_failedLiveryCount(), 19u);
    AircraftBase last = aircraft("KLM", "", "B738");
    last.identity.liveryTitle = "Refused last";
    try {
        gf_reportFailedLivery(last);
        ADD_FAILURE() << "no error 81";
    } catch (const kvr::UserRelatedException& e) {
        EXPECT_EQ(e.code, 81);
        EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created!, see Log.txt");
    }
    EXPECT_NE(log().find("\n===> Error 81, There are too many liveries that could not be created!\n"),
              std::string::npos);
}

TEST_F(LiveryChoice, ARefusedTitleLeavesTheAirlinesOtherLiveriesOfTheType)
{
    // A second Lufthansa A320neo beside the special one and the plain one.
    LiveryScanResult.push_back(livery("DLH", "", "A20N", false, "Airbus A320neo Lufthansa Star Alliance"));
    ASSERT_TRUE(gf_writeScannedLiveries());
    gf_processScannedLiveries();
    const std::set<std::string_view> both{"Airbus A320neo Lufthansa", "Airbus A320neo Lufthansa Star Alliance"};
    setParameters(4, false);
    AircraftBase first = aircraft("DLH", "", "A20N");
    ASSERT_TRUE(gf_pickLiveryLiveAc(first, 0.0));
    ASSERT_TRUE(both.contains(first.identity.liveryTitle));
    gf_reportFailedLivery(first);
    const std::string refused(first.identity.liveryTitle);

    AircraftBase second = aircraft("DLH", "", "A20N");
    ASSERT_TRUE(gf_pickLiveryLiveAc(second, 0.0));
    EXPECT_TRUE(both.contains(second.identity.liveryTitle)) << second.identity.liveryTitle;
    EXPECT_NE(second.identity.liveryTitle, refused);
    EXPECT_NE(log().find(fmt::format(" =2= {}\n", second.identity.liveryTitle)), std::string::npos);
    AircraftBase parked = aircraft("DLH", "", "A20N");
    ASSERT_TRUE(gf_pickLiveryStaticAc(parked, "DLH1", 0));
    EXPECT_EQ(parked.identity.liveryTitle, second.identity.liveryTitle);

    setParameters(4, true);
    for (int i = 0; i < 20; ++i) {
        AircraftBase ac = aircraft("DLH", "", "A20N");
        ASSERT_TRUE(gf_pickLiveryLiveAc(ac, 0.0)) << i;
        EXPECT_EQ(ac.identity.liveryTitle, second.identity.liveryTitle) << i;
    }
}

TEST_F(LiveryChoice, NoMatchListAndSummary)
{
    const size_t start = log().size();
    gf_logNoMatchList();
    EXPECT_EQ(log().size(), start);
    lf_addNoMatchText("ABC     F16  N1");
    lf_addNoMatchText("ABC     F16  N1");
    lf_addNoMatchText("AAA     F16  N2");
    gf_logNoMatchList();
    EXPECT_NE(log().substr(start).find("\nNo match found for:\nAAA     F16  N2\nABC     F16  N1\n\n"),
              std::string::npos);
    EXPECT_EQ(gf_noMatchCount(), 2u);

    AircraftBase ac = aircraft("KLM", "", "B738");
    ASSERT_TRUE(gf_pickLiveryLiveAc(ac, 0.0));
    gf_reportFailedLivery(ac);
    const size_t before = log().size();
    gf_logLiveryMatchSummary();
    const std::string summary = log().substr(before);
    EXPECT_NE(summary.find("\n" + std::string(31, '*') + " live traffic livery matching summary " +
                           std::string(31, '*') + "\nMatches at step: \n  0: "),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("\n  8: "), std::string::npos);
    EXPECT_NE(summary.find("\n\nCould not be created\n  B738 KLM\n" + std::string(100, '*') + "\n\n"),
              std::string::npos)
        << summary;
}

TEST(LiveryChoiceHelpers, ClosestSimilarModelAndEditDistance)
{
    EXPECT_EQ(gf_editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(gf_editDistance("", "B738"), 4u);
    const ModelId b738 = gf_modelCode2Id("B738"), b737 = gf_modelCode2Id("B737"), a320 = gf_modelCode2Id("A320");
    EXPECT_EQ(lf_closestSimilarModel(b738, {a320, b737}), b737);
    EXPECT_FALSE(lf_closestSimilarModel(b738, {a320, gf_modelCode2Id("A321")}));
    EXPECT_EQ(lf_closestSimilarModel(b738, {a320}), a320); // one candidate: no test
    EXPECT_FALSE(lf_closestSimilarModel(b738, {}));
    EXPECT_EQ(gf_airlineDisplayName("DLH"), "Lufthansa");
    EXPECT_EQ(gf_airlineDisplayName("LRC"), "Avianca");
    EXPECT_EQ(gf_airlineDisplayName("XYZ"), "");
    EXPECT_THROW(gf_countLiveryMatch(9), std::out_of_range);
}
