// The installer of a new program version: downloaded as latest_version.zip,
// unpacked, its ProductVersion checked and moved into new_version.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/version_data.h"

// "<site>/downloads/release/Kelo_latest_version.zip"
std::string gf_installerArchiveUrl();

// Empties and creates new_version; false (and an error line) on failure.
bool lf_prepareNewVersionFolder();

// Downloads, unpacks and verifies the installer of webVersion and moves it to
// new_version\install_new_version.exe. False on any failure.
bool lf_downloadInstaller(const VersionData& webVersion);

// The ProductVersion of install_new_version.exe in the program folder.
std::optional<VersionData> lf_installerProductVersion();
// The same for any file.
std::optional<VersionData> lf_productVersionOf(const std::filesystem::path& file);

// Whether the installer must be run as Administrator for this program folder.
std::string lf_installerRightsMessage(const std::filesystem::path& programFolder);

