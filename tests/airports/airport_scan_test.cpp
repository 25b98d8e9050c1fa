// The airport scan end to end over a generated simulator install, the
// recovery of an interrupted scan, and the tblo bundle's failure path.
#include <algorithm>
#include <fstream>

#include "airports/airport_scan.h"
#include "airports/bgl_reader.h"
#include "airports/package_scan.h"
#include "airports/tblo_bundle.h"
#include "airports/airport_state.h"
#include "core/layout.h"
#include "core/stop_request.h"
#include "core/zip_archive.h"
#include "tests/airports/airport_test_support.h"
#include "tests/support/bgl_writer.h"
#include "tests/support/data_sets.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

struct ScanUi : RecordingAirportUi {
    bool tbloEnabled = false;
    bool skipEnabled = true;
    void enableTbloButton(bool on) override { tbloEnabled = on; }
    void enableSkipAirportScan(bool on) override { skipEnabled = on; }
};

void put(const fs::path& path, std::string_view bytes)
{
    fs::create_directories(path.parent_path());
    writeBytes(path, bytes);
}

std::string airportBgl(const std::string& ident, int parkings)
{
    BglAirport a;
    a.ident = ident;
    for (int i = 0; i < parkings; ++i)
        a.parkings.push_back({10, uint32_t(i + 1), 8, 0, 20.0f, 90.0f, 45.0 + i * 0.001, 7.0});
    return bglAirportFile({a}).bytes;
}

// LIRF and LFPO come from facility data: one gate and one helipad.
bool fakeFacilities(const IcaoCode& icao, ScannedAirport& airport, int& helipads)
{
    if (icao.toString() != "LIRF" && icao.toString() != "LFPO")
        return false;
    Stand gate, helipad;
    gate.name = "GATE 1";
    helipad.name = "HELIPAD 1";
    helipad.helipad = 1;
    gate.lat = helipad.lat = 41.8;
    gate.lon = 12.2;
    gate.radius = helipad.radius = 0.01;
    helipad.lon = 12.3;
    airport.stands = {helipad, gate};
    helipads = 1;
    return true;
}

std::vector<std::string> filesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class AirportScanTest : public AirportsTest {
protected:
    void SetUp() override
    {
        AirportsTest::SetUp();
        gf_setAirportUi(&scanUi);
        previousReader = gf_setFacilityStandsReader(&fakeFacilities);
        g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, false}));
        previousInstall = MSFS_2024_INSTALL_PATH.value;
        MSFS_2024_INSTALL_PATH.value = fs::absolute("sim");
        installAirports({dbRecord("EGLL", 51.5, -0.5), dbRecord("YSSY", -33.9, 151.2), dbRecord("EDDF", 50, 8.6),
                         dbRecord("LOWI", 47.3, 11.3), dbRecord("KJFK", 40.6, -73.8), dbRecord("KSFO", 37.6, -122.4),
                         dbRecord("LIRF", 41.8, 12.2), dbRecord("LFPO", 48.7, 2.4)});
        writeRepoDataSet(DataSetKind::Archives, g_archivesEncPath);
        std::string weekly = "<root><traffic_airports>";
        for (const char* c : {"EGLL", "YSSY", "LOWI", "KJFK", "KSFO", "LIRF", "LFPO"})
            weekly += std::string("<arp c=\"") + c + "\"/>";
        writeDataSet(DataSetKind::WeeklyTraffic, weekly + "</traffic_airports></root>", g_wktrafficEncPath);
        put("airports/my_thirdparty/OLD.xml", "old");
        tbloReady = false;
    }
    void TearDown() override
    {
        gf_setFacilityStandsReader(previousReader);
        MSFS_2024_INSTALL_PATH.value = previousInstall;
        tbloReady = false;
        AirportsTest::TearDown();
    }
    void writeInstall(const fs::path& sim = "sim")
    {
        const fs::path c = sim / "Community";
        put(c / "inibuilds-airport-egll/manifest.json", R"({"title":"London","package_version":"1.1.0","creator":"iniBuilds"})");
        put(c / "inibuilds-airport-egll/scenery/global/egll.bgl", airportBgl("EGLL", 3));
        put(c / "orbx-airport-yssy/manifest.json", R"({"title":"Sydney","creator":"Orbx"})");
        put(c / "orbx-airport-yssy/scenery/yssy.bgl", airportBgl("YSSY", 2));
        put(c / "cheap-aircraft-eddf/eddf.bgl", airportBgl("EDDF", 2));
        put(c / "unknown-lowi/manifest.json", R"({"creator":"fsim","package_version":1})");
        put(c / "unknown-lowi/lowi.bgl", airportBgl("LOWI", 2));
        put(c / "misc/textures.bgl", bglFile({{1, false, {{{bglRecord(0x20, "12345678")}}}}}).bytes);
        put(sim / "Official2024/microsoft-airport-kjfk/scenery/kjfk.bgl", airportBgl("KJFK", 4));
        put(sim / "Official2024/somestudio-lfpo/manifest.json", R"({"title":"Orly","package_version":"2.0"})");
        for (const char* p : {"fs24-asobo-airport-ksfo", "fs24-asobo-airport-lirf", "fs24-somestudio-lfpo"})
            fs::create_directories(sim / "StreamedPackages" / p);
    }
    std::string scanLog() { return readBytes(g_outputInfoFolder / "AirportsScanLog.txt"); }

    ScanUi scanUi;
    FacilityStandsReader previousReader = nullptr;
    fs::path previousInstall;
};

TEST_F(AirportScanTest, InstallGivesLinksGeneratedFilesLogAndBundle)
{
    writeInstall();
    gf_scanAirports();

    EXPECT_EQ(filesIn(g_mySimaddonFolder), (std::vector<std::string>{"KJFK.txt", "KSFO.txt", "LIRF.xml"}));
    EXPECT_EQ(filesIn(g_myThirdpartyFolder), (std::vector<std::string>{"EGLL.xml", "LFPO.xml", "YSSY.txt"}));
    EXPECT_EQ(readBytes(g_mySimaddonFolder / "KSFO.txt"), "archive/simaddon/KSFO.enc\n");
    EXPECT_EQ(readBytes(g_myThirdpartyFolder / "YSSY.txt"), "archive/thirdparty/Orbx/YSSY.enc\n");
    const std::string egll = readBytes(g_myThirdpartyFolder / "EGLL.xml");
    EXPECT_NE(egll.find(R"(name="num_parkpos" value="3")"), std::string::npos) << egll;
    EXPECT_NE(egll.find(R"(name="publisher" value="iniBuilds")"), std::string::npos);
    EXPECT_FALSE(fs::exists(gf_airportScanMarkerPath()));
    EXPECT_FALSE(fs::exists(lf_scanBackupPath(g_myThirdpartyFolder)));

    const std::string scan = scanLog();
    for (const char* line :
         {"\nWarning: iniBuilds EGLL version 1.1.0 is not in the archive; higher version 1.2.0 is present. The airport "
          "is sent to TBLO\nthirdparty iniBuilds EGLL version 1.1.0 does not exist\n",
          "\nthirdparty airport YSSY linked to archive/thirdparty/Orbx/YSSY.enc\n\n",
          "\nsimaddon airport KJFK linked to archive/simaddon/KJFK.enc\n\n",
          "\nmanifest publisher value 'fsim' rejected by archives data\n",
          "\nGenerated LIRF.xml: 2 positions of which 1 helipad\n",
          "\npublisher 'Some Studio' found\nstreamed package manifest found, version '2.0'\n"
          "thirdparty Some Studio LFPO version 2.0 does not exist\n",
          "\n\nAirports scan finished!\n"})
        EXPECT_NE(scan.find(line), std::string::npos) << line;
    EXPECT_EQ(scan.find("EDDF"), std::string::npos) << "an aircraft package is not entered";
    EXPECT_EQ(scan.find("textures.bgl"), std::string::npos) << "non-airport files are rejected from the header";
    EXPECT_EQ(scan.find("Generated LOWI"), std::string::npos) << "a rejected manifest publisher gets no file";

    EXPECT_EQ(filesIn(g_tbloFolder), (std::vector<std::string>{"email address.txt", "tblo.zip"}));
    EXPECT_EQ(readBytes(g_tbloFolder / "email address.txt"), std::string(g_tbloContactAddress) + "\n");
    std::optional<ZipArchive> zip = ZipArchive::openForReading(g_tbloFolder / "tblo.zip");
    ASSERT_TRUE(zip);
    std::vector<std::string> entries;
    for (const auto& e : zip->entries())
        entries.push_back(e.name);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"EGLL.xml", "LFPO.xml", "LIRF.xml"}));
    EXPECT_TRUE(tbloReady.load());
    EXPECT_TRUE(scanUi.tbloEnabled);
    EXPECT_TRUE(scanUi.skipEnabled);
    const std::string logged = log();
    EXPECT_NE(logged.find("The scan will search 3 folders\n"), std::string::npos);
    EXPECT_NE(logged.find("1 simaddon file copied to tblo folder\n"), std::string::npos);
    EXPECT_EQ(window.last<GuiUpdate::ThirdpAirports>()->count, 3u);
}

TEST_F(AirportScanTest, SkipWordsCountBelowTheScannedFoldersOnly)
{
    // The install itself lies in a folder whose name holds skip words.
    MSFS_2024_INSTALL_PATH.value = fs::absolute("sims-scenery-Aircraft statics");
    writeInstall("sims-scenery-Aircraft statics");
    gf_scanAirports();

    EXPECT_EQ(filesIn(g_mySimaddonFolder), (std::vector<std::string>{"KJFK.txt", "KSFO.txt", "LIRF.xml"}));
    EXPECT_EQ(filesIn(g_myThirdpartyFolder), (std::vector<std::string>{"EGLL.xml", "LFPO.xml", "YSSY.txt"}));
    EXPECT_EQ(scanLog().find("EDDF"), std::string::npos) << "an aircraft package is still not entered";
}

TEST_F(AirportScanTest, AStoppedScanKeepsThePreviousFolders)
{
    writeInstall();
    put(g_mySimaddonFolder / "KJFK.txt", "archive/simaddon/KJFK.enc\n");
    put(g_myThirdpartyFolder / "EHAM.xml", "eham");
    // A flight is loaded while the first airport's stands are read.
    gf_setFacilityStandsReader([](const IcaoCode& icao, ScannedAirport& airport, int& helipads) {
        gf_requestRestartAfterFlightChange();
        return fakeFacilities(icao, airport, helipads);
    });
    gf_scanAirports();
    const bool stopped = !gf_keepRunning();
    gf_clearStopRequest();

    EXPECT_TRUE(stopped);
    EXPECT_EQ(filesIn(g_mySimaddonFolder), std::vector<std::string>{"KJFK.txt"});
    EXPECT_EQ(filesIn(g_myThirdpartyFolder), (std::vector<std::string>{"EHAM.xml", "OLD.xml"}));
    EXPECT_EQ(readBytes(g_mySimaddonFolder / "KJFK.txt"), "archive/simaddon/KJFK.enc\n");
    EXPECT_FALSE(fs::exists(gf_airportScanMarkerPath()));
    for (const fs::path& folder : gf_scanFolders())
        EXPECT_FALSE(fs::exists(lf_scanBackupPath(folder)));
    EXPECT_FALSE(fs::exists(g_tbloFolder));
    EXPECT_FALSE(scanUi.tbloEnabled);
    EXPECT_TRUE(scanUi.skipEnabled);
    const std::string logged = log();
    EXPECT_NE(logged.find("Airport scan stopped before its end; keeping previous airport scan data\n"),
              std::string::npos)
        << logged;
    EXPECT_EQ(window.last<GuiUpdate::ThirdpAirports>()->count, 2u);
}

TEST_F(AirportScanTest, FailedZipKeepsTheCopiesAndOffersNothing)
{
    writeInstall();
    fs::create_directories(g_tbloFolder / "tblo.zip" / "in the way");
    gf_scanAirports();

    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EGLL.xml")) << "the scan itself succeeds";
    EXPECT_EQ(filesIn(g_tbloFolder), (std::vector<std::string>{"EGLL.xml", "LFPO.xml", "LIRF.xml", "tblo.zip"}));
    EXPECT_TRUE(fs::is_directory(g_tbloFolder / "tblo.zip"));
    EXPECT_FALSE(tbloReady.load());
    EXPECT_FALSE(scanUi.tbloEnabled);
    ASSERT_TRUE(window.last<GuiUpdate::Error>());
    EXPECT_NE(log().find("==> Zippen TBLO folder failed\n"), std::string::npos);
}

TEST_F(AirportScanTest, ScanWithoutAddOnDataKeepsThePreviousFolders)
{
    fs::create_directories("sim/Community/empty");
    put(g_tbloFolder / "stale.xml", "x");
    gf_scanAirports();

    EXPECT_EQ(readBytes(g_myThirdpartyFolder / "OLD.xml"), "old");
    EXPECT_FALSE(fs::exists(g_mySimaddonFolder));
    EXPECT_FALSE(fs::exists(g_tbloFolder));
    EXPECT_FALSE(fs::exists(gf_airportScanMarkerPath()));
    EXPECT_FALSE(scanUi.tbloEnabled);
    const auto texts = messagesOf(window);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Warning: Scan has not found any add-on airports"), texts.end());
    EXPECT_EQ(texts.back(), "Airport scan produced no add-on data; keeping previous airport scan data");
}

// What an interrupted scan can leave: the marker's text (none = no marker),
// which backups exist, and what the recovery must leave.
struct RecoveryCase {
    const char* marker;
    bool backup[2];
    bool ok;
    const char* after[2]; // content of each scan folder's file afterwards; "" = folder gone
    bool markerAfter;
};

TEST_F(AirportScanTest, InterruptedScansRecoverAsTabled)
{
    const RecoveryCase cases[] = {
        {"0 0\n", {false, false}, true, {"", ""}, false},
        {"1 1\n", {true, true}, true, {"old", "old"}, false},
        {"1 0\n", {false, false}, true, {"new", ""}, false},
        {"0 1\n", {false, true}, true, {"", "old"}, false},
        {"", {true, true}, false, {"new", "new"}, true},
        {"yes\n", {false, false}, false, {"new", "new"}, true},
        {nullptr, {true, true}, true, {"new", "new"}, false},
    };
    for (const RecoveryCase& c : cases) {
        SCOPED_TRACE(c.marker ? c.marker : "(no marker)");
        fs::remove_all("airports");
        for (int i = 0; i < 2; ++i) {
            put(gf_scanFolders()[i] / "f", "new");
            if (c.backup[i])
                put(lf_scanBackupPath(gf_scanFolders()[i]) / "f", "old");
        }
        if (c.marker)
            put(gf_airportScanMarkerPath(), c.marker);
        EXPECT_EQ(gf_recoverAirportScan(), c.ok);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(readBytes(gf_scanFolders()[i] / "f"), c.after[i]) << i;
            EXPECT_EQ(fs::exists(lf_scanBackupPath(gf_scanFolders()[i])), !c.ok && c.backup[i]) << i;
        }
        EXPECT_EQ(fs::exists(gf_airportScanMarkerPath()), c.markerAfter);
    }
    // A scan after a failed recovery changes nothing.
    put(gf_airportScanMarkerPath(), "");
    window.clear();
    gf_scanAirports();
    EXPECT_EQ(messagesOf(window),
              std::vector<std::string>{"Airport scan skipped; previous airport data could not be recovered safely"});
    EXPECT_TRUE(fs::exists(gf_airportScanMarkerPath()));
    EXPECT_EQ(readBytes(g_mySimaddonFolder / "f"), "new");
}

TEST(AirportCodes, FolderNamesAndTests)
{
    const IcaoTest knownEham = [](const IcaoCode& c) { return c.toString() == "EHAM"; };
    const IcaoTest throwing = [](const IcaoCode&) -> bool { throw std::runtime_error("x"); };
    EXPECT_EQ(gf_icaoFromPath("xyz-fs24-eham-airport")->toString(), "EHAM");
    EXPECT_EQ(gf_icaoFromPath("abcd-eham", knownEham)->toString(), "EHAM");
    EXPECT_FALSE(gf_icaoFromPath("ehamx-eha", knownEham));
    EXPECT_FALSE(gf_icaoFromPath("a/eham", knownEham, throwing));
}

} // namespace
