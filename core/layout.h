// Every folder and file name the program uses. Paths are relative to the
// program folder (the working directory) unless said otherwise. The constants
// are built before main runs, in the order they appear here, and never change.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>

// ---- Name constants: single path elements ----
inline const std::filesystem::path g_airportsFolder{L"airports"};
inline const std::filesystem::path g_inputFolder{L"input"};
inline const std::filesystem::path g_outputFolder{L"output"};
inline const std::filesystem::path g_infoFolderName{L"info"};
inline const std::filesystem::path g_errorsFolderName{L"errors"};
inline const std::filesystem::path g_learnedFolderName{L"learned"};
inline const std::filesystem::path g_docsFolder{L"docs"};
inline const std::filesystem::path g_realTrafficMakerFolder{L"InsideSystems"};
inline const std::filesystem::path g_newVersionFolder{L"new_version"};
inline const std::filesystem::path g_tbloFolder{L"tblo"};
inline const std::filesystem::path g_tbloArchive{L"tblo.zip"};
inline const std::filesystem::path g_stockName{L"stock"};
inline const std::filesystem::path g_simaddonName{L"simaddon"};
inline const std::filesystem::path g_thirdpartyName{L"thirdparty"};
inline const std::filesystem::path g_archiveName{L"archive"};
inline const std::filesystem::path g_parkAirportCacheName{L"park_airport.xml"};
inline const std::filesystem::path g_credentialFileName{L"RealTraffic.lic"};
inline const std::filesystem::path g_releaseNotesName{L"ReleaseNotes.pdf"};
inline const std::filesystem::path g_installerName{L"install_new_version.exe"};
inline const std::filesystem::path g_addedPublishersName{L"addpubs.txt"};
inline const std::filesystem::path g_rejectedPublishersName{L"rejectpubs.txt"};

// ---- Joined paths ----
inline const std::filesystem::path g_outputInfoFolder{g_outputFolder / g_infoFolderName};
inline const std::filesystem::path g_outputErrorsFolder{g_outputFolder / g_errorsFolderName};
inline const std::filesystem::path g_objectIdListPath{g_outputInfoFolder / L"ObjectIdList.txt"};
inline const std::filesystem::path g_liveriesScanned2020Path{g_outputFolder / L"LiveriesScanned_MSFS2020.xml"};
inline const std::filesystem::path g_liveriesScanned2024Path{g_outputFolder / L"LiveriesScanned_MSFS2024.xml"};
inline const std::filesystem::path g_parkAirportCachePath{g_airportsFolder / g_parkAirportCacheName};
inline const std::filesystem::path g_learnedFolder{g_airportsFolder / g_learnedFolderName};
inline const std::filesystem::path g_learnedStockFolder{g_learnedFolder / g_stockName};
inline const std::filesystem::path g_learnedSimaddonFolder{g_learnedFolder / g_simaddonName};
inline const std::filesystem::path g_learnedThirdpartyFolder{g_learnedFolder / g_thirdpartyName};
inline const std::filesystem::path g_mySimaddonFolder{g_airportsFolder / L"my_simaddon"};
inline const std::filesystem::path g_myThirdpartyFolder{g_airportsFolder / L"my_thirdparty"};
inline const std::filesystem::path g_myRegcodesFolder{g_inputFolder / L"my_regcodes"};

// ---- Data-set names, plain and encrypted ----
inline const std::filesystem::path g_dbaseXmlName{L"dbase.xml"};
inline const std::filesystem::path g_dbaseEncName{L"dbase.enc"};
inline const std::filesystem::path g_aigRegcodesXmlName{L"AIG-regcodes.xml"};
inline const std::filesystem::path g_aigRegcodesEncName{L"AIG-regcodes.enc"};
inline const std::filesystem::path g_airportsXmlName{L"airports.xml"};
inline const std::filesystem::path g_airportsEncName{L"airports.enc"};
inline const std::filesystem::path g_archivesXmlName{L"archives.xml"};
inline const std::filesystem::path g_archivesEncName{L"archives.enc"};
inline const std::filesystem::path g_wktrafficXmlName{L"wktraffic.xml"};
inline const std::filesystem::path g_wktrafficEncName{L"wktraffic.enc"};

// ---- Data sets in the input folder ----
inline const std::filesystem::path g_dbaseXmlPath{g_inputFolder / g_dbaseXmlName};
inline const std::filesystem::path g_dbaseEncPath{g_inputFolder / g_dbaseEncName};
inline const std::filesystem::path g_aigRegcodesXmlPath{g_inputFolder / g_aigRegcodesXmlName};
inline const std::filesystem::path g_aigRegcodesEncPath{g_inputFolder / g_aigRegcodesEncName};
inline const std::filesystem::path g_airportsXmlPath{g_inputFolder / g_airportsXmlName};
inline const std::filesystem::path g_airportsEncPath{g_inputFolder / g_airportsEncName};
inline const std::filesystem::path g_archivesXmlPath{g_inputFolder / g_archivesXmlName};
inline const std::filesystem::path g_archivesEncPath{g_inputFolder / g_archivesEncName};
inline const std::filesystem::path g_wktrafficXmlPath{g_inputFolder / g_wktrafficXmlName};
inline const std::filesystem::path g_wktrafficEncPath{g_inputFolder / g_wktrafficEncName};

// ---- Settings folder: Roaming AppData \ "Kelo" ----
// Built before main from the known folder; when the AppData folder cannot be
// found, "Could not find the AppData path" is logged and the folder is the
// relative path "Kelo".
const std::filesystem::path& gf_settingsFolder();
// settings folder \ "parameters.xml"
const std::filesystem::path& gf_parametersXmlPath();
// The same as UTF-8 text, for messages.
const std::string& gf_parametersXmlPathUtf8();
// settings folder \ "parameters-pending.xml": the values that parameters.xml
// refused at the last exit, in its layout (each with what it replaced), until
// the next start writes them.
const std::filesystem::path& gf_pendingParametersXmlPath();
// Builds the settings paths again from the known folder. Start-up builds them
// once; tests call this after changing the known-folder answer.
void gf_rebuildSettingsPaths();

// ---- Stock simulator models: aircraft title -> ICAO type (30 entries) ----
const std::unordered_map<std::string, std::string>& gf_stockModels();

// ---- Widths of the settings file's log banners (gf_makeBanner) ----
inline constexpr int g_bannerStars = 10;
inline constexpr int g_bannerExtra = 80 - g_bannerStars;
