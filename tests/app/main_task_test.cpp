// Start-up of the main task as far as it runs without a simulator: the
// required folder, the install path, the command-line job and the folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_task.h"
#include "app/controls.h"
#include "airports/airport_scan.h"
#include "core/clock.h"
#include "core/layout.h"
#include "core/settings.h"
#include "core/text.h"
#include "tests/app/main_task_fixture.h"

using namespace kvr::test;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kSecond = 1'000'000'000;

class MainTaskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The folder picker cannot open: the user "cancels".
        oldFactory = gf_setFolderDialogFactory([](IFileOpenDialog**) -> HRESULT { return E_FAIL; });
        saved2020 = MSFS_INSTALL_PATH.value;
        saved2024 = MSFS_2024_INSTALL_PATH.value;
        // The RealTraffic App as the source: no credential is needed.
        writeSettings("    <parameter name=\"RT_CHOISE\" value=\"RT App\"/>\n");
    }
    void TearDown() override
    {
        gf_setFolderDialogFactory(oldFactory);
        gf_setCommandLineJob(false);
        MSFS_INSTALL_PATH.value = saved2020;
        MSFS_2024_INSTALL_PATH.value = saved2024;
    }
    // An install the detection finds: the Steam Packages folder of MSFS 2024.
    fs::path makeSteamInstall()
    {
        const fs::path p = fx.folders.roamingAppData() / L"Microsoft Flight Simulator 2024" / L"Packages";
        fs::create_directories(p / L"Community");
        fs::create_directories(p / L"Official2024");
        return p;
    }
    void writeSettings(const std::string& parameters)
    {
        writeBytes(gf_parametersXmlPath(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n" +
                                               parameters + "  </parameters>\n</root>\n");
    }
    std::vector<UINT> exitOrStart()
    {
        std::vector<UINT> out;
        for (UINT m : fx.postedMessages()) {
            if (m == MSG_START || m == MSG_EXIT)
                out.push_back(m);
        }
        return out;
    }

    MainTaskFixture fx;
    FakeMainClock clock;
    MessageBoxRecorder recorder;
    std::vector<std::pair<std::string, unsigned>>& boxes = recordedBoxes();
    FolderDialogFactory oldFactory = nullptr;
    fs::path saved2020, saved2024;
};

} // namespace

TEST_F(MainTaskTest, WithoutTheDocsFolderShowsTheErrorAndExitsAfterTwentyFiveSeconds)
{
    lf_main();
    EXPECT_EQ(fx.display().stickyError, "41: Kelo must be run from the Kelo folder!");
    const StopRequestPtr r = gf_currentStopRequest();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->code, 8u);
    EXPECT_GE(clock.sleptNs(), 25 * kSecond);
    EXPECT_LT(clock.sleptNs(), 26 * kSecond);
    EXPECT_NE(fx.log().find(" Exiting: SYSTEM ERROR"), std::string::npos);
    EXPECT_EQ(exitOrStart(), std::vector<UINT>{MSG_EXIT});
}

TEST_F(MainTaskTest, AStartThatEndsBeforeTheSettingsKeepsTheTimeShiftAndTheCooldownMark)
{
    // No docs folder; the program's default source, RT Direct, and a time
    // shift still in memory from an earlier run.
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, false}));
    writeSettings("    <parameter name=\"TIME_SHIFT_HOURS\" value=\"5\"/>\n"
                  "    <parameter name=\"LAST_EPOCH_TIME\" value=\"123\"/>\n");
    TIME_SHIFT_HOURS.value = 5;
    LAST_EPOCH_TIME.value = 123;
    lf_main();
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    const std::string saved = readBytes(gf_parametersXmlPath());
    EXPECT_NE(saved.find("name=\"TIME_SHIFT_HOURS\" value=\"5\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"LAST_EPOCH_TIME\" value=\"123\""), std::string::npos) << saved;
    EXPECT_EQ(rtApiCooldownDeadline.load(), 0);
    TIME_SHIFT_HOURS.value = 0;
    LAST_EPOCH_TIME.value = 0;
    rtApiCooldownDeadline = 0;
}

TEST_F(MainTaskTest, ACloseWhileTheInstallPathBoxIsOpenOpensNoPicker)
{
    static int pickers;
    pickers = 0;
    gf_setFolderDialogFactory([](IFileOpenDialog**) -> HRESULT {
        ++pickers;
        return E_FAIL;
    });
    gf_setMessageBoxHook([](HWND, const std::wstring&, const std::wstring&, UINT) {
        // The user closes the window while the box is open.
        StopRequestPtr none;
        gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{4, 0}));
        return IDOK;
    });
    EXPECT_FALSE(lf_askForInstallPath());
    EXPECT_EQ(pickers, 0);
}

TEST_F(MainTaskTest, NoInstallPathAndACancelledPickerStopsWithCodeFive)
{
    fs::create_directory("docs");
    lf_main();
    const StopRequestPtr r = gf_currentStopRequest();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->code, 5u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (std::pair<std::string, unsigned>{
                            "Kelo cannot find the MSFS2024 install path.\n\nPlease select the MSFS2024 Community folder.",
                            MB_ICONWARNING}));
    EXPECT_EQ(fx.display().timedMessage,
              "Kelo cannot find the MSFS2024 install path, please select the MSFS2024 Community folder");
    EXPECT_NE(fx.log().find(" Exiting: INSTALL PATH MISSING"), std::string::npos);
    EXPECT_EQ(exitOrStart(), std::vector<UINT>{MSG_EXIT});
    // The data folders were made on the way.
    for (const char* f : {"output/info", "output/errors", "airports/learned/stock", "airports/learned/simaddon",
                          "airports/learned/thirdparty", "airports/my_simaddon", "airports/my_thirdparty",
                          "input/my_regcodes"})
        EXPECT_TRUE(fs::is_directory(f)) << f;
}

TEST_F(MainTaskTest, ProductionJobFindsTheInstallPathAndExitsWithZero)
{
    fs::create_directory("docs");
    const fs::path install = makeSteamInstall();
    gf_setCommandLineJob(true);
    lf_main();
    EXPECT_EQ(gf_processExitCode(), 0);
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value, install);
    EXPECT_TRUE(boxes.empty());
    const std::string log = fx.log();
    const size_t job = log.find("Command line job:\nproduction\n");
    EXPECT_NE(job, std::string::npos) << log;
    EXPECT_NE(log.find(" Exiting: NOT YET SET"), std::string::npos);
    EXPECT_EQ(log.find("Shutdown cleanup: stopping readers"), std::string::npos);
    EXPECT_EQ(exitOrStart(), std::vector<UINT>{MSG_EXIT});
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
}

TEST_F(MainTaskTest, AKilledAirportScanIsUndoneBeforeTheAirportFilesAreRead)
{
    // The program was killed while a scan had written half its folders.
    fs::create_directory("docs");
    makeSteamInstall();
    for (const fs::path& folder : gf_scanFolders()) {
        fs::create_directories(lf_scanBackupPath(folder));
        fs::create_directories(folder);
        writeBytes(lf_scanBackupPath(folder) / L"EHAM.xml", "previous");
    }
    writeBytes(g_mySimaddonFolder / L"EHAM.xml", "half");
    writeBytes(gf_airportScanMarkerPath(), "1 1\n");
    gf_setCommandLineJob(true); // ends the start right after the settings and data files
    lf_main();
    EXPECT_FALSE(fs::exists(gf_airportScanMarkerPath()));
    for (const fs::path& folder : gf_scanFolders()) {
        EXPECT_EQ(readBytes(folder / L"EHAM.xml"), "previous") << folder;
        EXPECT_FALSE(fs::exists(lf_scanBackupPath(folder))) << folder;
    }
}

TEST_F(MainTaskTest, InstallPathEndingInCommunityIsTrimmedAndSaved)
{
    fs::create_directory("docs");
    const fs::path install = makeSteamInstall();
    writeSettings("    <parameter name=\"RT_CHOISE\" value=\"RT App\"/>\n"
                  "    <parameter name=\"SIM_CHOICE\" value=\"MSFS 2024\"/>\n"
                  "    <parameter name=\"MSFS_2024_INSTALL_PATH\" value=\"" +
                  wide_to_utf8((install / L"Community").wstring()) + "\"/>\n");
    gf_setCommandLineJob(true);
    lf_main();
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value, install);
    const std::string saved = readBytes(gf_parametersXmlPath());
    EXPECT_NE(saved.find("value=\"" + wide_to_utf8(install.wstring()) + "\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Community\""), std::string::npos) << saved;
}

TEST_F(MainTaskTest, CooldownHoldsUntilFourSecondsAfterThePersistedMark)
{
    const int32_t saved = LAST_EPOCH_TIME.value;
    rtApiCooldownDeadline = 0;
    LAST_EPOCH_TIME.value = static_cast<int32_t>(gf_nowSeconds(false)) - 1;
    lf_holdForRTApiCooldown();
    // 3 s (2 s when the system clock passes a second boundary meanwhile).
    EXPECT_GE(clock.sleptNs(), 2 * kSecond);
    EXPECT_LE(clock.sleptNs(), 3 * kSecond);
    for (int64_t s : clock.sleeps)
        EXPECT_LE(s, 100'000'000);
    const std::string shown = fx.display().timedMessage;
    EXPECT_TRUE(shown == "Holding for 3 seconds... (RT API cooldown)" ||
                shown == "Holding for 2 seconds... (RT API cooldown)")
        << shown;

    LAST_EPOCH_TIME.value = saved;
}
