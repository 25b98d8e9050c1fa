// Loading an airport file against the stand-in download site: the archive
// download, the cache, the learned merge, the set-up and the learned save.
#include "airports/airport_file_format.h"
#include "airports/airport_files.h"
#include "airports/airport_setup.h"
#include "airports/learned_airport_files.h"
#include "standins/download_site.h"
#include "tests/airports/airport_test_support.h"
#include "update/downloader.h"
#include "update/version_check.h"

using namespace kvr::test;
namespace fs = std::filesystem;

namespace {

// 0.01 nm apart, east-west.
const std::string kEddfStands =
    gate("V101", 50.0, 8.0, R"(<opt reg="D-AIMA" airl="DLH" type="A388" day="1" hh="10:11"/>)") +
    gate("V102", 50.0, 8.0 + 0.01 / 60.0 / 0.6427876) + gate("V103", 50.05, 8.0);

class AirportLoadingTest : public AirportsTest {
protected:
    void SetUp() override
    {
        AirportsTest::SetUp();
        gf_setDownloadSiteForTests(site.rootUrl());
        installAirports({dbRecord("EDDF", 50.0333, 8.5706, 364, "FRA"), dbRecord("EHAM", 52.3086, 4.7639, -11, "AMS")});
        // The archive file of the site is encrypted: written here, served by the site.
        writeEncFile("eddf.enc", apfText(param("icao", "EDDF") + param("airport_name", "Frankfurt") +
                                             param("publisher", "stock") + param("altitude", "364") +
                                             param("Qf_real", "40") + param("RT_traffic_week", "48"),
                                         kEddfStands));
        site.putFile("MSFS2024/archive/stock/EDDF.enc", readBytes("eddf.enc"));
        saved = {.RT_PARKTRAFFIC_ONLY = RT_PARKTRAFFIC_ONLY.value, .AUTO_PARK = AUTO_PARK.value,
                 .parking_percentage = parking_percentage.value, .MAX_FIT = MAX_FIT.value, .WEEK = WEEK.value,
                 .PARK_SOFT = PARK_SOFT.value};
    }
    void TearDown() override
    {
        gf_setDownloadSiteForTests("");
        WebMaintenanceFlag = false;
        parking_percentage.value = saved.parking_percentage;
        MAX_FIT.value = saved.MAX_FIT;
        AUTO_PARK.value = saved.AUTO_PARK;
        RT_PARKTRAFFIC_ONLY.value = saved.RT_PARKTRAFFIC_ONLY;
        WEEK.value = saved.WEEK;
        PARK_SOFT.value = saved.PARK_SOFT;
        AirportsTest::TearDown();
    }
    AirportFile load(const fs::path& source)
    {
        auto result = gf_readAirportFile(source);
        if (auto* error = std::get_if<std::string>(&result)) {
            ADD_FAILURE() << *error;
            return {};
        }
        return std::move(std::get<AirportFile>(result));
    }
    void makeCurrent(const char* icao)
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = gf_currentAirportOf(*gf_airportDbLookup(IcaoCode(icao)));
    }

    DownloadSite site;
    AirportSettings saved;
};

} // namespace

TEST_F(AirportLoadingTest, ArchiveFileIsDownloadedOnceThenTakenFromTheCache)
{
    const fs::path source = *gf_findAirportFilePath(IcaoCode("EDDF"));
    ASSERT_EQ(source.generic_string(), "archive/stock/EDDF.enc");
    AirportFile file = load(source);
    EXPECT_EQ(file.origin, 1);
    EXPECT_EQ(site.requestCount("MSFS2024/archive/stock/EDDF.enc"), 1);
    EXPECT_EQ(file.airport_name, "Frankfurt");
    EXPECT_EQ(file.altitude, 364);
    EXPECT_EQ(file.rtTrafficWeek, 48);
    EXPECT_EQ(file.qfReal, 40);
    ASSERT_EQ(file.stands.size(), 3u);
    EXPECT_EQ(file.stands[2].id, 3);
    // V101 and V102 are 0.01 nm apart with radii of 20 m (0.0108 nm): neighbours.
    EXPECT_EQ(file.stands[0].exclusions, std::vector<uint32_t>{2});
    EXPECT_EQ(file.stands[1].exclusions, std::vector<uint32_t>{1});
    EXPECT_TRUE(file.stands[2].exclusions.empty());
    EXPECT_TRUE(ui.flushEnabled);
    EXPECT_EQ(file.learnedTarget.generic_string(), "airports/learned/stock/EDDF.xml");
    EXPECT_TRUE(fs::exists("airports/park_airport.xml"));
    for (const auto& e : fs::directory_iterator("airports"))
        EXPECT_TRUE(e.path().filename() == "park_airport.xml" || e.is_directory()) << e.path() << " left over";

    // The second run fetches nothing.
    AirportFile again = load(source);
    EXPECT_EQ(again.origin, 2);
    EXPECT_EQ(site.requestLog().size(), 1u);
    EXPECT_EQ(again.stands.size(), 3u);
    EXPECT_NE(log().find("cached: 'airports\\park_airport.xml' is taken instead of 'archive\\stock\\EDDF.enc'"),
              std::string::npos);

    // Maintenance: the cache still serves, other archive files fail.
    WebMaintenanceFlag = true;
    EXPECT_EQ(load(source).origin, 2);
    auto failed = gf_readAirportFile("archive/stock/EHAM.enc");
    EXPECT_EQ(std::get<std::string>(failed), "Web server temporarily unavailable due to maintenance.");
}

TEST_F(AirportLoadingTest, FailedDownloadsAndRefusedCaches)
{
    auto missing = gf_readAirportFile("archive/stock/EHAM.enc");
    const std::string expected = "failed to download: '" + gf_downloadFolderUrl() + "MSFS2024/archive/stock/EHAM.enc'";
    EXPECT_EQ(std::get<std::string>(missing), expected);
    EXPECT_EQ(window.lastMessage(), expected);

    // A cache of the same identity whose header is refused fails the load and is deleted.
    writeBytes("airports/park_airport.xml", "<root><parameters>" + param("icao", "EDDF") + param("publisher", "stock") +
                                                "</parameters></root>");
    auto refused = gf_readAirportFile("archive/stock/EDDF.enc");
    EXPECT_EQ(std::get<std::string>(refused), "archive/stock/EDDF.enc: refused to load");
    EXPECT_FALSE(fs::exists("airports/park_airport.xml"));
    EXPECT_EQ(load("archive/stock/EDDF.enc").origin, 1);

    // A cache version of 1.2 matches EDDF12, 1.3 does not.
    writeBytes("airports/park_airport.xml",
               apfText(param("icao", "EDDF") + param("publisher", "stock") + param("version", "1.2") +
                           param("altitude", "1"),
                       ""));
    site.putFile("MSFS2024/archive/stock/EDDF12.enc", readBytes("eddf.enc"));
    EXPECT_EQ(load("archive/stock/EDDF12.enc").origin, 2);
    EXPECT_EQ(site.requestCount("MSFS2024/archive/stock/EDDF12.enc"), 0);

    // A missing altitude is the user's to fix.
    fs::create_directories("airports/my_thirdparty");
    writeBytes("airports/my_thirdparty/EHAM.xml", apfText(param("icao", "EHAM"), ""));
    EXPECT_THROW(gf_readAirportFile("airports/my_thirdparty/EHAM.xml"), kvr::UserRelatedException);
}

TEST_F(AirportLoadingTest, LearnedFileIsMergedSetUpAndSavedBackWhereItWasRead)
{
    // An add-on airport: the learned file lives under learned/my_simaddon and
    // is written back there after the visit.
    fs::create_directories("airports/my_simaddon");
    fs::create_directories("airports/learned/my_simaddon");
    writeBytes("airports/my_simaddon/EHAM.xml",
               apfText(param("icao", "EHAM") + param("airport_name", "Schiphol") + param("publisher", "simaddon") +
                           param("altitude", "-11"),
                       gate("B1", 52.30, 4.76, R"(<opt reg="PH-BXA" airl="KLM" type="B738" day="1" hh="10:12"/>)") +
                           gate("C1", 52.31, 4.76)));
    writeBytes("airports/learned/my_simaddon/EHAM.xml",
               apfText(param("icao", "EHAM") + param("airport_name", "Amsterdam") + param("parking_percentage", "55") +
                           param("WEEK", "true"),
                       R"(<parkpos id="B1"><opt reg="PH-BXA" airl="KLM" type="B738" day="1" hh="12:14"/>)"
                       R"(<opt reg="PH-BXA" airl="KLM" type="B738" day="1" hh="20"/></parkpos>)"
                       R"(<parkpos id="b1"><opt reg="X" day="1" hh="1"/></parkpos>)"
                       R"(<parkpos id="C1" manual="true" latitude="52.4" longitude="4.7" radius="10" typestr="RAMP_GA"/>)"
                       R"(<parkpos id="M1" manual="true" latitude="52.4" longitude="4.7" radius="10" typestr="RAMP_GA"/>)"
                       R"(<parkpos id="M2" manual="true" latitude="0" longitude="0" radius="10"/>)"));
    const fs::path source = *gf_findAirportFilePath(IcaoCode("EHAM"));
    parking_percentage.value = 50;
    AUTO_PARK.value = true;
    gf_publishAirportSettings();
    AirportFile file = load(source);
    EXPECT_EQ(file.origin, 0);
    EXPECT_TRUE(file.learnedMerged);
    ASSERT_EQ(file.stands.size(), 3u);
    ASSERT_EQ(file.stands[0].options.size(), 2u) << "the overlapping option adds nothing";
    EXPECT_EQ(file.stands[0].options[1].optionId, 2);
    EXPECT_EQ(file.stands[0].options[0].fromAirportFile, 1);
    EXPECT_EQ(file.stands[0].options[0].fixed, 0) << "the airport file does not stop learning";
    EXPECT_EQ(file.stands[0].options[1].fromAirportFile, 0);
    EXPECT_EQ(file.stands[2].name, "M1");
    EXPECT_EQ(file.stands[2].flag, 1);
    EXPECT_EQ(file.AUTO_PARK, false) << "an absent AUTO_PARK counts as off";
    const std::string text = log();
    for (const char* line : {"learned stand b1 in airports\\learned\\my_simaddon\\EHAM.xml not found?",
                             "==> manually created standid C1 already exists in airports\\learned\\my_simaddon\\EHAM.xml",
                             "==> manually created standid M2 misses correct attributes in",
                             "Warning: learned file airport name: 'Amsterdam' differs from archived file airport name: 'Schiphol'"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    makeCurrent("EHAM");
    gf_setupAirportFromFile(file);
    const auto p = gf_parametersSnapshot();
    EXPECT_EQ(p->parking_percentage, 55);
    EXPECT_TRUE(p->WEEK);
    EXPECT_FALSE(p->AUTO_PARK);
    EXPECT_EQ(gf_currentAirportAltitude(), -11.0);
    EXPECT_EQ(window.last<GuiUpdate::StandCount>()->count, 3u);
    EXPECT_EQ(window.last<GuiUpdate::Publisher>()->name, "simaddon");
    EXPECT_EQ(window.last<GuiUpdate::QualityFactor>()->text, "21/ 0") << "recomputed over the merged stands";

    // Something learned at run time, then the save.
    std::vector<Stand> stands = file.stands;
    StandOption seen;
    seen.registration = "PH-EXA";
    seen.aom.airline = gf_airlineCode2Id("KLM");
    seen.aom.model = gf_modelCode2Id("E190");
    seen.weekday = 3;
    seen.halfHours.set(30);
    seen.real = 1;
    seen.optionId = 2;
    stands[1].options.push_back(seen);
    stands[0].options[1].optionId = 0; // a parking run found its aircraft present: still learned
    learnedUpdateCounter = 1;
    gf_saveLearned(stands, false);
    EXPECT_NE(log().find(" 'airports\\learned\\my_simaddon\\EHAM.xml' saved with 1 update\n"), std::string::npos) << log();
    EXPECT_FALSE(fs::exists("airports/learned/simaddon/EHAM.xml"));
    const std::string learned = readBytes("airports/learned/my_simaddon/EHAM.xml");
    const size_t positions = learned.find("<parkpositions>");
    ASSERT_NE(positions, std::string::npos) << learned;
    EXPECT_EQ(learned.substr(positions),
              "<parkpositions>\n"
              "    <parkpos id=\"B1\">\n"
              "      <opt reg=\"PH-BXA\" airl=\"KLM\" type=\"B738\" day=\"1\" hh=\"20\" />\n"
              "    </parkpos>\n"
              "    <parkpos id=\"C1\">\n"
              "      <opt reg=\"PH-EXA\" airl=\"KLM\" type=\"E190\" day=\"3\" hh=\"30\" />\n"
              "    </parkpos>\n"
              "    <parkpos id=\"M1\" typestr=\"RAMP_GA\" latitude=\"52.400000\" longitude=\"4.700000\" heading=\"0.0\" radius=\"10.0\" manual=\"true\" />\n"
              "  </parkpositions>\n"
              "</root>\n");
    EXPECT_NE(learned.find(R"(<parameter name="parking_percentage" value="55" />)"), std::string::npos);
    EXPECT_EQ(learnedUpdateCounter.load(), 0u);

    // Leaving the airport gives the user's own values back.
    gf_showAirportSettings();
    EXPECT_EQ(gf_parametersSnapshot()->parking_percentage, 50);
    EXPECT_TRUE(gf_parametersSnapshot()->AUTO_PARK);
    EXPECT_FALSE(gf_parametersSnapshot()->WEEK);
    EXPECT_EQ(parking_percentage.value, 50);
}

TEST_F(AirportLoadingTest, ThinFilesParkByThemselves)
{
    fs::create_directories("airports/my_thirdparty");
    const struct {
        std::string stands;
        int32_t percentage;
    } cases[] = {{gate("A", 52.3, 4.7), 100}, {gate("A", 52.3, 4.7) + gate("B", 52.4, 4.7), 65}, {"", 65}};
    for (const auto& c : cases) {
        writeBytes("airports/my_thirdparty/EHAM.xml",
                   apfText(param("icao", "EHAM") + param("publisher", "Studio") + param("altitude", "-11") +
                               param("Qf_real", "16"),
                           c.stands));
        parking_percentage.value = 50;
        AUTO_PARK.value = false;
        gf_publishAirportSettings();
        AirportFile file = load("airports/my_thirdparty/EHAM.xml");
        makeCurrent("EHAM");
        gf_setupAirportFromFile(file);
        EXPECT_EQ(gf_parametersSnapshot()->parking_percentage, c.percentage);
        EXPECT_TRUE(gf_parametersSnapshot()->AUTO_PARK);
        gf_showAirportSettings();
        EXPECT_EQ(gf_parametersSnapshot()->parking_percentage, 50);
        EXPECT_FALSE(gf_parametersSnapshot()->AUTO_PARK);
    }
    const std::string text = log();
    EXPECT_NE(text.find("==> target parking % set at 100, because this airport has just 1 stand\n"), std::string::npos);
    EXPECT_NE(text.find("==> target parking % set at 65, because this airport has just 0 stands\n"), std::string::npos);
    EXPECT_NE(text.find("no stands found in the airport file"), std::string::npos);
    EXPECT_FALSE(ui.flushEnabled);
}

TEST_F(AirportLoadingTest, DestinationReaders)
{
    fs::create_directories("airports/my_thirdparty");
    writeBytes("airports/my_thirdparty/EHAM.xml",
               apfText(param("altitude", "-11"), R"(<parkpos id=" B1 " latitude="52.3" longitude="4.7"/>)"
                                                  R"(<parkpos id="b1" latitude="52.31" longitude="4.7"/>)"
                                                  R"(<parkpos id="Z" latitude="0" longitude="0"/><parkpos latitude="52.3"/>)"
                                                  R"(<parkpos id="C2" latitude="52.32" longitude="4.7"/>)"));
    auto ids = gf_readApfForStands(IcaoCode("EHAM"));
    EXPECT_EQ(std::get<std::vector<std::string>>(ids), (std::vector<std::string>{"B1", "Z", "C2"}));
    auto closest = gf_readDestApfForClosestStand(IcaoCode("EHAM"), {0.0001, 0.0});
    EXPECT_EQ(std::get<std::string>(closest), "invalid reference position");
    closest = gf_readDestApfForClosestStand(IcaoCode("EHAM"), {52.33, 4.7});
    EXPECT_EQ(std::get<ClosestStand>(closest).id, "C2");
    EXPECT_NEAR(std::get<ClosestStand>(closest).distanceNm, 0.6, 1e-6);

    auto frankfurt = gf_readApfForStands(IcaoCode("EDDF"));
    EXPECT_EQ(std::get<std::vector<std::string>>(frankfurt), (std::vector<std::string>{"V101", "V102", "V103"}));
    EXPECT_EQ(std::get<std::string>(gf_readApfForStands(IcaoCode("LOWW"))), "airport source path not found");
    for (const auto& e : fs::directory_iterator("airports"))
        EXPECT_EQ(e.path().filename().string().find("airport."), std::string::npos) << e.path() << " left over";
}
