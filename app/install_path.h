// Finding the simulator's install path: the folder that holds its
// "Community" and "Official" ("Official2024") package folders. Everything here
// works for the simulator chosen in ModeSettings.
#pragma once

#include <filesystem>

class PathParameter;

// The install path found on this PC; empty when nothing valid was found.
std::filesystem::path gf_detectInstallPath();
// The first UserCfg.opt of the known locations that exists; empty when none.
std::filesystem::path lf_findUserCfg();
// The existing folder that UserCfg.opt names as InstalledPackagesPath; empty
// otherwise.
std::filesystem::path lf_readInstalledPackagesPath();
// The path, its "Community" and its official package folder are directories.
bool lf_isValidInstallPath(const std::filesystem::path& path);
// Checks a Community folder that the user picked and stores its parent in the
// setting; false (with a message box) when it is refused.
bool lf_acceptCommunityFolder(PathParameter& setting, const std::filesystem::path& folder);

// The install-path setting of the chosen simulator.
PathParameter& gf_installPathSetting();
