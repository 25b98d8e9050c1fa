#include <windows.h>
#include <knownfolders.h>

#include <map>

#include <nlohmann/json.hpp>

#include "core/files.h"
#include "core/value_types.h"
#include "tests/update/update_fixture.h"
#include "update/installer.h"

using namespace update_test;
using kvr::test::readBytes;
using kvr::test::writeBytes;
using Behaviour = DownloadSite::Behaviour;

namespace {

const char* const kMembers[] = {"airports", "aig", "archives", "dbase", "weekly"};
const char* const kFiles[] = {"airports.enc", "AIG-regcodes.enc", "archives.enc", "dbase.enc", "wktraffic.enc"};

struct VersionCheckTest : UpdateTest {
    // versions.json with msfs at the program's own version and every data set at v.
    static std::string manifest(SiteVersion dataSets, SiteVersion msfs = {16, 7, 0}, std::string extra = "")
    {
        std::string text = R"({"msfs":)" + gf_siteVersionJson(msfs);
        for (const char* m : kMembers)
            text += fmt::format(R"(,"{}":{})", m, gf_siteVersionJson(dataSets));
        return text + extra + "}";
    }
    void serveDataSets()
    {
        for (const char* f : kFiles) {
            served[f] = encrypted(dataSetXml(f));
            site.putFile(std::string("input/") + f, served[f]);
        }
    }
    std::map<std::string, std::string> served;
    int dataSetRequests() const
    {
        int n = 0;
        for (const char* f : kFiles)
            n += site.requestCount(std::string("input/") + f);
        return n;
    }
    std::string parametersXml() const { return readBytes(gf_parametersXmlPath()); }
    int thrownCode()
    {
        try {
            gf_checkForUpdates();
        } catch (const kvr::UserRelatedException& e) {
            return e.code;
        }
        return 0;
    }
};

} // namespace

TEST_F(VersionCheckTest, DataSetsAreFetchedInOrderAndTheirVersionsSaved)
{
    site.putFile("versions.json", manifest({2, 1, 7}));
    serveDataSets();
    ASSERT_TRUE(gf_checkForUpdates());

    std::vector<std::string> expected = {"/downloads/versions.json"};
    for (const char* f : kFiles)
        expected.push_back(std::string("/downloads/input/") + f);
    EXPECT_EQ(site.requestLog(), expected);
    for (StringParameter* p : kVersionSettings) {
        EXPECT_EQ(p->value, "2.1.7");
        EXPECT_NE(parametersXml().find("name=\"" + p->name + "\" value=\"2.1.7\""), std::string::npos) << p->name;
    }
    for (const char* f : kFiles)
        EXPECT_EQ(readBytes(g_inputFolder / f), served[f]) << f;
    EXPECT_FALSE(fs::exists("versions.json"));
    const std::string log = logText();
    EXPECT_NE(log.find("msfs program version at web = 16.7.0\nmsfs version up-to-date\n"), std::string::npos);
    EXPECT_NE(log.find("==> maintenance version not found"), std::string::npos);
    EXPECT_NE(log.find("weekly updated to 2.1.7"), std::string::npos);

    // Equal versions are left alone, but a missing file is fetched again.
    fs::remove(g_aigRegcodesEncPath);
    ASSERT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(site.requestCount("input/AIG-regcodes.enc"), 2);
    EXPECT_EQ(dataSetRequests(), 6);
    EXPECT_NE(logText().find("dbase version up-to-date"), std::string::npos);
}

TEST_F(VersionCheckTest, AManifestWithoutTheProgramVersionStillUpdatesTheDataSets)
{
    serveDataSets();
    site.putFile("versions.json", R"({"dbase":{"major":1,"minor":4,"patch":0},"weekly":{"major":1}})");
    ASSERT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value, "1.4.0");
    EXPECT_EQ(dataSetRequests(), 1);
    const std::string log = logText();
    EXPECT_NE(log.find("==> msfs version not found"), std::string::npos);
    EXPECT_NE(log.find("==> Invalid web version numbers for 'weekly'"), std::string::npos);
}

TEST_F(VersionCheckTest, AFailedOrCorruptDataSetKeepsTheOldFileAndVersion)
{
    site.putFile("versions.json", manifest({3, 0, 0}));
    serveDataSets();
    site.putFile("input/dbase.enc", encrypted("<root/>", {.useWrongKey = true}));
    site.setBehaviour("input/airports.enc", Behaviour::Redirect, "https://elsewhere.invalid/airports.enc");
    writeBytes(g_dbaseEncPath, "old dbase");
    writeBytes(g_airportsEncPath, "old airports");
    DBASE_VERSION.value = "2.9.0";
    ASSERT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(readBytes(g_dbaseEncPath), "old dbase");
    EXPECT_EQ(readBytes(g_airportsEncPath), "old airports");
    EXPECT_EQ(DBASE_VERSION.value, "2.9.0");
    EXPECT_EQ(AIRPORTS_VERSION.value, "");
    EXPECT_EQ(parametersXml().find("DBASE_VERSION"), std::string::npos);
    EXPECT_EQ(AIG_VERSION.value, "3.0.0");

    // The next start tries again.
    site.putFile("input/dbase.enc", encrypted(dataSetXml("dbase.enc")));
    ASSERT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value, "3.0.0");
    EXPECT_EQ(site.requestCount("input/dbase.enc"), 2);
}

TEST_F(VersionCheckTest, AnUnusableManifestSkipsTheCheck)
{
    serveDataSets();
    const struct {
        std::string body;
        Behaviour behaviour;
        std::string logLine;
    } cases[] = {
        {"", Behaviour::NotFound, "==> Downloading version info from my web site failed!"},
        {"", Behaviour::ServerError, "==> Downloading version info from my web site failed!"},
        {gf_oversizeVersionsJson(), Behaviour::Serve, "==> versions.json is unexpectedly large: 1048577 bytes"},
        {"[" + manifest({9, 0, 0}) + "]", Behaviour::Serve, "==> Invalid versions.json received; update check skipped"},
        {"{\"msfs\": ", Behaviour::Serve, "==> Invalid versions.json received; update check skipped"},
    };
    for (const auto& c : cases) {
        site.putFile("versions.json", c.body);
        site.setBehaviour("versions.json", c.behaviour);
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_NE(logText().find(c.logLine), std::string::npos) << c.logLine;
        EXPECT_FALSE(fs::exists("versions.json"));
    }
    EXPECT_EQ(dataSetRequests(), 0);
    EXPECT_TRUE(gf_keepRunning());
}

TEST_F(VersionCheckTest, MaintenanceThrowsBeforeAnyDataSetIsTouched)
{
    serveDataSets();
    site.putFile("versions.json", manifest({5, 0, 0}, {16, 7, 0}, R"(,"maintenance":{"major":0,"minor":0,"patch":1})"));
    EXPECT_EQ(thrownCode(), 2026);
    EXPECT_TRUE(WebMaintenanceFlag.load());
    EXPECT_EQ(dataSetRequests(), 0);

    WebMaintenanceFlag.store(false);
    site.putFile("versions.json", manifest({5, 0, 0}, {16, 7, 0}, R"(,"maintenance":{"major":0,"minor":0,"patch":0})"));
    EXPECT_EQ(thrownCode(), 0);
    EXPECT_FALSE(WebMaintenanceFlag.load());
    EXPECT_NE(logText().find("maintenance version up-to-date"), std::string::npos);
    EXPECT_EQ(dataSetRequests(), 5);
}

TEST_F(VersionCheckTest, WebVersionNumbersMustBeNonNegativeWholeNumbers)
{
    const auto m = nlohmann::json::parse(R"({
        "ok": {"major": 1, "minor": 2, "patch": 3},
        "bools": {"major": true, "minor": false, "patch": 2},
        "negative": {"major": 1, "minor": -2, "patch": 3},
        "text": {"major": "1", "minor": 2, "patch": 3},
        "short": {"major": 1, "minor": 2},
        "huge": {"major": 4294967296, "minor": 0, "patch": 0},
        "flat": "1.2.3"})");
    EXPECT_EQ(lf_webVersion(m, "ok"), VersionData(1, 2, 3));
    EXPECT_EQ(lf_webVersion(m, "bools"), VersionData(1, 0, 2));
    for (const char* bad : {"negative", "text", "short", "huge"})
        EXPECT_FALSE(lf_webVersion(m, bad)) << bad;
    EXPECT_FALSE(lf_webVersion(m, "flat"));
    EXPECT_FALSE(lf_webVersion(m, "absent"));
    const std::string log = logText();
    EXPECT_NE(log.find("==> Invalid web version numbers for 'huge'"), std::string::npos);
    EXPECT_NE(log.find("==> Invalid web version data for 'flat'"), std::string::npos);
    EXPECT_NE(log.find("==> absent version not found"), std::string::npos);
}

// ---- A newer program version -------------------------------------------------

struct NewVersionTest : VersionCheckTest {
    void SetUp() override
    {
        VersionCheckTest::SetUp();
        serveDataSets();
        site.putFile("versions.json", manifest({5, 0, 0}, gf_standinInstallerVersion()));
        site.putFile("docs/ReleaseNotes.pdf", "%PDF-1.4 notes");
    }
    const fs::path installer = g_newVersionFolder / g_installerName;
};

TEST_F(NewVersionTest, TheInstallerIsPreparedAndTheProgramStops)
{
    fs::create_directories(g_newVersionFolder / "old");
    writeBytes(g_newVersionFolder / "old" / "stale.txt", "stale");
    for (InstallerZip zip : {InstallerZip::RightVersion, InstallerZip::FolderAndFile}) {
        gf_clearStopRequest();
        explorerCalls.clear();
        site.putFile("release/Kelo_latest_version.zip", gf_installerZipBytes(zip));
        EXPECT_FALSE(gf_checkForUpdates());

        ASSERT_TRUE(gf_currentStopRequest());
        EXPECT_EQ(gf_currentStopRequest()->code, 9u);
        EXPECT_EQ(gf_currentStopRequest()->arg, 0u);
        EXPECT_EQ(lf_productVersionOf(installer), VersionData(16, 8, 0));
        EXPECT_EQ(readBytes(g_newVersionFolder / g_releaseNotesName), "%PDF-1.4 notes");
        EXPECT_EQ(readBytes(g_newVersionFolder / "README.txt"),
                  "Deze installer installeert Kelo 16.8.0.\n\nA new version is available.\nThe installer can be "
                  "executed normally (no Administrator rights required).\n");
        EXPECT_FALSE(fs::exists(g_newVersionFolder / "old"));
        EXPECT_FALSE(fs::exists(g_installerName));
        EXPECT_FALSE(fs::exists("latest_version.zip"));
        ASSERT_EQ(explorerCalls.size(), 1u);
        EXPECT_EQ(explorerCalls[0], fs::current_path() / installer);
    }
    EXPECT_EQ(dataSetRequests(), 0);
    EXPECT_TRUE(warningBoxes.empty());
}

TEST_F(NewVersionTest, ABadArchiveFailsWithTheInstallerError)
{
    for (InstallerZip zip : {InstallerZip::WrongVersion, InstallerZip::TwoFiles, InstallerZip::Empty,
                             InstallerZip::EmptyInstaller, InstallerZip::UnsafeName, InstallerZip::Bomb}) {
        site.putFile("release/Kelo_latest_version.zip", gf_installerZipBytes(zip));
        EXPECT_EQ(thrownCode(), 112) << static_cast<int>(zip);
        EXPECT_FALSE(fs::exists(installer));
        EXPECT_FALSE(fs::exists(g_installerName));
        EXPECT_FALSE(fs::exists("latest_version.zip"));
    }
    site.putFile("release/Kelo_latest_version.zip", "not a zip");
    EXPECT_EQ(thrownCode(), 112);
    site.setBehaviour("release/Kelo_latest_version.zip", Behaviour::NotFound);
    EXPECT_EQ(thrownCode(), 112);
    EXPECT_EQ(ui.lastMessage(), "Downloading program installer file version 16.8.0 failed");

    EXPECT_TRUE(gf_keepRunning());
    EXPECT_EQ(dataSetRequests(), 0);
    EXPECT_TRUE(explorerCalls.empty());
    const std::string log = logText();
    for (const char* line : {"==> Downloaded installer ProductVersion 16.7.5 does not match web version 16.8.0",
                             "==> Update archive contains 2 files instead of exactly one",
                             "==> Update archive contains 0 files instead of exactly one",
                             "==> Invalid installer size in update archive: 0 bytes",
                             "==> Update archive holds an unsafe entry name: '../install_new_version.exe'",
                             "==> Could not open latest_version.zip", "==> install_new_version.exe does not exists?",
                             // the bomb: writing stopped at the declared 4 KiB
                             "==> Unzipping failed or produced an incomplete installer (result -1, expected 4096, "
                             "actual 4096)"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(NewVersionTest, MissingNotesAndAFailingExplorerDoNotStopThePreparation)
{
    site.putFile("release/Kelo_latest_version.zip", gf_installerZipBytes(InstallerZip::RightVersion));
    site.setBehaviour("docs/ReleaseNotes.pdf", Behaviour::NotFound);
    explorerWorks = false;
    EXPECT_FALSE(gf_checkForUpdates());
    EXPECT_TRUE(fs::exists(installer));
    EXPECT_FALSE(fs::exists(g_newVersionFolder / g_releaseNotesName));
    EXPECT_EQ(warningBoxes, std::vector<std::string>{"Could not open File Explorer at new version"});
    EXPECT_EQ(ui.lastMessage(),
              "Opening file explorer at the new version failed? Try manually via the Tarvenhol website.");
    EXPECT_NE(logText().find("==> could not download ReleaseNotes.pdf to new_version"), std::string::npos);
    EXPECT_EQ(gf_currentStopRequest()->code, 9u);

    // An opener that throws counts as failed: the program still stops for the installer.
    gf_clearStopRequest();
    explorerThrows = true;
    EXPECT_FALSE(gf_checkForUpdates());
    EXPECT_EQ(warningBoxes.size(), 2u);
    ASSERT_TRUE(gf_currentStopRequest());
    EXPECT_EQ(gf_currentStopRequest()->code, 9u);
}

TEST_F(UpdateTest, AWritableProgramFolderNeedsNoAdministrator)
{
    const std::string normal =
        "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
    gf_setKnownFolderOverride(KnownFolder::ProgramFiles, folders.root().wstring());
    EXPECT_EQ(lf_installerRightsMessage(fs::current_path()), normal); // protected but writable
    EXPECT_FALSE(fs::exists(".write_test.tmp"));
    gf_clearKnownFolderOverrides();
}

TEST_F(VersionCheckTest, OversizeDownloadsAreStoppedWhileTheyRun)
{
    // A manifest of 8 MiB with its length announced, then one without a
    // length: neither is stored whole before it is refused.
    std::string huge = manifest({1, 0, 0});
    huge.resize(8u << 20, ' ');
    site.putFile("versions.json", huge);
    EXPECT_TRUE(gf_checkForUpdates());
    site.setBehaviour("versions.json", Behaviour::Flood);
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(dataSetRequests(), 0);
    EXPECT_FALSE(fs::exists("versions.json.download_tmp"));

    // A data set that floods past its encrypted size: the old one stays.
    site.setBehaviour("versions.json", Behaviour::Serve);
    site.putFile("versions.json", manifest({3, 0, 0}));
    serveDataSets();
    site.setBehaviour("input/wktraffic.enc", Behaviour::Flood);
    writeBytes(g_wktrafficEncPath, "old weekly");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(readBytes(g_wktrafficEncPath), "old weekly");
    EXPECT_EQ(WEEKLY_TRAFFIC_AIRPORTS_VERSION.value, "");
    EXPECT_EQ(DBASE_VERSION.value, "3.0.0");

    const std::string log = logText();
    const std::string stopped =
        "==> Download of '" + gf_downloadFolderUrl() + "versions.json' stopped: larger than 2097152 bytes\n";
    const std::size_t first = log.find(stopped);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(stopped, first + 1), std::string::npos) << "the flood is stopped as well";
    EXPECT_NE(log.find("==> Download of '" + gf_downloadFolderUrl() + "input/wktraffic.enc' stopped: larger than " +
                       std::to_string(gf_dataSetDownloadLimit("wktraffic.enc")) + " bytes\n"),
              std::string::npos);
}

TEST_F(VersionCheckTest, ADataSetOfTheWrongKindKeepsTheOldOneAndItsVersion)
{
    site.putFile("versions.json", manifest({3, 0, 0}));
    serveDataSets();
    site.putFile("input/dbase.enc", served["wktraffic.enc"]); // decrypts and parses, but is not the dbase
    writeBytes(g_dbaseEncPath, "good old dbase");
    DBASE_VERSION.value = "2.0.0";
    ASSERT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(readBytes(g_dbaseEncPath), "good old dbase");
    EXPECT_EQ(DBASE_VERSION.value, "2.0.0");
    EXPECT_EQ(ARCHIVES_VERSION.value, "3.0.0");
    EXPECT_NE(logText().find("is not a usable data set: missing <aircrafts> section"), std::string::npos);
}
