// The park airports: my_park_airports.txt read and written back, and the
// choice of the park airport as the user flies.
#include "parking/park_airport_choice.h"
#include "airports/park_airports.h"
#include "feed/traffic_records.h"
#include "parking/park_positions.h"
#include "tests/airports/airport_test_support.h"
#include "update/version_check.h"

using namespace kvr::test;
namespace fs = std::filesystem;

namespace {

class ParkAirportsTest : public AirportsTest {
protected:
    void SetUp() override
    {
        AirportsTest::SetUp();
        installAirports({dbRecord("EHAM", 52.3086, 4.7639, -11, "AMS"), dbRecord("EGLL", 51.4706, -0.4619, 83, "LHR"),
                         dbRecord("EDDF", 50.0333, 8.5706, 364, "FRA"), dbRecord("LOWW", 48.1103, 16.5697, 600, "VIE"),
                         dbRecord("KJFK", 40.6398, -73.7789, 13, "JFK")});
    }
    void TearDown() override
    {
        WebMaintenanceFlag = false;
        parkAirportChanged = false;
        AirportsTest::TearDown();
    }
    static std::vector<std::string> listed()
    {
        std::vector<std::string> out;
        ParkAirportList& list = gf_parkAirportList();
        std::lock_guard lock(list.mutex);
        for (const ParkAirport& a : list.airports)
            out.push_back(a.reservedStand.empty() ? a.icao.toString() : a.icao.toString() + "," + a.reservedStand);
        return out;
    }
    static void writeFile(const std::string& bytes) { writeBytes("airports/my_park_airports.txt", bytes); }
    static std::string savedFile() { return readBytes("airports/my_park_airports.txt"); }
    static ParkUserPosition at(double lat, double lon, double alt = 3000, bool onGround = false)
    {
        return {{lat, lon}, alt, onGround};
    }
};

} // namespace

TEST_F(ParkAirportsTest, FileLinesAreAirportsOrKeptAsTheyAre)
{
    writeFile("\xEF\xBB\xBF"
              "eham\r\n EGLL , A12 \r\nEHAM,A1,B2\nXXXXX\n\nZZZZ\nEDDF\nEDDF,C3\nEGLL,D4\n");
    fs::create_directories("airports/my_thirdparty");
    for (const char* f : {"LOWW.xml", "LOWW.txt", "EDDF.xml", "notes.xml", "ZZZZ.xml"})
        writeBytes(fs::path("airports/my_thirdparty") / f, "x");
    gf_readMyParkAirportsFile();
    EXPECT_EQ(listed(), (std::vector<std::string>{"EHAM", "EGLL,A12", "EDDF,C3", "LOWW"}));
    const std::string text = log();
    EXPECT_NE(text.find("==> my_park_airports.txt:EHAM,A1,B2 wrong syntax, preserved\n"), std::string::npos);
    EXPECT_NE(text.find("==> my_park_airports.txt:XXXXX invalid ICAO code, preserved\n"), std::string::npos);
    EXPECT_NE(text.find("\n    3 park airports read from 'airports\\my_park_airports.txt'\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    1 park airport added from 'airports\\my_thirdparty'\n"), std::string::npos);
    EXPECT_NE(text.find("    4 park airports available in total\n"), std::string::npos);
    EXPECT_EQ(messagesOf(window), std::vector<std::string>{"airport ZZZZ is unknown"});

    gf_setCurrentReservedStand(IcaoCode("EHAM"), "F4");
    gf_saveMyParkAirportsFile();
    EXPECT_EQ(savedFile(), "EDDF,C3\nEGLL,A12\nEHAM,F4\nLOWW\nEHAM,A1,B2\nXXXXX\n\nZZZZ\n");
    writeFile("changed");
    gf_saveMyParkAirportsFile();
    EXPECT_EQ(savedFile(), "changed") << "a second save does nothing";
}

TEST_F(ParkAirportsTest, NothingIsWrittenWithoutACompleteRead)
{
    // No file and nothing to add: no file is created.
    gf_readMyParkAirportsFile();
    gf_saveMyParkAirportsFile();
    EXPECT_FALSE(fs::exists("airports/my_park_airports.txt"));

    // A file that yields nothing is left as it is.
    writeFile("");
    gf_readMyParkAirportsFile();
    gf_saveMyParkAirportsFile();
    EXPECT_NE(log().find("Park airports file left unchanged: 'airports\\my_park_airports.txt'"), std::string::npos);

    // A read that breaks off part-way leaves the user's file alone at shutdown.
    writeFile("EHAM,A1\nZZZZ\nEGLL\n");
    {
        struct GoneWindow : UiSink {
            void showMessage(std::string, bool) override { throw std::runtime_error("window gone"); }
        } gone;
        UiSink* before = gf_setUiSink(&gone);
        gf_readMyParkAirportsFile();
        gf_setUiSink(before);
    }
    EXPECT_NE(log().find("==> gf_readMyParkAirportsFile: window gone\n"), std::string::npos);
    gf_saveMyParkAirportsFile();
    EXPECT_EQ(savedFile(), "EHAM,A1\nZZZZ\nEGLL\n");
    EXPECT_NE(log().find("Park airports file not saved: reading was not completed"), std::string::npos);
}

TEST_F(ParkAirportsTest, ManyParkAirportsWarn)
{
    for (const int n : {3000, 3001}) {
        std::vector<AirportDbRecord> records;
        std::string file;
        for (int i = 0; i < n; ++i) {
            const std::string code{'K', char('A' + i / 676), char('A' + i / 26 % 26), char('A' + i % 26)};
            records.push_back(dbRecord(code.c_str(), 40.0 + i * 0.001, -70.0));
            file += code + "\n";
        }
        installAirports(records);
        writeFile(file);
        window.clear();
        gf_readMyParkAirportsFile();
        EXPECT_EQ(messagesOf(window).size(), n == 3001 ? 1u : 0u) << n;
    }
    EXPECT_EQ(window.lastMessage(),
              "Warning: There are a lot of park airports (3001), that will cost Kelo much cpu time and may cause stutters");
}

TEST_F(ParkAirportsTest, ReachAndTheNearestParkAirport)
{
    // AIRP_RANGE 15 nm (a quarter degree of latitude) and AIRP_HEIGHT 18000 ft.
    gf_modifyParameters([](Parameters& p) { p.AIRP_RANGE = 15; });
    const LatLon eham{52.3086, 4.7639};
    EXPECT_TRUE(lf_isAirportWithinReach(at(52.0 + 0.25, 4.5, 18000), {52.0, 4.5}));
    EXPECT_FALSE(lf_isAirportWithinReach(at(52.0 + 0.2501, 4.5), {52.0, 4.5}));
    EXPECT_FALSE(lf_isAirportWithinReach(at(52.0, 4.5, 18000.5), {52.0, 4.5}));

    gf_setCurrentParkAirport(IcaoCode("EGLL"), {51.4706, -0.4619});
    gf_setCurrentParkAirport(IcaoCode("ZZZZ"), {0.0, 0.0});
    gf_setCurrentParkAirport(IcaoCode("EHAM"), eham);
    gf_setCurrentParkAirport(IcaoCode("EDDF"), {50.0333, 8.5706});
    gf_selectNearestParkAirport(at(51.5, -0.3));
    EXPECT_EQ(listed(), (std::vector<std::string>{"EGLL", "EHAM", "ZZZZ", "EDDF"}));
    // 3 nm on, with a re-check distance of at least 4 nm: no search.
    gf_setCurrentParkAirport(IcaoCode("EDDF"), {50.0333, 8.5706});
    {
        ParkAirportList& list = gf_parkAirportList();
        std::lock_guard lock(list.mutex);
        list.lastCheck = {51.5, -0.3};
    }
    gf_selectNearestParkAirport(at(51.5 + 3.0 / 60.0, -0.3));
    EXPECT_EQ(listed().front(), "EDDF");
    gf_selectNearestParkAirport(at(51.5 + 10.0 / 60.0, -0.3));
    EXPECT_EQ(listed().front(), "EGLL");
}

TEST_F(ParkAirportsTest, ChoosingAndLeavingTheCurrentAirport)
{
    WebMaintenanceFlag = true; // no airport file needs to be fetched
    gf_chooseParkAirport(at(10.0, 10.0, 0, true));
    EXPECT_EQ(window.lastMessage(), "User aircraft on the ground, no RT supported airport within reach");

    // Parked traffic received for another airport is not planned here.
    ParkedTrafficShare& parked = gf_parkedTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp);
    {
        std::lock_guard lock(parked.mutex);
        parked.list.assign(1, ParkedTrafficRecord{});
    }
    parked.received = true;
    gf_chooseParkAirport(at(52.3086, 4.7639, 0, true));
    EXPECT_EQ(CurrentAirport.code, IcaoCode("EHAM").code);
    EXPECT_FALSE(parked.received.load());
    EXPECT_TRUE(parked.list.empty());
    EXPECT_EQ(window.last<GuiUpdate::AirportCode>()->code.toString(), "EHAM");
    EXPECT_TRUE(parkAirportChanged.load());
    EXPECT_EQ(ui.parkingDisabled, 1);
    EXPECT_NE(log().find("User aircraft on the ground at EHAM\n\nThe park airport is EHAM\n"), std::string::npos)
        << log();

    // Airborne and climbing out of reach.
    gf_checkParkAirportReach(at(52.3086 + 21.0 / 60.0, 4.7639));
    EXPECT_NE(log().find(" EHAM (AMS) is no longer within reach, parked aircraft will be removed\n"), std::string::npos)
        << log();

    // Airborne towards a park airport within reach.
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{};
    }
    gf_setCurrentParkAirport(IcaoCode("EDDF"), {50.0333, 8.5706});
    gf_chooseParkAirport(at(50.1, 8.6));
    EXPECT_EQ(CurrentAirport.code, IcaoCode("EDDF").code);
    EXPECT_EQ(window.lastMessage(), "EDDF within reach");

    // A nearer park airport in front takes over.
    installAirports({dbRecord("EDDF", 50.0333, 8.5706, 364, "FRA"), dbRecord("EDFE", 50.0, 8.64, 300)});
    gf_setCurrentParkAirport(IcaoCode("EDFE"), {50.0, 8.64});
    gf_checkParkAirportReach(at(50.0, 8.65));
    EXPECT_NE(log().find(" EDFE is within reach, parked aircraft at EDDF (FRA) will be removed first\n"),
              std::string::npos)
        << log();
}
