#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fmt/format.h>

#include "core/value_types.h"
#include "tests/liveries/livery_fixture.h"

using kvr::test::LiveryFixture;

namespace {

// Every mandatory section with one code; `extra` goes into the root.
std::string dbaseXml(const std::string& extra, const char* skip = "")
{
    std::string xml = "<root>";
    const std::vector<std::pair<std::string, std::string>> sections{
        {"aircrafts", "<aircraft types='B738, A320,B77W , C172,,'/><aircraft types='E190'/>"},
        {"cargo_types", "<cargo_type types='B77W'/>"},
        {"heavy", "<hvy types='B77W, A320'/>"},
        {"large", "<lar types='B738,A320'/>"},
        {"buzjet", "<bzj types=''/>"},
        {"twoprops", "<tpr/>"},
        {"high_performance", "<hpf types='F16'/>"},
        {"rotorcraft", "<rot types='EC35'/>"},
        {"ICAO_airlines", "<ICAO codes='KLM,DLH'/>"},
        {"cargo_operators", "<ICAO codes='FDX'/>"},
    };
    for (const auto& [name, body] : sections)
        if (name != skip)
            xml += fmt::format("<{0}>{1}</{0}>", name, body);
    return xml + extra + "</root>";
}

} // namespace

using ModelDatabase = LiveryFixture;

TEST_F(ModelDatabase, RepositoryDataSetLoads)
{
    const ModelDatabaseTables& db = gf_modelDatabase();
    // Valid types are interned first, in ascending order, after the empty code.
    EXPECT_EQ(gf_modelCodeText(0), "");
    EXPECT_EQ(gf_modelCode2Id("A20N"), 1);
    EXPECT_LT(gf_modelCode2Id("B738"), gf_modelCode2Id("B77W"));
    EXPECT_EQ(gf_modelCategory(gf_modelCode2Id("B77W")), Category::Heavy);
    EXPECT_EQ(gf_modelCategory(gf_modelCode2Id("DH8D")), Category::TwoProps);
    EXPECT_EQ(gf_modelCategory(gf_modelCode2Id("C172")), Category::Light);
    EXPECT_EQ(gf_modelCodeCategory("E190"), Category::Large);
    EXPECT_NEAR(gf_wingspanOfModel(gf_modelCode2Id("B77W")), 64.8 / 2 / 1852, 1e-12);
    EXPECT_NEAR(db.maxHalfWingspan, 79.75 / 2 / 1852, 1e-12);
    EXPECT_TRUE(gf_isIcaoAirline("EZY"));
    EXPECT_FALSE(gf_isIcaoAirline(""));
    EXPECT_TRUE(gf_isCargo(AirlOprModel{gf_airlineCode2Id("FDX"), 0, gf_modelCode2Id("A320")}));
    EXPECT_TRUE(gf_isCargo(AirlOprModel{gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("B77L")}));
    EXPECT_FALSE(gf_isCargo(AirlOprModel{gf_airlineCode2Id("KLM"), gf_airlineCode2Id("FDX"), gf_modelCode2Id("B738")}));

    // Fixes: the wrong code gives the target's id and is never interned.
    const size_t before = gf_modelCodeCount();
    EXPECT_EQ(gf_modelCode2Id("Q400"), gf_modelCode2Id("DH8D"));
    EXPECT_EQ(gf_modelCodeCount(), before);

    // Registrations with hyphen variants; the record of G-JEDM was fixed to DH8D.
    const auto daipa = gf_lookupDbase("DAIPA");
    ASSERT_TRUE(daipa);
    EXPECT_EQ(gf_airlineCodeText(daipa->airline), "DLH");
    EXPECT_EQ(gf_modelCodeText(daipa->model), "A320");
    EXPECT_EQ(daipa->flag, 1);
    EXPECT_EQ(gf_modelCodeText(gf_lookupDbase("G-JEDM")->model), "DH8D");
    EXPECT_EQ(gf_lookupDbase("PHEZA")->oper, gf_airlineCode2Id("KLC"));
    EXPECT_EQ(gf_lookupDbase("N887FD")->cargo, 1);
    EXPECT_EQ(gf_lookupDbase("N277UP")->cargo, 1);
    EXPECT_FALSE(gf_lookupDbase("N887F"));
    EXPECT_FALSE(gf_lookupDbase("DAIP")); // four characters: only as given
    EXPECT_FALSE(gf_lookupDbase(""));
    EXPECT_FALSE(gf_findShortDbaseRegistration("KLM PH-ABC livery")); // every registration is longer than 5
    const std::string text = log();
    EXPECT_NE(text.find("   25 dbase records read"), std::string::npos) << text;
}

TEST_F(ModelDatabase, ListRulesCategoriesWingspansAndFixes)
{
    gf_clearModelDatabase();
    const std::string extra =
        "<similar_types><similar types='B738, A320'/><similar types='C172'/></similar_types>"
        "<wingspans><wingspan type='B738' meters=' +35.8 '/><wingspan type='B738' meters='30'/>"
        "<wingspan type='XXXX' meters='30'/><wingspan type='A320' meters='0'/><wingspan type='C172' meters='abc'/>"
        "<wingspan type='E190' meters='-3'/></wingspans>"
        "<fixes><fx wro='B737-800' cor='B738'/><fx wro='B737-800' cor='A320'/><fx wro='X' cor='ZZZZ'/>"
        "<fx wro='Y'/></fixes>"
        "<dbase><d r='PH-BXB' a='KLM' m='B737-800' c=' YES '/><d r='PH-BXA' a='KLM' m='B738'/>"
        "<d r='PH-BXA' a='DLH' m='A320'/><d r='D-ABCD' a='NEW' m='NEWT' c='maybe'/><d r='G-AB' m='A320'/></dbase>";
    ASSERT_TRUE(gf_readDbaseXml(dbaseXml(extra), "test"));
    const ModelDatabaseTables& db = gf_modelDatabase();
    EXPECT_EQ(db.icaoModelCodes, (std::set<std::string>{"A320", "B738", "B77W", "C172", "E190"}));
    // Large before Heavy: a type in both is Large.
    EXPECT_EQ(gf_modelCategory(gf_modelCode2Id("A320")), Category::Large);
    EXPECT_EQ(gf_modelCategory(gf_modelCode2Id("EC35")), Category::Rotorcraft);
    EXPECT_EQ(db.similarTypeGroups, (std::vector<std::vector<std::string>>{{"A320", "B738"}, {"C172"}}));
    EXPECT_EQ(db.modelHalfWingspans.size(), 1u);
    EXPECT_NEAR(gf_wingspanOfModel(gf_modelCode2Id("B738")), 35.8 / 2 / 1852, 1e-12);
    EXPECT_EQ(gf_wingspanOfModel(gf_modelCode2Id("A320")), 0.0);
    EXPECT_EQ(ModelFixes.size(), 1u);
    EXPECT_EQ(ModelFixes.at("B737-800"), "B738");
    ASSERT_EQ(db.records.size(), 4u);
    EXPECT_EQ(db.records[0].registration, "D-ABCD");
    EXPECT_EQ(db.records[0].ids.cargo, 0);
    EXPECT_EQ(db.records[2].registration, "PH-BXA");
    EXPECT_EQ(gf_airlineCodeText(db.records[2].ids.airline), "KLM"); // the first in file order stays
    EXPECT_EQ(db.records[3].ids.model, gf_modelCode2Id("B738"));
    EXPECT_EQ(db.records[3].ids.cargo, 1);
    // Only a whole word counts: G-AB is not inside G-ABCD or XG-AB.
    EXPECT_EQ(gf_findShortDbaseRegistration("British G-AB livery"), "G-AB");
    EXPECT_EQ(gf_findShortDbaseRegistration("G-AB"), "G-AB");
    EXPECT_EQ(gf_findShortDbaseRegistration("Private (G-AB)"), "G-AB");
    EXPECT_EQ(gf_findShortDbaseRegistration("G-ABC G-AB"), "G-AB");
    EXPECT_FALSE(gf_findShortDbaseRegistration("British G-ABCD livery"));
    EXPECT_FALSE(gf_findShortDbaseRegistration("British XG-AB livery"));
    EXPECT_FALSE(gf_findShortDbaseRegistration("G-AB-1"));
    EXPECT_FALSE(gf_findShortDbaseRegistration("G-A"));

    const std::string text = log();
    for (const char* line : {"==> duplicate wingspan model B738, skipped", "==> wingspan model XXXX is not valid, skipped",
                             "==> wingspan for model A320 is not positive, skipped",
                             "==> wingspan for model C172 is not positive, skipped",
                             "==> wingspan for model E190 is not positive, skipped",
                             "==> duplicate fix key 'B737-800', skipped",
                             "==> invalid fix X -> ZZZZ, target is not a valid ICAO model",
                             "==> invalid fix Y -> , target is not a valid ICAO model", "    1 fixes"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(ModelDatabase, MissingSectionsAndBadXml)
{
    for (const char* section : {"aircrafts", "cargo_types", "heavy", "large", "buzjet", "twoprops",
                                "high_performance", "rotorcraft", "ICAO_airlines", "cargo_operators"}) {
        gf_clearModelDatabase();
        try {
            gf_readDbaseXml(dbaseXml("", section), "test");
            ADD_FAILURE() << section;
        } catch (const kvr::UserRelatedException& e) {
            EXPECT_EQ(e.code, 61);
            EXPECT_EQ(std::string(e.what()), fmt::format("61: Missing section: {}", section));
        }
    }
    gf_clearModelDatabase();
    EXPECT_TRUE(gf_readDbaseXml(dbaseXml(""), "test"));
    EXPECT_TRUE(gf_modelDatabase().records.empty());
    EXPECT_FALSE(gf_readDbaseXml("<root><aircrafts>", "bad.xml"));
    EXPECT_FALSE(gf_readDbaseXml("<other/>", "other.xml"));
    const std::string text = log();
    EXPECT_NE(text.find("    0 dbase records read\n"), std::string::npos);
    EXPECT_NE(text.find("==> bad.xml not read because: "), std::string::npos);
    EXPECT_NE(text.find("==> 'other.xml' has no root node"), std::string::npos);

    std::filesystem::remove(g_dbaseEncPath);
    EXPECT_THROW(gf_readDbase(), std::runtime_error);
    kvr::test::writeBytes(g_dbaseEncPath, "not encrypted at all, not at all");
    EXPECT_THROW(gf_readDbase(), std::runtime_error);
}

TEST_F(ModelDatabase, WingspanBeyondTheTableIsUnknown)
{
    gf_clearModelDatabase();
    for (int i = 1; i < 2700; ++i)
        gf_modelCode2Id(fmt::format("T{}", i));
    const ModelId late = gf_modelCode2Id("LATE");
    EXPECT_EQ(late, 2700);
    EXPECT_EQ(gf_wingspanOfModel(late), 0.0);
    EXPECT_EQ(gf_wingspanOfModel(65000), 0.0);
}

TEST_F(ModelDatabase, InterningIsSharedAcrossThreadsAndBounded)
{
    gf_clearModelDatabase();
    // Four threads intern the same 20 000 codes at once: one id per code.
    std::vector<std::vector<AirlineId>> ids(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < ids.size(); ++t)
        threads.emplace_back([&ids, t] {
            for (int i = 0; i < 20000; ++i)
                ids[t].push_back(gf_airlineCode2Id(fmt::format("A{}", (i * 7 + static_cast<int>(t) * 13) % 20000)));
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(gf_airlineCodeCount(), 20001u);
    for (int i = 0; i < 20000; ++i) {
        const std::string code = fmt::format("A{}", i);
        EXPECT_EQ(gf_airlineCodeText(*gf_findAirlineId(code)), code);
    }
    for (size_t t = 0; t < ids.size(); ++t)
        for (int i = 0; i < 20000; ++i)
            ASSERT_EQ(ids[t][static_cast<size_t>(i)],
                      *gf_findAirlineId(fmt::format("A{}", (i * 7 + static_cast<int>(t) * 13) % 20000)));

    // The bound: the 65 535th code is the last with an id; beyond it, new codes get 0.
    for (size_t i = gf_airlineCodeCount(); i < g_maxInternedCodes; ++i)
        gf_airlineCode2Id(fmt::format("B{}", i));
    EXPECT_EQ(gf_airlineCodeCount(), g_maxInternedCodes);
    EXPECT_EQ(gf_airlineCode2Id("B65534"), 65534);
    EXPECT_EQ(gf_airlineCode2Id("OVER1"), 0);
    EXPECT_EQ(gf_airlineCode2Id("OVER2"), 0);
    EXPECT_EQ(gf_airlineCodeCount(), g_maxInternedCodes);
    EXPECT_EQ(gf_airlineCode2Id("A17"), *gf_findAirlineId("A17")); // known codes keep their ids
    const std::string text = log();
    EXPECT_NE(text.find("==> the airline code table is full (65535 codes): new codes such as 'OVER1' get no id"),
              std::string::npos);
    EXPECT_EQ(text.find("OVER2"), std::string::npos);

    // Emptied, the table knows none of its codes and numbers anew.
    gf_clearModelDatabase();
    EXPECT_FALSE(gf_findAirlineId("A17").has_value());
    EXPECT_EQ(gf_airlineCodeText(1), "");
    EXPECT_EQ(gf_airlineCode2Id("B65534"), 1);
    EXPECT_EQ(gf_airlineCodeCount(), 2u);
}
