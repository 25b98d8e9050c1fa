// The expected report lines, log lines and paths are Windows paths: these
// tests run in the Windows build only.
#if defined(_WIN32)
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/explorer.h"
#include "core/layout.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "liveries/livery_scan_driver.h"
#include "liveries/livery_scan_reports.h"
#include "tests/liveries/livery_fixture.h"
#include "tests/support/ui_recorder.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::writeBytes;

namespace {

std::string utf16(const std::string& utf8, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : utf8_to_wide(utf8)) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

std::string section(int n, const std::string& title, const std::string& airline)
{
    return "[fltsim." + std::to_string(n) + "]\r\ntitle=" + title + "\r\nicao_airline=" + airline + "\r\n";
}

class LiveryScanDriver : public kvr::test::LiveryFixture {
protected:
    void SetUp() override
    {
        LiveryFixture::SetUp();
        gf_clearLiveryScanReports();
        oldSelector = AI_PACKAGE_SELECTOR.value;
        MSFS_INSTALL_PATH.value = MSFS_2024_INSTALL_PATH.value = fs::absolute(".");
    }
    void TearDown() override
    {
        AI_PACKAGE_SELECTOR.value = oldSelector;
        MSFS_INSTALL_PATH.value = MSFS_2024_INSTALL_PATH.value = fs::path();
        for (StringParameter* p : {&lfolder0, &lfolder1})
            p->value.clear();
        gf_clearStopRequest();
        LiveryFixture::TearDown();
    }
    static void file(const fs::path& path, const std::string& bytes)
    {
        fs::create_directories(path.parent_path());
        writeBytes(path, bytes);
    }
    static void scanSettings(bool automatic, int sim, const char* selector = "AIG, FSLTL, JF, MTL")
    {
        gf_modifyParameters([=](Parameters& p) {
            p.LIG_AUTOMATIC = automatic;
            p.LIG_PRIORITIZE = true;
        });
        auto mode = std::make_shared<ModeSettings>(*g_modeSettings.load());
        mode->sim = static_cast<uint32_t>(sim);
        g_modeSettings.store(mode);
        AI_PACKAGE_SELECTOR.value = selector;
    }
    // Every package kind, the charsets the scan meets, broken files, titles
    // claimed twice and folders that must not be entered. b_738 is made before
    // a_738: which one claims "Shared title" must not follow the disk's order.
    static void makeCommunity()
    {
        const fs::path planes = fs::path("Community") / "aig-aitraffic-oci-beta" / "SimObjects" / "Airplanes";
        file(planes / "b_738" / "aircraft.cfg", "[General]\nicao_type_designator=B738\n" +
                                                    section(0, "Boeing 737-800 KLM", "KLM") +
                                                    section(1, "Shared title", "TRA"));
        file(planes / "a_738" / "Aircraft.CFG", "icao_type_designator=B738\r\n" + section(0, "Shared title", "RYR") +
                                                    section(1, "Boeing 737-800 Ryanair \xE9", "RYR"));
        file(planes / "a_738" / "flytampa_objects" / "aircraft.cfg", "icao_type_designator=B738\n" +
                                                                         section(0, "Scenery object", "KLM"));
        // A folder path of exactly 250 bytes is not entered.
        const size_t used = wide_to_utf8(fs::absolute(planes).wstring()).size() + 1;
        file(planes / std::string(250 - used, 'x') / "aircraft.cfg",
             "icao_type_designator=B738\n" + section(0, "Deep livery", "KLM"));
        file(planes / "bad" / "aircraft.cfg",
             "icao_type_designator=A320\n" + section(0, "Bad 0", "KLM") + section(10001, "Bad 1", "KLM"));
        file(planes / "empty" / "aircraft.cfg", "[General]\nicao_type_designator=A320\n");
        file(fs::path("Community") / "aig-aitraffic-oci-main" / "c" / "aircraft.cfg",
             "icao_type_designator=B738\n" + section(0, "Main only", "KLM"));

        const fs::path fsltl = fs::path("Community") / "fsltl-traffic-base" / "SimObjects";
        file(fsltl / "b738" / "aircraft.cfg",
             utf16("icao_type_designator=B738\r\n" + section(0, "FSLTL KLM 737", "KLM") +
                       section(1, "Shared title", "KLM"),
                   true));
        file(fsltl / "a320" / "aircraft.cfg",
             "\xEF\xBB\xBFicao_type_designator=A320\n" + section(0, "Airbus A320-200 British Airways", "BAW") +
                 "[fltsim.x]\ntitle=Odd header\nicao_airline=XYZ\n" +
                 section(2, "Dash 8 Q400 Flybe (retired colours)", "BAW"));
        file(fs::path("Community") / "justflight-aircraft-traffic-fleet_CVT_" / "aircraft.cfg",
             "icao_type_designator=B738\n" + section(0, "Converted", "KLM"));

        const fs::path ivao = fs::path("Community") / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_B738WLfa";
        file(ivao / "aircraft.cfg", utf16("[fltsim.0]\r\ntitle=B738W KLM Ivao\r\ntexture=KLM\r\n", false));
        fs::create_directories(ivao / "texture.KLM");
        file(fs::path("Community") / "user-aitraffic-mine" / "c172" / "aircraft.cfg",
             "icao_type_designator=C172\n[fltsim.0]\ntitle=Cessna 172 Skyhawk White\n");
        fs::create_directories(fs::path("Community") / "a-user-aitraffic_CVT_");
    }
    static std::string liveriesOf(const fs::path& list)
    {
        const std::string text = readBytes(list);
        return text.substr(std::min(text.find("  <liveries>"), text.size()));
    }
    std::string oldSelector;
};

TEST_F(LiveryScanDriver, PackageOrdersAreTheSelectorOptions)
{
    const auto& table = lf_packageOrderTable();
    ASSERT_EQ(AI_PACKAGE_SELECTOR.options.size(), table.size());
    for (size_t row = 0; row < table.size(); ++row) {
        std::string text;
        for (uint8_t p : table[row])
            text += (text.empty() ? "" : ", ") + std::string(p == 3 ? "MTL" : lf_packageLogName(p));
        EXPECT_EQ(text, AI_PACKAGE_SELECTOR.options[row]) << row;
    }
}

TEST_F(LiveryScanDriver, AutomaticScanWritesListReportsAndCounts)
{
    makeCommunity();
    scanSettings(true, 1);
    kvr::test::RecordingUiSink sink;
    gf_scanLiveries();

    const fs::path community = fs::absolute("Community");
    const std::string c = wide_to_utf8(community.wstring());
    EXPECT_EQ(liveriesOf(g_liveriesScanned2020Path),
              "  <liveries>\n"
              "    <l a=\"BAW\" m=\"A320\" t=\"Airbus A320-200 British Airways\" />\n"
              "    <l a=\"KLM\" m=\"B738\" t=\"Boeing 737-800 KLM\" />\n"
              "    <l a=\"RYR\" m=\"B738\" t=\"Boeing 737-800 Ryanair \xC3\xA9\" />\n"
              "    <l a=\"RYR\" m=\"B738\" t=\"Shared title\" />\n"
              "    <l a=\"PVT\" m=\"A320\" t=\"Odd header\" />\n"
              "    <l a=\"PVT\" m=\"C172\" t=\"Cessna 172 Skyhawk White\" />\n"
              "  </liveries>\n"
              "</root>\n");
    const auto& reports = gf_liveryReportPaths();
    const std::string aig = c + "\\aig-aitraffic-oci-beta\\SimObjects\\Airplanes\\";
    EXPECT_EQ(readBytes(reports[0]), aig + "empty\\aircraft.cfg\n");
    EXPECT_EQ(readBytes(reports[1]), "Dash 8 Q400 Flybe (retired colours)\n");
    EXPECT_EQ(readBytes(reports[2]),
              "XYZ          in " + c + "\\fsltl-traffic-base\\SimObjects\\a320\\aircraft.cfg [fltsim.x]\n");
    EXPECT_FALSE(fs::exists(reports[3]));
    EXPECT_EQ(readBytes(reports[5]), aig + "bad\\aircraft.cfg contains a [fltsim.x] section with a number < 0 or > "
                                           "10000\n");
    EXPECT_EQ(readBytes(reports[6]),
              aig + "b_738 [fltsim.1] title 'Shared title' already exists\n" + c +
                  "\\fsltl-traffic-base\\SimObjects\\a320\\aircraft.cfg [fltsim.x] icao_airline is missing, or it "
                  "has invalid info \n" +
                  c + "\\fsltl-traffic-base\\SimObjects\\b738 [fltsim.1] title 'Shared title' already exists\n" + c +
                  "\\user-aitraffic-mine\\c172\\aircraft.cfg [fltsim.0] icao_airline is missing, or it has invalid "
                  "info \n");

    const std::string text = log();
    for (const std::string& line : std::vector<std::string>{
             "Automatic AIG scan found folder: 'aig-aitraffic-oci-beta'\n",
             "Automatic user-aitraffic scan found folder: 'user-aitraffic-mine'\n",
             "\n    3 liveries found in " + c + "\\aig-aitraffic-oci-beta\n",
             "\n    1 liverie found in " + c + "\\IVAO_MTL\n",
             "\n    2 same airl+model liveries removed because from lower ai-package\n    6 in total\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    const auto counts = sink.all<GuiUpdate::LiveryCount>();
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].count, 6u);
    EXPECT_TRUE(UsedLiveryTitles.empty());

    // MSFS 2024 never takes the beta folder; with MTL first, its liveries win
    // over the AIG ones of the same airline and type.
    scanSettings(true, 2, "MTL, AIG");
    gf_scanLiveries();
    EXPECT_EQ(liveriesOf(g_liveriesScanned2024Path), "  <liveries>\n"
                                                     "    <l a=\"KLM\" m=\"B738\" t=\"B738W KLM Ivao\" />\n"
                                                     "    <l a=\"PVT\" m=\"C172\" t=\"Cessna 172 Skyhawk White\" />\n"
                                                     "  </liveries>\n"
                                                     "</root>\n");
    EXPECT_NE(log().find("\nAutomatic AIG scan found folder: 'aig-aitraffic-oci-main'\n"), std::string::npos);
}

TEST_F(LiveryScanDriver, FailedCommitKeepsTheOldList)
{
    makeCommunity();
    scanSettings(true, 1);
    fs::create_directories(g_outputFolder);
    writeBytes(g_liveriesScanned2020Path, "old list");
    fs::path stale = g_liveriesScanned2020Path;
    stale += L".scan_tmp";
    file(stale / "busy", "x");
    EXPECT_THROW(gf_scanLiveries(), std::runtime_error);
    EXPECT_EQ(readBytes(g_liveriesScanned2020Path), "old list");
    EXPECT_NE(log().find("==> Liveries scan failed: the new output\\LiveriesScanned_MSFS2020.xml could not be "
                         "committed safely\n"),
              std::string::npos);
}

struct FailCase {
    bool automatic;
    const char* lfolder0;
    int code;
    const char* folderMadeFirst;
};

TEST_F(LiveryScanDriver, ManualFoldersRanksAndFailures)
{
    // Eleven folders of one livery each: the eleventh shares rank 10.
    LiveryFolderList folders{"missing", "", "file.txt"};
    for (int i = 0; i < 11; ++i) {
        folders.push_back(fs::absolute(fmt::format("m{:02}", i)));
        file(folders.back() / "aircraft.cfg", "icao_type_designator=A320\n" + section(0, fmt::format("T{}", i), "DLH"));
    }
    writeBytes("file.txt", "x");
    EXPECT_EQ(lf_scanLiveryFolders(folders, false), LiveryScanDone);
    ASSERT_EQ(LiveryScanResult.size(), 11u);
    for (const LiveryRecord& r : LiveryScanResult)
        EXPECT_EQ(r.packageRank, std::min(std::stoi(r.title.substr(1)) + 1, 10)) << r.title;
    const std::string text = log();
    EXPECT_NE(text.find("\nmissing does not exist, skipped!\n"), std::string::npos);
    EXPECT_NE(text.find("\nfile.txt is not a folder name, skipped!\n"), std::string::npos);

    gf_requestStop(7, 15);
    EXPECT_EQ(lf_scanLiveryFolders(folders, true), LiveryScanStopped);
    gf_clearStopRequest();

    // Manual mode without folders shows the user the folder of parameters.xml.
    static fs::path opened;
    gf_setShellOpenHook([](const fs::path& folder) {
        opened = folder;
        return true;
    });
    fs::create_directories(gf_settingsFolder());
    if (!fs::exists(gf_parametersXmlPath()))
        writeBytes(gf_parametersXmlPath(), "<root/>");
    fs::create_directories("empty");
    for (const FailCase& f : {FailCase{false, "", 48, ""}, FailCase{false, "nowhere", 243, ""},
                              FailCase{false, "empty", 554, ""}, FailCase{true, "", 148, ""},
                              FailCase{true, "", 553, "Community\\aig-aitraffic-oci"}}) {
        scanSettings(f.automatic, 1);
        lfolder0.value = f.lfolder0;
        if (*f.folderMadeFirst != 0)
            fs::create_directories(f.folderMadeFirst);
        try {
            gf_scanLiveries();
            ADD_FAILURE() << f.code;
        } catch (const kvr::UserRelatedException& e) {
            EXPECT_EQ(e.code, f.code);
        }
        if (f.code == 48)
            EXPECT_EQ(opened, gf_parametersXmlPath().parent_path());
    }
    gf_setShellOpenHook(nullptr);
    EXPECT_NE(log().find("==> Liveries scan failed: 553: Automatic scan has not found any liveries"),
              std::string::npos);
}

} // namespace

#endif
