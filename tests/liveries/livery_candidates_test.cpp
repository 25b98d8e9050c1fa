#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "liveries/aircraft_cfg.h"
#include "liveries/livery_candidates.h"
#include "liveries/livery_scan_reports.h"
#include "tests/liveries/livery_scan_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;

namespace {

class LiveryCandidates : public LiveryScanTest {
protected:
    const fs::path path{L"C:\\pkg\\aircraft.cfg"};
    const fs::path folder{L"C:\\pkg"};

    std::vector<LiveryRecord> section(std::vector<std::string> lines, const std::string& model = "A320")
    {
        lines.insert(lines.begin(), "[fltsim.0]");
        return lf_procesFltSimSection(7, lines, model, path, lf_pathUtf8(folder));
    }
};

TEST_F(LiveryCandidates, AirlineRules)
{
    // A known registration gives the database's ids, whatever the file's model.
    auto r = section({"title=t1", "icao_airline=DLH", "atc_id=D-ABCD"}, "B738");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids, (AirlOprModel{gf_airlineCode2Id("DLH"), gf_airlineCode2Id("CLH"), gf_modelCode2Id("A320"), 1, 1}));
    EXPECT_EQ(r[0].packageRank, 7);

    r = section({"title=t2", "icao_airline=DLHC"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids, (AirlOprModel{gf_airlineCode2Id("DLH"), 0, gf_modelCode2Id("A320"), 0, 0}));
    r = section({"title=t3", "icao_airline=bawx"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids.airline, gf_airlineCode2Id("BAW"));
    r = section({"title=t4", "icao_airline=DLHA"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids.airline, gf_airlineCode2Id("DLHA"));
    EXPECT_TRUE(IncompleteSectionList.empty());

    EXPECT_TRUE(section({"title=t5", "icao_airline=RFO"}).empty());
    EXPECT_TRUE(IncompleteSectionList.empty());
    EXPECT_TRUE(InvalidAirlineList.empty());

    // An invalid code is reported, and the section then has no airline: private.
    r = section({"title=t6", "icao_airline=XQX"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids.airline, gf_airlineCode2Id("PVT"));
    EXPECT_EQ(InvalidAirlineList, std::vector<std::string>{"XQX          in C:\\pkg\\aircraft.cfg [fltsim.0]"});
    EXPECT_EQ(IncompleteSectionList,
              std::vector<std::string>{"C:\\pkg\\aircraft.cfg [fltsim.0] icao_airline is missing, or it has invalid info "});
}

TEST_F(LiveryCandidates, PrivateHeavyAndStub)
{
    // No airline, no atc_id: private, with the short registration found in the title.
    auto r = section({"title=Cessna N123 red"}, "C172");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].registration, "N123");
    EXPECT_EQ(r[0].ids.airline, gf_airlineCode2Id("PVT"));
    EXPECT_EQ(r[0].ids.flag, 1);
    // A registration inside a longer one is none: N12 (a Lufthansa 747-8) is not N12345.
    r = section({"title=Cessna 172 Skyhawk N12345"}, "C172");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].registration, "");
    EXPECT_EQ(r[0].ids, (AirlOprModel{gf_airlineCode2Id("PVT"), 0, gf_modelCode2Id("C172"), 0, 0}));

    IncompleteSectionList.clear();
    EXPECT_TRUE(section({"title=Jumbo"}, "B748").empty());
    EXPECT_EQ(IncompleteSectionList.back(), "'C:\\pkg' '[fltsim.0]' has no airline and no regcode info");
    EXPECT_TRUE(section({"title=Jumbo2", "atc_id=D-XXXX"}, "B748").empty());
    EXPECT_EQ(IncompleteSectionList.back(), "'C:\\pkg' '[fltsim.0]' has no airline and regcode not in dbase");

    r = section({"title=A320 DLH-STUB", "icao_airline=DLH", "atc_id=D-ABCD"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ids.airline, gf_airlineCode2Id("ZZZ"));
    EXPECT_EQ(r[0].registration, "");

    EXPECT_TRUE(section({"title=Fictional Air", "icao_airline=DLH"}).empty());
    DontUseLiveryTitles.insert("Banned");
    EXPECT_TRUE(section({"title=Banned", "icao_airline=DLH"}).empty());
}

TEST_F(LiveryCandidates, CargoAndRegistrations)
{
    const std::pair<const char*, uint8_t> cargo[] = {
        {"atc_parking_types=GATE_HEAVY,CARGO", 0}, {"atc_parking_types=cargo", 1}, {"atc_parking_types=CARG", 0}};
    int n = 0;
    for (const auto& [line, expected] : cargo) {
        auto r = section({"title=c" + std::to_string(n++), "icao_airline=KLM", line});
        ASSERT_EQ(r.size(), 1u) << line;
        EXPECT_EQ(r[0].ids.cargo, expected) << line;
    }

    auto r = section({"title=r1", "icao_airline=KLM", "atc_id=D-ABCD,D-ABCE"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].registration, "");
    r = section({"title=r2", "icao_airline=KLM", "atc_id=PH-ABC ; old"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].registration, "PH-ABC");
    EXPECT_TRUE(IncompleteSectionList.empty());
    r = section({"title=r3", "icao_airline=KLM", "atc_id=PH-ABCDEFGHIJK"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].registration, "");
    r = section({"title=r4", "icao_airline=KLM", "atc_id=PH-AB*"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(IncompleteSectionList, (std::vector<std::string>{"invalid atc_id=PH-ABCDEFGHIJK in: r3",
                                                               "invalid atc_id=PH-AB* in: r4"}));
}

TEST_F(LiveryCandidates, DuplicatesAndSpecialTitles)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"title=d1", "icao_airline=KLM", "title=d1b"}, "C:\\pkg [fltsim.0] has more than one title key"},
        {{"title=d2", "icao_airline=KLM", "ICAO_AIRLINE=DLH"}, "C:\\pkg [fltsim.0] has more than one icao_airline key"},
        {{"title=d3", "icao_airline=KLM", "atc_parking_types=GATE", "atc_parking_types=RAMP"},
         "C:\\pkg [fltsim.0] has more than one atc_parking_types key"},
        {{"title=d4", "icao_airline=KLM", "atc_id=PH-ABC", "atc_id=PH-ABD"}, "C:\\pkg, [fltsim.0], has more than one atc_id key"},
    };
    for (const auto& [lines, expected] : cases) {
        IncompleteSectionList.clear();
        EXPECT_TRUE(section(lines).empty()) << expected;
        EXPECT_EQ(IncompleteSectionList, std::vector<std::string>{expected});
    }

    // The Fenix title, before the airline line: dropped, airline still reported missing.
    IncompleteSectionList.clear();
    EXPECT_TRUE(section({"title=FenixA320 DLH", "icao_airline=DLH"}).empty());
    EXPECT_EQ(IncompleteSectionList,
              std::vector<std::string>{"C:\\pkg\\aircraft.cfg [fltsim.0] icao_airline is missing, or it has invalid info "});

    // The first section that claims a title wins.
    IncompleteSectionList.clear();
    EXPECT_EQ(section({"title=same", "icao_airline=KLM"}).size(), 1u);
    EXPECT_TRUE(section({"title=same", "icao_airline=DLH"}).empty());
    EXPECT_EQ(IncompleteSectionList, std::vector<std::string>{"C:\\pkg [fltsim.0] title 'same' already exists"});

    // A new scan may take the title again.
    gf_clearLiveryScanReports();
    EXPECT_EQ(section({"title=same", "icao_airline=DLH"}).size(), 1u);
}

TEST_F(LiveryCandidates, IvaoTitles)
{
    kvr::test::ScopedTestFolders folders("ivao");
    const fs::path wFolder = fs::absolute("IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa");
    const fs::path plainFolder = fs::absolute("IVAO_MTL/SimObjects/Airplanes/IVAO_B738");
    fs::create_directories(wFolder / "texture.RYR");
    fs::create_directories(plainFolder / "texture.RYR");
    const std::vector<std::string> lines{"[fltsim.0]", "title=  B738W RYR Ryanair  ", "texture=RYR", "atc_id=EI-ABC;x"};

    LiveryRecord r = lf_procesIVAOFltSimSection(2, lines, "B738", wFolder / "aircraft.cfg");
    EXPECT_EQ(r.title, "B738W RYR Ryanair");
    EXPECT_EQ(r.ids, (AirlOprModel{gf_airlineCode2Id("RYR"), 0, gf_modelCode2Id("B738"), 0, 0}));
    EXPECT_EQ(r.registration, "EI-ABC;x");
    EXPECT_TRUE(IncompleteSectionList.empty());

    // Without the W folder the title does not fit "B738 RYR..." and no regcode is known.
    gf_clearLiveryScanReports();
    r = lf_procesIVAOFltSimSection(2, lines, "B738", plainFolder / "aircraft.cfg");
    EXPECT_TRUE(lf_isUnusableCandidate(r));
    ASSERT_EQ(IncompleteSectionList.size(), 1u);
    EXPECT_NE(IncompleteSectionList[0].find(" misses airlinecode in title: B738W RYR Ryanair, and regcode unknown EI-ABC;x"),
              std::string::npos);

    // A title that names a known registration; an invalid airline; a missing texture.
    r = lf_procesIVAOFltSimSection(2, {"[fltsim.1]", "title=Lufthansa", "texture=RYR", "atc_id=D-ABCD"}, "B738",
                                   plainFolder / "aircraft.cfg");
    EXPECT_EQ(r.ids.airline, gf_airlineCode2Id("DLH"));
    r = lf_procesIVAOFltSimSection(2, {"[fltsim.2]", "title=B738 QQQ", "texture=RYR"}, "B738", plainFolder / "aircraft.cfg");
    EXPECT_TRUE(lf_isUnusableCandidate(r));
    ASSERT_EQ(InvalidAirlineList.size(), 1u);
    EXPECT_TRUE(InvalidAirlineList[0].starts_with("QQQ          in "));
    IncompleteSectionList.clear();
    r = lf_procesIVAOFltSimSection(2, {"[fltsim.3]", "title=B738 KLM", "texture=KLM"}, "B738", plainFolder / "aircraft.cfg");
    EXPECT_TRUE(lf_isUnusableCandidate(r));
    ASSERT_EQ(IncompleteSectionList.size(), 1u);
    EXPECT_TRUE(IncompleteSectionList[0].ends_with("texture.KLM [fltsim.3] does not exist"));
}

TEST_F(LiveryCandidates, IvaoFile)
{
    kvr::test::ScopedTestFolders folders("ivaofile");
    const fs::path folder = fs::absolute("IVAO_MTL/SimObjects/Airplanes/IVAO_A320");
    fs::create_directories(folder / "texture.KLM");
    kvr::test::writeBytes(folder / "aircraft.cfg", "[fltsim.0]\r\ntitle=A320 KLM\r\ntexture=KLM\r\n"
                                                   "[fltsim.1]\r\ntitle=A320 XYZ\r\ntexture=KLM\r\n"
                                                   "[fltsim.2]\r\ntitle=A320 KLM\r\ntexture=KLM\r\n");
    const std::vector<LiveryRecord> records = lf_searchLiveriesinIVAOFile(4, folder / "aircraft.cfg");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].title, "A320 KLM");
    EXPECT_EQ(records[0].packageRank, 4);
    EXPECT_EQ(InvalidAirlineList.size(), 1u);
    ASSERT_EQ(IncompleteSectionList.size(), 1u);
    EXPECT_TRUE(IncompleteSectionList[0].ends_with("[fltsim.2] title already exists: A320 KLM"));
    // Outside the IVAO folder pattern nothing is read.
    EXPECT_TRUE(lf_searchLiveriesinIVAOFile(4, fs::absolute("aircraft.cfg")).empty());
}

TEST_F(LiveryCandidates, ReportPathsAndClearing)
{
    const auto& paths = gf_liveryReportPaths();
    EXPECT_EQ(paths[0], fs::path(L"output\\info\\AircraftCfgWithNoFltsimSection.txt"));
    EXPECT_EQ(paths[6], fs::path(L"output\\errors\\IncompleFltsimSections.txt"));
    lf_reportInvalidAirline("XX", path, "[fltsim.1]");
    lf_reportInvalidAirline("XX", path, "[fltsim.1]");
    EXPECT_EQ(InvalidAirlineList.size(), 2u);
    ModelFixList.push_back("x");
    UsedLiveryTitles.insert("t");
    gf_clearLiveryScanReports();
    EXPECT_TRUE(InvalidAirlineList.empty());
    EXPECT_TRUE(ModelFixList.empty());
    EXPECT_TRUE(UsedLiveryTitles.empty());
}

} // namespace
