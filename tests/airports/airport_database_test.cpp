// The airport database: input/airports.enc, its lookups, the airport at a
// position and the current airport's readers.
#include <algorithm>

#include "airports/airport_database.h"
#include "airports/airport_database_load.h"
#include "tests/airports/airport_test_support.h"
#include "tests/support/data_sets.h"
#include "update/version_check.h"

using namespace kvr::test;

namespace {

class AirportDatabaseTest : public AirportsTest {
protected:
    static void writeDataSet(const std::string& aps)
    {
        writeEncFile("input/airports.enc", "<?xml version=\"1.0\"?><root><airports>" + aps + "</airports></root>");
    }
};

} // namespace

TEST_F(AirportDatabaseTest, BadEntriesAreSkippedWithTheirLinesAndTheRestLoads)
{
    writeDataSet(R"(<ap c="EHAM" i="AMS" la="52.3086" lo="4.7639" a="-11"/>)"
                 R"(<ap c="eddf" la="50.0333" lo="8.5706" a="364"/>)"
                 R"(<ap c="EHAM" i="XXX" la="1" lo="1" a="1"/>)"
                 R"(<ap c="EGL" la="51.47" lo="-0.4543" a="83"/>)"
                 R"(<ap la="51.47" lo="-0.4543" a="83"/>)"
                 R"(<ap c="LFPG" la="+49.0097" lo="2.5479" a="392"/>)"
                 R"(<ap c="LEMD" la=" 40.47" lo="-3.56" a="1998"/>)"
                 R"(<ap c="LIRF" la="41.8N" lo="12.25" a="15"/>)"
                 R"(<ap c="LOWW" la="0" lo="0" a="600"/>)"
                 R"(<ap c="EBBR" i="BR" la="50.9" lo="4.48" a="184"/>)"
                 R"(<ap c="EKCH" i="" la="55.6" lo="12.65" a="17"/>)"
                 R"(<ap c="ESSA" la="59.65" lo="17.93"/>)"
                 R"(<ap c="KJFK" i="JFK" la="40.6398" lo="-73.7789" a="13"/>)");
    const AirportDatabaseLoad load = gf_loadAirportDatabase();
    ASSERT_FALSE(load.error) << *load.error;
    EXPECT_EQ(load.count, 3u);
    const std::string text = log();
    for (const char* line : {"==> Skipped 1 duplicate airport entry\n", "Skipped invalid airport code 'EGL': ",
                             "==> Skipped airport entry with missing ICAO code attribute\n",
                             "==> Invalid numeric data for airport 'LFPG'\n", "==> Invalid numeric data for airport 'LEMD'\n",
                             "==> Invalid numeric data for airport 'LIRF'\n", "==> Invalid position for airport 'LOWW'\n",
                             "Skipped airport 'EBBR' 'BR': ", "Skipped airport 'EKCH' '': ",
                             "==> Missing alt for airport 'ESSA'\n", "    3 airports read\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    const auto eham = gf_airportDbLookup(IcaoCode("EHAM"));
    ASSERT_TRUE(eham);
    EXPECT_EQ(eham->iata.toString(), "AMS") << "the first entry in file order survives";
    EXPECT_EQ(eham->altitude, -11);
    EXPECT_TRUE(gf_airportDbContains(IcaoCode("EDDF")));
    EXPECT_FALSE(gf_airportDbLookup(IcaoCode("EDDF"))->iata.isSet());
    EXPECT_FALSE(gf_airportDbContains(IcaoCode("LFPG")));

    // A second call answers without reading again.
    std::filesystem::remove("input/airports.enc");
    EXPECT_EQ(gf_loadAirportDatabase().count, 3u);
}

TEST_F(AirportDatabaseTest, LoadFailuresAreTextsAndLeaveTheDatabaseUnloaded)
{
    EXPECT_EQ(gf_loadAirportDatabase().error, "input\\airports.enc not available");
    writeDataSet(R"(<ap c="EH" la="1" lo="1" a="1"/>)");
    EXPECT_EQ(gf_loadAirportDatabase().error, "input\\airports.enc contains no valid airports");
    writeEncFile("input/airports.enc", "<root><other/></root>");
    EXPECT_EQ(gf_loadAirportDatabase().error, "input\\airports.enc has no <airports> section");
    writeEncFile("input/airports.enc", "<list/>");
    EXPECT_EQ(gf_loadAirportDatabase().error, "input\\airports.enc has no <root> root");
    writeEncFile("input/airports.enc", "<root><airports>", {.useWrongKey = true});
    EXPECT_TRUE(gf_loadAirportDatabase().error);
    EXPECT_FALSE(gf_airportDbContains(IcaoCode("EHAM")));
    // A later call may still succeed.
    writeDataSet(R"(<ap c="EHAM" la="52.3" lo="4.76" a="-11"/>)");
    EXPECT_EQ(gf_loadAirportDatabase().count, 1u);
}

TEST_F(AirportDatabaseTest, AirportAtAPositionPrefersTheNearerStandOverTheNearerCentre)
{
    // A lies 4.9 nm south of the user, B 3 nm north.
    const LatLon user{50.0, 8.0};
    installAirports({dbRecord("EDDA", 50.0 - 4.9 / 60.0, 8.0), dbRecord("EDDB", 50.0 + 3.0 / 60.0, 8.0),
                     dbRecord("EDDZ", 50.0 + 5.2 / 60.0, 8.0)});
    std::filesystem::create_directories("airports/my_thirdparty");
    writeBytes("airports/my_thirdparty/EDDA.xml",
               apfText(param("altitude", "300"), gate("A1", 50.0 - 0.1 / 60.0, 8.0)));
    writeBytes("airports/my_thirdparty/EDDB.xml",
               apfText(param("altitude", "300"), gate("B7", 50.0 + 0.5 / 60.0, 8.0)));
    const auto found = gf_findAirportAt(user);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->icao.toString(), "EDDA");
    EXPECT_NE(log().find("Airport EDDB has the closest center, but stand A1 at EDDA is closer (185 meters)"),
              std::string::npos)
        << log();

    // Without airport files (the archive cannot be reached) the closest centre wins, silently.
    std::filesystem::remove_all("airports/my_thirdparty");
    WebMaintenanceFlag = true;
    installAirports({dbRecord("EDDA", 50.0 - 4.9 / 60.0, 8.0), dbRecord("EDDB", 50.0 + 3.0 / 60.0, 8.0)});
    const size_t before = log().size();
    EXPECT_EQ(gf_findAirportAt(user)->icao.toString(), "EDDB");
    WebMaintenanceFlag = false;
    EXPECT_EQ(log().find("closest center", before), std::string::npos);

    // 5 nm is still a candidate; beyond is not.
    installAirports({dbRecord("EDDC", 50.0 - 4.9999 / 60.0, 8.0)});
    EXPECT_TRUE(gf_findAirportAt(user));
    installAirports({dbRecord("EDDC", 50.0 - 5.01 / 60.0, 8.0)});
    EXPECT_FALSE(gf_findAirportAt(user));
}

TEST_F(AirportDatabaseTest, CurrentAirportReaders)
{
    EXPECT_FALSE(gf_currentAirportAltitude());
    EXPECT_FALSE(gf_nearCurrentAirport({52.3, 4.76}));
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = gf_currentAirportOf(dbRecord("EHAM", 52.3, 4.76, -11, "AMS"));
    }
    EXPECT_EQ(gf_currentAirportAltitude(), -11.0);
    EXPECT_TRUE(gf_nearCurrentAirport({52.3 + 9.99 / 60.0, 4.76}));
    EXPECT_FALSE(gf_nearCurrentAirport({52.3 + 10.01 / 60.0, 4.76}));
    EXPECT_EQ(fmt::format("{}", gf_airportCodesOf(CurrentAirport)), "EHAM (AMS)");
}

TEST_F(AirportDatabaseTest, TheRepositorysDataSetLoads)
{
    writeRepoDataSet(DataSetKind::Airports, "input/airports.enc");
    const AirportDatabaseLoad load = gf_loadAirportDatabase();
    ASSERT_FALSE(load.error) << *load.error;
    EXPECT_GE(load.count, 40u);
    EXPECT_EQ(log().find("==>"), std::string::npos) << log();
    for (const char* icao : {"EHAM", "EGLL", "EDDF", "KJFK"})
        EXPECT_TRUE(gf_airportDbContains(IcaoCode(icao))) << icao;
    EXPECT_EQ(gf_findAirportAt({52.31, 4.76})->icao.toString(), "EHAM");
}
