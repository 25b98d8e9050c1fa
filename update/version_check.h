// The start-up check against the maker's versions.json: a newer program is
// downloaded into new_version and the program stops with code 9; otherwise a
// maintenance notice is honoured and the five data sets in input are brought
// up to date, each with its version setting.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "core/version_data.h"

class StringParameter;

// Set while the download site announces maintenance; the airport-file
// loading then skips its downloads.
extern std::atomic<bool> WebMaintenanceFlag;

// False only when a new version was prepared and stop request {9, 0}
// published. Throws kvr::UserRelatedException 2026 (maintenance) and 112 (the
// installer download failed); file-system errors pass through.
bool gf_checkForUpdates();


// One data set: its manifest member, the setting with the local version, the
// file fetched from the site and the local path.
struct DataSetRow {
    const char* member;
    StringParameter* setting;
    const std::filesystem::path* fileName;
    const std::filesystem::path* localPath;
};
// Fetches the data set when the web version is newer than the local one or
// the file is missing; the setting is bumped only after the new file is in place.
void lf_updateDataSet(const nlohmann::json& manifest, const DataSetRow& row, const VersionData& local,
                      bool missing);

// Sets WebMaintenanceFlag and throws code 2026.
[[noreturn]] void lf_throwMaintenance();

// What the update shows outside the program's window: File Explorer and a
// warning box. Tests replace both.
struct UpdateShell {
    std::function<bool(const std::filesystem::path&)> openFolderOf; // opens the folder holding the path
    std::function<void(const std::string&)> warningBox;             // caption "Kelo", warning icon
};
// Replaces the shell calls; a default UpdateShell puts the real ones back.
void gf_setUpdateShellForTests(UpdateShell shell);
UpdateShell gf_updateShell();
