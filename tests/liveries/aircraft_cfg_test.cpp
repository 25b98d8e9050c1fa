#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "liveries/aircraft_cfg.h"
#include "liveries/livery_scan_reports.h"
#include "tests/liveries/livery_scan_fixture.h"
#include "tests/support/allocation_count.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;

namespace {

struct KeyCase {
    const char* line;
    bool found;
    const char* value;
};

TEST(AircraftCfgKeys, TitleLines)
{
    const KeyCase cases[] = {
        {"title=A320 Lufthansa", true, "A320 Lufthansa"},
        {"  Title  =  \"A320 Lufthansa\" ; old paint  ", true, "A320 Lufthansa"},
        {"title = A320 Lufthansa ; old paint", true, "A320 Lufthansa ; old paint"},
        {"TITLE=x", true, "x"},
        {"ui_title=A320 Lufthansa", false, ""},
        {"title=", false, ""},
        {"title =   \t", false, ""},
        {"title=\"\"", false, ""},
        {"title=\"unclosed", false, ""},
        {"title A320", false, ""},
        {"titl", false, ""},
        {"title=a\rb", false, ""},
        {"title=ab\r", true, "ab"},
    };
    for (const KeyCase& c : cases) {
        std::string value = "before";
        EXPECT_EQ(lf_readTitleKey(c.line, value), c.found) << c.line;
        EXPECT_EQ(value, c.found ? c.value : "before") << c.line;
    }
}

TEST(AircraftCfgKeys, ValueRules)
{
    std::string v = "x";
    EXPECT_FALSE(lf_readAtcIdKey("atc_id=D-AB", v));
    EXPECT_EQ(v, "x");
    EXPECT_TRUE(lf_readAtcIdKey("atc_id = \"D-ABCD\"", v));
    EXPECT_EQ(v, "D-ABCD");

    const std::pair<const char*, const char*> airlines[] = {
        {"icao_airline=ZZZZ", "ZZZ"}, {"icao_airline=\"\"", "ZZZ"}, {"icao_airline=dlh", "DLH"},
        {"icao_airline= dlhc ", "DLHC"}};
    for (const auto& [line, expected] : airlines) {
        EXPECT_TRUE(lf_readIcaoAirlineKey(line, v)) << line;
        EXPECT_EQ(v, expected) << line;
    }
    EXPECT_FALSE(lf_readIcaoAirlineKey("icao_airline=", v));

    EXPECT_EQ(lf_readIcaoTypeKey("icao_type_designator=B738MAX"), "B738");
    EXPECT_EQ(lf_readIcaoTypeKey("ICAO_TYPE_DESIGNATOR = \"a20n\""), "A20N");
    EXPECT_EQ(lf_readIcaoTypeKey("icao_type_designator=\"\""), "");
    EXPECT_EQ(lf_readIcaoTypeKey("icao_type_designator_x=B738"), "");

    EXPECT_EQ(lf_readBaseContainerKey("base_container = \"..\\Asobo_A320_NEO\""), "A20N");
    EXPECT_EQ(lf_readBaseContainerKey("base_container=..\\Asobo_Icon"), "A5");
    EXPECT_EQ(lf_readBaseContainerKey("base_container=..\\asobo_a320_neo"), "");
    EXPECT_EQ(lf_readBaseContainerKey("base_container=..\\Unknown"), "");
    EXPECT_EQ(lf_readBaseContainerKey("base_container=..\\"), "");

    EXPECT_TRUE(lf_readParkingTypesKey("atc_parking_types=GATE,CARGO", v));
    EXPECT_EQ(v, "GATE,CARGO");
    EXPECT_TRUE(lf_hasAtcIdAssignment("  ATC_ID=x"));
    EXPECT_FALSE(lf_hasAtcIdAssignment("atc_id = x"));
    EXPECT_TRUE(lf_hasParkingTypesKey("; atc_parking_types"));
}

TEST(AircraftCfgKeys, MegabyteLineIsReadWithoutDeepRecursion)
{
    std::string line = "title=" + std::string(1 << 20, 'a') + "b  ";
    std::string value;
    ASSERT_TRUE(lf_readTitleKey(line, value));
    EXPECT_EQ(value.size(), (1u << 20) + 1);
    EXPECT_EQ(value.back(), 'b');

    const std::string comment = "; " + std::string(1 << 20, 'x');
    EXPECT_FALSE(lf_readTitleKey(comment, value));
    EXPECT_EQ(lf_fltsimSectionNumber("[fltsim.1]" + std::string(1 << 20, ' ') + "x"), "10000");
}

TEST(AircraftCfgKeys, SectionHeaders)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[fltsim.12]", "12"},   {"  [FLTSIM.3]  ", "3"},      {"[fltsim.0] ; comment", "10000"},
        {"[fltsim.x]", "10000"}, {"[fltsim.]", "10000"},       {";[fltsim.1]", ""},
        {"//[fltsim.1]", ""},    {"[General]", ""},           {"[fltsim", ""},
        {"[fltsim.-1]", "10000"}, {"[fltsim.99999999999]", "99999999999"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(lf_fltsimSectionNumber(line), expected) << line;
}

using AircraftCfgReading = LiveryScanTest;

TEST_F(AircraftCfgReading, FltsimNumberChecks)
{
    const fs::path path = L"C:\\pkg\\aircraft.cfg";
    EXPECT_TRUE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.10000]"}, path));
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.10001]"}, path));
    ASSERT_EQ(InvalidCfgFileList.size(), 1u);
    EXPECT_EQ(InvalidCfgFileList[0], "C:\\pkg\\aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000");
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.99999999999]"}, path));
    EXPECT_EQ(InvalidCfgFileList.size(), 1u);
    EXPECT_TRUE(lf_checkFltsimNumbers({"[General]", "title=x"}, path));
    EXPECT_EQ(NoFltsimCfgList, std::vector<std::string>{"C:\\pkg\\aircraft.cfg"});
}

TEST_F(AircraftCfgReading, ModelOfFile)
{
    const fs::path path = L"C:\\pkg\\aircraft.cfg";
    EXPECT_EQ(lf_modelOfAircraftCfg(path, {"[fltsim.0]", "icao_type_designator=b738max"}), "B738");
    EXPECT_EQ(lf_modelOfAircraftCfg(path, {"icao_type_designator=B38M"}), "B738");
    EXPECT_EQ(ModelFixList, std::vector<std::string>{"Model fix: B38M found in C:\\pkg\\aircraft.cfg changed into B738"});
    // An invalid type code is reported and not replaced by the base container.
    EXPECT_EQ(lf_modelOfAircraftCfg(path, {"icao_type_designator=XYZ1", "base_container=..\\Asobo_A320_NEO"}), "");
    EXPECT_EQ(InvalidModelList, std::vector<std::string>{"XYZ1             in C:\\pkg\\aircraft.cfg"});
    EXPECT_EQ(lf_modelOfAircraftCfg(path, {"base_container=..\\Nope", "base_container=..\\Asobo_A320_NEO"}), "A20N");

    EXPECT_EQ(lf_modelOfAircraftCfg(L"C:\\Community\\pmdg-aircraft-77w\\aircraft.cfg", {"title=x"}), "");
    EXPECT_TRUE(InvalidCfgFileList.empty());
    EXPECT_EQ(lf_modelOfAircraftCfg(path, {"title=x"}), "");
    EXPECT_EQ(InvalidCfgFileList,
              std::vector<std::string>{"Line icao_type_designator= is missing in [General] section of C:\\pkg\\aircraft.cfg"});
}

TEST_F(AircraftCfgReading, IvaoModelFromPath)
{
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738WLfa\\aircraft.cfg"), "B738");
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\ivao_mtl\\simobjects\\airplanes\\ivao_A20Nx\\AIRCRAFT.CFG"), "A20N");
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\ivao_x-csl\\SimObjects\\Airplanes\\IVAO_E190\\aircraft.cfg"), "E190");
    EXPECT_TRUE(InvalidModelList.empty());
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738-800\\aircraft.cfg"), "");
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_XX99\\aircraft.cfg"), "");
    // The code keeps its letter case.
    EXPECT_EQ(lf_ivaoModelFromPath(L"C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_a20n\\aircraft.cfg"), "");
    EXPECT_EQ(InvalidModelList, (std::vector<std::string>{
                                    "                 in C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738-800\\aircraft.cfg",
                                    "XX99             in C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_XX99\\aircraft.cfg",
                                    "a20n             in C:\\C\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_a20n\\aircraft.cfg"}));
}

// The same file in every charset the scan meets gives the same liveries.
TEST_F(AircraftCfgReading, CharsetFixtures)
{
    kvr::test::ScopedTestFolders folders("cfgcharset");
    const std::u16string text = u"[General]\r\nicao_type_designator=A320\r\n[fltsim.0]\r\ntitle=A320 Lufthansa \u00e9\r\n"
                                u"icao_airline=DLH\r\natc_id=D-AIZZ\r\n[fltsim.1]\r\ntitle=A320 BA\r\nicao_airline=BAW\r\n";
    std::string utf8, le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    std::string ansi = utf8;
    ansi.replace(ansi.find("\xC3\xA9"), 2, "\xE9");
    // The first accented letter of a Windows-1252 file may come late; UTF-16
    // may come without a byte-order mark.
    const std::string ansiLate = ";" + std::string(5000, '-') + "\r\n" + ansi;
    const std::pair<const char*, std::string> files[] = {
        {"ansi", ansi},          {"ansilate", ansiLate},       {"utf8", utf8},
        {"utf8bom", "\xEF\xBB\xBF" + utf8}, {"utf16le", le}, {"utf16be", be},
        {"utf16lenomark", le.substr(2)}, {"utf16benomark", be.substr(2)}};
    for (const auto& [name, bytes] : files) {
        gf_clearLiveryScanReports();
        fs::create_directories(name);
        const fs::path path = fs::absolute(fs::path(name) / "aircraft.cfg");
        kvr::test::writeBytes(path, bytes);
        const std::vector<LiveryRecord> records = lf_searchLiveriesinFile(3, path);
        ASSERT_EQ(records.size(), 2u) << name;
        EXPECT_EQ(records[0].title, "A320 Lufthansa \xC3\xA9") << name;
        EXPECT_EQ(records[0].registration, "D-AIZZ") << name;
        EXPECT_EQ(records[0].ids.airline, gf_airlineCode2Id("DLH")) << name;
        EXPECT_EQ(records[0].ids.model, gf_modelCode2Id("A320")) << name;
        EXPECT_EQ(records[0].packageRank, 3) << name;
        EXPECT_EQ(records[1].title, "A320 BA") << name;
    }
    EXPECT_TRUE(lf_searchLiveriesinFile(1, fs::absolute("missing") / "aircraft.cfg").empty());

    // A file with a comment line of 1 MB inside a section reads as usual.
    gf_clearLiveryScanReports();
    const fs::path longPath = fs::absolute(fs::path("utf8") / "aircraft.cfg");
    kvr::test::writeBytes(longPath, "icao_type_designator=A320\n[fltsim.0]\n;" + std::string(1 << 20, '=') +
                                        "\ntitle=long\nicao_airline=KLM\n");
    const std::vector<LiveryRecord> longRecords = lf_searchLiveriesinFile(1, longPath);
    ASSERT_EQ(longRecords.size(), 1u);
    EXPECT_EQ(longRecords[0].title, "long");
    EXPECT_TRUE(NoFltsimCfgList.empty());
}

// The sections are views of the file's lines: a line of a section costs the
// one string it is read into, not a copy per section.
TEST_F(AircraftCfgReading, SectionLinesAreNotCopied)
{
    kvr::test::ScopedTestFolders folders("cfgcopies");
    fs::create_directories("pkg");
    const fs::path path = fs::absolute(fs::path("pkg") / "aircraft.cfg");
    CfgLines lines;
    const auto allocationsFor = [&path, &lines](int commentLines) {
        std::string text = "[General]\nicao_type_designator=A320\n";
        for (int k = 0; k < 5; ++k) {
            text += fmt::format("[fltsim.{}]\ntitle=A320 livery number {}\nicao_airline=DLH\n", k, k);
            for (int c = 0; c < commentLines; ++c)
                text += fmt::format("; comment line {} of section {}, long enough to need memory\n", c, k);
        }
        kvr::test::writeBytes(path, text);
        gf_clearLiveryScanReports();
        lf_searchLiveriesinFile(1, path, lines); // the walk's line buffer grows once
        gf_clearLiveryScanReports();
        const kvr::test::AllocationCounter all;
        EXPECT_EQ(lf_searchLiveriesinFile(1, path, lines).size(), 5u);
        return all.count();
    };
    const long plain = allocationsFor(0);
    const long commented = allocationsFor(20);
    EXPECT_LE(commented - plain, 5 * 20 + 5) << plain << " allocations without the comments";
}

TEST_F(AircraftCfgReading, SectionSplitting)
{
    kvr::test::ScopedTestFolders folders("cfgsplit");
    fs::create_directories("pkg");
    const fs::path path = fs::absolute(fs::path("pkg") / "aircraft.cfg");
    // Lines before the first header and after [General] belong to no section;
    // a '[' inside a value does not end an ordinary section.
    kvr::test::writeBytes(path, "title=outside\n[fltsim.0]\ntitle=A320 [old]\n[General]\nicao_airline=DLH\n"
                                "icao_type_designator=A320\n[fltsim.1]\n  [Other]\n[fltsim.2]\ntitle=x2\n"
                                "icao_airline=KLM\n");
    const std::vector<LiveryRecord> records = lf_searchLiveriesinFile(1, path);
    ASSERT_EQ(records.size(), 2u);
    // fltsim.0 has no airline (the DLH line is in [General]): a private livery.
    EXPECT_EQ(records[0].title, "A320 [old]");
    EXPECT_EQ(records[0].ids.airline, gf_airlineCode2Id("PVT"));
    EXPECT_EQ(records[1].title, "x2");
    // fltsim.0 and fltsim.1 miss the airline, fltsim.1 (ended by [Other]) the title.
    EXPECT_EQ(IncompleteSectionList.size(), 3u);

    gf_clearLiveryScanReports();
    // In IVAO files any '[' ends the section: the title line is dropped.
    const CfgLines lines{"[fltsim.0]", "atc_id=D-ABCD", "title=A320 [old]", "texture=x"};
    EXPECT_TRUE(lf_splitIVAOSections(1, lines, "A320", path).empty());
    ASSERT_EQ(IncompleteSectionList.size(), 1u);
    EXPECT_NE(IncompleteSectionList[0].find("texture. [fltsim.0] does not exist"), std::string::npos);
}

} // namespace
