#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>

#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::ScopedTestFolders;

TEST(Layout, EveryPathConstant)
{
    const std::pair<const fs::path*, const wchar_t*> table[] = {
        {&g_airportsFolder, L"airports"},
        {&g_inputFolder, L"input"},
        {&g_outputFolder, L"output"},
        {&g_infoFolderName, L"info"},
        {&g_errorsFolderName, L"errors"},
        {&g_learnedFolderName, L"learned"},
        {&g_docsFolder, L"docs"},
        {&g_realTrafficMakerFolder, L"InsideSystems"},
        {&g_newVersionFolder, L"new_version"},
        {&g_tbloFolder, L"tblo"},
        {&g_tbloArchive, L"tblo.zip"},
        {&g_stockName, L"stock"},
        {&g_simaddonName, L"simaddon"},
        {&g_thirdpartyName, L"thirdparty"},
        {&g_archiveName, L"archive"},
        {&g_parkAirportCacheName, L"park_airport.xml"},
        {&g_credentialFileName, L"RealTraffic.lic"},
        {&g_releaseNotesName, L"ReleaseNotes.pdf"},
        {&g_installerName, L"install_new_version.exe"},
        {&g_addedPublishersName, L"addpubs.txt"},
        {&g_rejectedPublishersName, L"rejectpubs.txt"},
        {&g_outputInfoFolder, L"output\\info"},
        {&g_outputErrorsFolder, L"output\\errors"},
        {&g_objectIdListPath, L"output\\info\\ObjectIdList.txt"},
        {&g_liveriesScanned2020Path, L"output\\LiveriesScanned_MSFS2020.xml"},
        {&g_liveriesScanned2024Path, L"output\\LiveriesScanned_MSFS2024.xml"},
        {&g_parkAirportCachePath, L"airports\\park_airport.xml"},
        {&g_learnedFolder, L"airports\\learned"},
        {&g_learnedStockFolder, L"airports\\learned\\stock"},
        {&g_learnedSimaddonFolder, L"airports\\learned\\simaddon"},
        {&g_learnedThirdpartyFolder, L"airports\\learned\\thirdparty"},
        {&g_mySimaddonFolder, L"airports\\my_simaddon"},
        {&g_myThirdpartyFolder, L"airports\\my_thirdparty"},
        {&g_myRegcodesFolder, L"input\\my_regcodes"},
        {&g_dbaseXmlName, L"dbase.xml"},
        {&g_dbaseEncName, L"dbase.enc"},
        {&g_aigRegcodesXmlName, L"AIG-regcodes.xml"},
        {&g_aigRegcodesEncName, L"AIG-regcodes.enc"},
        {&g_airportsXmlName, L"airports.xml"},
        {&g_airportsEncName, L"airports.enc"},
        {&g_archivesXmlName, L"archives.xml"},
        {&g_archivesEncName, L"archives.enc"},
        {&g_wktrafficXmlName, L"wktraffic.xml"},
        {&g_wktrafficEncName, L"wktraffic.enc"},
        {&g_dbaseXmlPath, L"input\\dbase.xml"},
        {&g_dbaseEncPath, L"input\\dbase.enc"},
        {&g_aigRegcodesXmlPath, L"input\\AIG-regcodes.xml"},
        {&g_aigRegcodesEncPath, L"input\\AIG-regcodes.enc"},
        {&g_airportsXmlPath, L"input\\airports.xml"},
        {&g_airportsEncPath, L"input\\airports.enc"},
        {&g_archivesXmlPath, L"input\\archives.xml"},
        {&g_archivesEncPath, L"input\\archives.enc"},
        {&g_wktrafficXmlPath, L"input\\wktraffic.xml"},
        {&g_wktrafficEncPath, L"input\\wktraffic.enc"},
    };
    for (const auto& [path, text] : table) {
        EXPECT_EQ(path->wstring(), text);
        EXPECT_TRUE(path->is_relative()) << wide_to_utf8(text);
    }
    EXPECT_EQ(g_bannerStars, 10);
    EXPECT_EQ(g_bannerExtra, 70);
}

TEST(Layout, StockModelTable)
{
    const auto& models = gf_stockModels();
    EXPECT_EQ(models.size(), 30u);
    const std::pair<const char*, const char*> table[] = {
        {"Asobo_FlightDesignCT", "FDCT"}, {"Asobo_Longitude", "C700"}, {"Asobo_VL3", "VL3"},
        {"Asobo_Savage_Cub", "SAVG"}, {"Asobo_Savage_ShockUltra", "SAVG"}, {"Asobo_XCub", "CC19"},
        {"Asobo_Pitts", "PTS2"}, {"Asobo_SR22", "SR22"}, {"Asobo_Icon", "A5"}, {"Asobo_TBM930", "TBM9"},
        {"Asobo_KingAir350", "B350"}, {"Asobo_E330", "E300"}, {"Asobo_DV20", "DV20"},
        {"Asobo_DR400", "DR40"}, {"Asobo_DA62", "DA62"}, {"Asobo_DA40_TDI", "DA40"},
        {"Asobo_DA40_NG", "DA40"}, {"Asobo_Cap10C", "CP10"}, {"Asobo_CJ4", "C25C"},
        {"Asobo_C152", "C152"}, {"Asobo_C152_Aerobat", "C152"}, {"Asobo_C172sp_AS1000", "C172"},
        {"Asobo_C172sp_classic", "C172"}, {"Asobo_Bonanza_G36", "BE36"}, {"Asobo_Baron_G58", "B58T"},
        {"Asobo_B747_8i", "B748"}, {"Asobo_B787_10", "B78X"}, {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
        {"Asobo_A320_NEO", "A20N"}, {"FlyByWire_A320_NEO", "A20N"},
    };
    for (const auto& [title, icao] : table) {
        const auto it = models.find(title);
        ASSERT_NE(it, models.end()) << title;
        EXPECT_EQ(it->second, icao) << title;
    }
    EXPECT_EQ(models.count("Asobo_A320_Neo"), 0u);
    EXPECT_EQ(models.count("Unknown_Title"), 0u);
}

TEST(Layout, SettingsFolderUnderRoamingAppData)
{
    ScopedTestFolders folders("layout");
    EXPECT_EQ(gf_settingsFolder(), folders.roamingAppData() / "Kelo");
    EXPECT_EQ(gf_parametersXmlPath(), folders.roamingAppData() / "Kelo" / "parameters.xml");
    EXPECT_EQ(gf_parametersXmlPathUtf8(), wide_to_utf8(gf_parametersXmlPath().wstring()));
    EXPECT_TRUE(gf_parametersXmlPathUtf8().ends_with("\\Kelo\\parameters.xml"));
}

TEST(Layout, NonAsciiProfileKeepsItsCharacters)
{
    ScopedTestFolders folders("layoutw");
    const fs::path roaming = folders.root() / L"J\u00FCrgen \u00C5s\u00E9" / L"AppData";
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, roaming.wstring());
    gf_rebuildSettingsPaths();
    EXPECT_EQ(gf_parametersXmlPath().wstring(), (roaming / L"Kelo" / L"parameters.xml").wstring());
    EXPECT_NE(gf_parametersXmlPathUtf8().find("J\xC3\xBCrgen \xC3\x85s\xC3\xA9"), std::string::npos);
}

TEST(Layout, MissingAppDataIsLoggedAndFallsBackToRelativeFolder)
{
    ScopedTestFolders folders("layoutnone");
    gf_openLog();
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, std::nullopt);
    gf_rebuildSettingsPaths();
    gf_closeLog();
    EXPECT_EQ(gf_settingsFolder().wstring(), L"Kelo");
    EXPECT_EQ(gf_parametersXmlPath().wstring(), L"Kelo\\parameters.xml");
    EXPECT_EQ(gf_parametersXmlPathUtf8(), "Kelo\\parameters.xml");
    const std::string log = kvr::test::logText();
    EXPECT_NE(log.find("\n==> Could not find the AppData path\n"), std::string::npos) << log;
}

TEST(Layout, RealRoamingAppDataThroughWindows)
{
    gf_clearKnownFolderOverrides();
    gf_rebuildSettingsPaths();
    const std::optional<std::wstring> roaming = gf_getKnownFolderPath(KnownFolder::RoamingAppData);
    ASSERT_TRUE(roaming.has_value());
    EXPECT_EQ(gf_settingsFolder(), fs::path(*roaming) / "Kelo");
    EXPECT_TRUE(gf_settingsFolder().is_absolute());
}
