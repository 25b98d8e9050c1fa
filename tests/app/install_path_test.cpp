// Finding the simulator's install path and checking a picked Community folder.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/install_path.h"
#include "tests/app/main_task_fixture.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using namespace kvr::test;
namespace fs = std::filesystem;

namespace {

class InstallPathTest : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        oldMode = g_modeSettings.load();
        g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{GetParam(), true}));
        fs::create_directories(gf_settingsFolder());
        saved2020 = MSFS_INSTALL_PATH.value;
        saved2024 = MSFS_2024_INSTALL_PATH.value;
    }
    void TearDown() override
    {
        g_modeSettings.store(oldMode);
        MSFS_INSTALL_PATH.value = saved2020;
        MSFS_2024_INSTALL_PATH.value = saved2024;
    }
    bool is2020() const { return GetParam() == 1; }
    const wchar_t* official() const { return is2020() ? L"Official" : L"Official2024"; }
    // A simulator package root with Community and the official folder.
    fs::path makeInstall(const fs::path& root)
    {
        fs::create_directories(root / L"Community");
        fs::create_directories(root / official());
        return root;
    }
    void writeUserCfg(const fs::path& file, const std::string& text)
    {
        fs::create_directories(file.parent_path());
        writeBytes(file, text);
    }
    std::string cfgLine(const fs::path& p) { return "InstalledPackagesPath \"" + wide_to_utf8(p.wstring()) + "\"\n"; }

    ScopedTestFolders folders{"installpath"};
    std::shared_ptr<const ModeSettings> oldMode;
    MessageBoxRecorder recorder;
    std::vector<std::pair<std::string, unsigned>>& boxes = recordedBoxes();
    fs::path saved2020, saved2024;
};

} // namespace

TEST_P(InstallPathTest, FoundFromUserCfgInEachPlace)
{
    const fs::path local = folders.localAppData();
    const fs::path roaming = folders.roamingAppData();
    const std::vector<fs::path> places = {
        local / L"Packages" /
            (is2020() ? L"Microsoft.FlightSimulator_8wekyb3d8bbwe" : L"Microsoft.Limitless_8wekyb3d8bbwe") /
            L"LocalCache" / L"UserCfg.opt",
        roaming / (is2020() ? L"Microsoft Flight Simulator" : L"Microsoft Flight Simulator 2024") / L"UserCfg.opt",
        local / L"Packages" / L"Microsoft.FlightDashboard_8wekyb3d8bbwe" / L"LocalCache" / L"UserCfg.opt",
        local / L"MSFSPackages" / L"UserCfg.opt",
    };
    // Each place is found alone; with several, the earlier place wins.
    for (size_t i = places.size(); i-- > 0;) {
        const fs::path install = makeInstall(folders.root() / fmt::format("Packages{}", i));
        writeUserCfg(places[i], "Version 1.0\nSomething else\n" + cfgLine(install) + "InstalledPackagesPath \"X:\\\\nowhere\"\n");
        EXPECT_EQ(lf_findUserCfg(), places[i]) << i;
        EXPECT_EQ(gf_detectInstallPath(), install) << i;
    }
}

TEST_P(InstallPathTest, SteamPackagesFolderComesFirst)
{
    const fs::path steam = folders.roamingAppData() /
                           (is2020() ? L"Microsoft Flight Simulator" : L"Microsoft Flight Simulator 2024") / L"Packages";
    fs::create_directories(steam / L"Community");
    const fs::path other = makeInstall(folders.root() / L"Elsewhere");
    writeUserCfg(folders.localAppData() / L"MSFSPackages" / L"UserCfg.opt", cfgLine(other));
    // Without its official folder the Steam folder is not valid: UserCfg.opt decides.
    EXPECT_EQ(gf_detectInstallPath(), other);
    fs::create_directories(steam / official());
    EXPECT_EQ(gf_detectInstallPath(), steam);
}

TEST_P(InstallPathTest, UnknownAppDataFoldersAreLogged)
{
    gf_openLog();
    gf_setKnownFolderOverride(KnownFolder::LocalAppData, std::nullopt);
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, std::nullopt);
    EXPECT_TRUE(gf_detectInstallPath().empty());
    gf_flushLog();
    const std::string log = readBytes(folders.programFolder() / "Log.txt");
    gf_closeLog();
    EXPECT_NE(log.find("==> Could not find the AppData path\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> Could not find the Local AppData path\n"), std::string::npos) << log;
}

TEST_P(InstallPathTest, UserCfgLinesThatGiveNoPath)
{
    const fs::path cfg = folders.localAppData() / L"MSFSPackages" / L"UserCfg.opt";
    const fs::path install = makeInstall(folders.root() / L"Sim");
    // No quotes: the line itself would have to be a folder.
    writeUserCfg(cfg, "InstalledPackagesPath " + wide_to_utf8(install.wstring()) + "\n");
    EXPECT_TRUE(lf_readInstalledPackagesPath().empty());
    // Empty quotes.
    writeUserCfg(cfg, "InstalledPackagesPath \"\"\n");
    EXPECT_TRUE(lf_readInstalledPackagesPath().empty());
    // The first line with the key is the one that counts.
    writeUserCfg(cfg, "InstalledPackagesPath \"" + wide_to_utf8((install / L"gone").wstring()) + "\"\n" +
                          cfgLine(install));
    EXPECT_TRUE(lf_readInstalledPackagesPath().empty());
    // A folder that exists but lacks the official packages is read but not valid.
    fs::remove_all(install / official());
    writeUserCfg(cfg, cfgLine(install));
    EXPECT_EQ(lf_readInstalledPackagesPath(), install);
    EXPECT_TRUE(gf_detectInstallPath().empty());
}

TEST_P(InstallPathTest, PickedCommunityFolderInAnyCaseStoresItsParent)
{
    const fs::path root = folders.root() / L"Sim";
    fs::create_directories(root / L"community");
    fs::create_directories(root / L"Official");
    fs::create_directories(root / L"StreamedPackages");
    fs::create_directories(root / L"Community2024");
    PathParameter& setting = gf_installPathSetting();
    ASSERT_TRUE(lf_acceptCommunityFolder(setting, root / L"community"));
    EXPECT_EQ(setting.value, root);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (std::pair<std::string, unsigned>{"Okay!", 0u}));
    EXPECT_NE(readBytes(gf_parametersXmlPath()).find(wide_to_utf8(root.wstring())), std::string::npos);
}

TEST_P(InstallPathTest, PickedFoldersThatAreRefused)
{
    const fs::path root = folders.root() / L"Sim";
    makeInstall(root);
    PathParameter& setting = gf_installPathSetting();
    setting.value = L"C:\\before";
    EXPECT_FALSE(lf_acceptCommunityFolder(setting, root / official()));
    EXPECT_FALSE(lf_acceptCommunityFolder(setting, root / L"Missing" / L"Community"));
    EXPECT_EQ(setting.value, fs::path(L"C:\\before"));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (std::pair<std::string, unsigned>{"This path is not a valid Community folder.",
                                                          MB_ICONERROR}));
    EXPECT_EQ(boxes[1], (std::pair<std::string, unsigned>{"This install path does not exist.", MB_ICONERROR}));
}

TEST_P(InstallPathTest, MissingNeighboursOnlyWarn)
{
    const fs::path root = folders.root() / L"Sim";
    fs::create_directories(root / L"Community");
    PathParameter& setting = gf_installPathSetting();
    ASSERT_TRUE(lf_acceptCommunityFolder(setting, root / L"Community"));
    EXPECT_EQ(setting.value, root);
    std::vector<std::pair<std::string, unsigned>> expected;
    if (is2020()) {
        expected = {{"Warning: There is no Official folder parallel to the Community folder.", MB_ICONWARNING}};
    } else {
        expected = {
            {"Warning: There is no StreamedPackages folder parallel to the Community folder.", MB_ICONWARNING},
            {"Warning: There is no Community2024 folder parallel to the Community folder.", MB_ICONWARNING}};
    }
    expected.push_back({"Okay!", 0u});
    EXPECT_EQ(boxes, expected);
}

TEST_P(InstallPathTest, FolderUnderTheInstallPath)
{
    PathParameter& setting = gf_installPathSetting();
    setting.value.clear();
    EXPECT_EQ(gf_checkInstallPath(L"Community"), std::nullopt);
    setting.value = makeInstall(folders.root() / L"Sim");
    EXPECT_EQ(gf_checkInstallPath(L"Community"), setting.value / L"Community");
    EXPECT_EQ(gf_checkInstallPath(L"NotThere"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(BothSimulators, InstallPathTest, ::testing::Values(1u, 2u),
                         [](const auto& info) { return info.param == 1 ? "MSFS2020" : "MSFS2024"; });
