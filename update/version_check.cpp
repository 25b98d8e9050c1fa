#include "update/version_check.h"

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <mutex>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/explorer.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameter.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "core/value_types.h"
#include "update/downloader.h"
#include "update/installer.h"

namespace fs = std::filesystem;
using nlohmann::json;

std::atomic<bool> WebMaintenanceFlag{false};

namespace {

constexpr std::uintmax_t kMaxManifestSize = 1048576;
const fs::path kManifestPath{L"versions.json"};

std::string lf_u8(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

UpdateShell lf_realShell()
{
    return UpdateShell{
        [](const fs::path& path) { return gf_openFolderInExplorer(path); },
        [](const std::string& text) {
            MessageBoxW(nullptr, utf8_to_wide(text).c_str(), L"Kelo", MB_OK | MB_ICONEXCLAMATION);
        }};
}

std::mutex g_shellMutex;
UpdateShell g_shell = lf_realShell();

// One number of a version object: a JSON number (a boolean counts as 0 or 1)
// that is a non-negative integer within 32 bits.

// The manifest as a JSON value; nothing when it cannot be fetched, is too
// large or cannot be read. The local copy is removed in every case.
std::optional<json> lf_fetchManifest()
{
    {
        CurlEasyHandle handle = gf_makeCurlEasyHandle();
        if (!Downloader(handle.get(), gf_downloadFolderUrl() + "versions.json", kManifestPath, false,
                        g_versionsJsonDownloadLimit)) {
            gf_logError("Downloading version info from my web site failed!");
            return std::nullopt;
        }
    }
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(kManifestPath, ec);
    if (ec || size > kMaxManifestSize) {
        if (ec)
            gf_logError(fmt::format("Could not inspect versions.json: {}", ec.message()));
        else
            gf_logError(fmt::format("versions.json is unexpectedly large: {} bytes", size));
        fs::remove(kManifestPath, ec);
        return std::nullopt;
    }
    json manifest;
    {
        std::ifstream in(kManifestPath, std::ios::binary);
        if (!in) {
            gf_logError("Cannot open versions.json");
            fs::remove(kManifestPath, ec);
            return std::nullopt;
        }
        manifest = json::parse(in, nullptr, false);
    }
    fs::remove(kManifestPath, ec);
    if (ec)
        gf_logError(fmt::format("Could not remove versions.json: {}", ec.message()));
    return manifest;
}

// A new version is on the site: fetch and prepare it, tell the user, stop.
bool lf_prepareNewVersion(const VersionData& web)
{
    if (!lf_downloadInstaller(web))
        throw kvr::UserRelatedException(
            112, "The downloading/unzipping of the new version failed? Try manually via the Tarvenhol website");

    fs::path programFolder = fs::current_path();
    {
        CurlEasyHandle handle = gf_makeCurlEasyHandle();
        const fs::path notes = programFolder / g_newVersionFolder / g_releaseNotesName;
        if (!Downloader(handle.get(), gf_downloadFolderUrl() + "docs/ReleaseNotes.pdf", notes, true,
                        g_releaseNotesDownloadLimit))
            gf_logError(fmt::format("could not download {} to {}", lf_u8(g_releaseNotesName), lf_u8(g_newVersionFolder)));
    }

    programFolder = fs::current_path();
    const std::string rights = lf_installerRightsMessage(programFolder);
    const std::string readme = fmt::format("Deze installer installeert {} {}.\n\n{}", "Kelo", web, rights);
    gf_logLine(readme);
    gf_writeTextFile(readme, g_newVersionFolder / L"README.txt", true);

    std::error_code ec;
    programFolder = fs::current_path(ec);
    UpdateShell shell = gf_updateShell();
    bool opened = false;
    if (ec) {
        gf_logError(fmt::format("Could not determine current folder: {}", ec.message()));
    } else {
        try {
            opened = shell.openFolderOf(programFolder / g_newVersionFolder / g_installerName);
        } catch (const std::exception& e) {
            // The installer is ready: a folder that cannot be shown must not
            // keep the program from stopping for it.
            gf_logError(fmt::format("Could not open File Explorer: {}", e.what()));
        }
        if (!opened)
            shell.warningBox("Could not open File Explorer at new version");
    }
    if (!opened)
        gf_showMessage("Opening file explorer at the new version failed? Try manually via the Tarvenhol website.",
                         true);

    gf_requestStop(9, 0);
    return false;
}

// One data set: "missing" when the local file is absent (a failing status
// query throws); the local version from its setting.
void lf_updateRow(const json& manifest, const DataSetRow& row)
{
    const bool missing = !fs::exists(fs::status(*row.localPath));
    const VersionData local(row.setting->value);
    lf_updateDataSet(manifest, row, local, missing);
}

void lf_updateAirports(const json& m)
{
    lf_updateRow(m, {"airports", &AIRPORTS_VERSION, &g_airportsEncName, &g_airportsEncPath});
}
void lf_updateAig(const json& m)
{
    lf_updateRow(m, {"aig", &AIG_VERSION, &g_aigRegcodesEncName, &g_aigRegcodesEncPath});
}
void lf_updateArchives(const json& m)
{
    lf_updateRow(m, {"archives", &ARCHIVES_VERSION, &g_archivesEncName, &g_archivesEncPath});
}
void lf_updateDbase(const json& m)
{
    lf_updateRow(m, {"dbase", &DBASE_VERSION, &g_dbaseEncName, &g_dbaseEncPath});
}
void lf_updateWeekly(const json& m)
{
    lf_updateRow(m, {"weekly", &WEEKLY_TRAFFIC_AIRPORTS_VERSION, &g_wktrafficEncName, &g_wktrafficEncPath});
}

} // namespace

void lf_updateDataSet(const json& manifest, const DataSetRow& row, const VersionData& local, bool missing)
{
    const std::optional<VersionData> web = lf_webVersion(manifest, row.member);
    if (!web)
        return;
    if (!(*web > local) && !missing) {
        gf_logLine(fmt::format("{} version up-to-date", row.member));
        return;
    }
    // The fetcher checks the new file before it replaces the old one, so the
    // version moves on only with a usable data set in place.
    if (!gf_downloadDataFile(lf_u8(*row.fileName), *row.localPath))
        return;
    row.setting->setAndSave(fmt::format("{}.{}.{}", web->major, web->minor, web->patch));
    gf_logLine(fmt::format("{} updated to {}", row.member, *web));
}

void lf_throwMaintenance()
{
    WebMaintenanceFlag.store(true);
    throw kvr::UserRelatedException(2026,
                                    "Web server temporarily unavailable due to maintenance. Please try again later.");
}

bool gf_checkForUpdates()
{
    const std::optional<json> manifest = lf_fetchManifest();
    if (!manifest)
        return true;
    if (manifest->is_discarded() || !manifest->is_object()) {
        gf_logError("Invalid versions.json received; update check skipped");
        return true;
    }

    if (const std::optional<VersionData> web = lf_webVersion(*manifest, "msfs")) {
        gf_logLine(fmt::format("{} program version at web = {}", "msfs", *web));
        if (*web > gf_programVersion())
            return lf_prepareNewVersion(*web);
        gf_logLine(fmt::format("{} version up-to-date", "msfs"));
    }

    if (const std::optional<VersionData> maintenance = lf_webVersion(*manifest, "maintenance")) {
        if (*maintenance > VersionData(0, 0, 0))
            lf_throwMaintenance();
        gf_logLine(fmt::format("{} version up-to-date", "maintenance"));
    }

    lf_updateAirports(*manifest);
    lf_updateAig(*manifest);
    lf_updateArchives(*manifest);
    lf_updateDbase(*manifest);
    lf_updateWeekly(*manifest);
    return true;
}

void gf_setUpdateShellForTests(UpdateShell shell)
{
    std::lock_guard lock(g_shellMutex);
    g_shell = shell.openFolderOf && shell.warningBox ? std::move(shell) : lf_realShell();
}

UpdateShell gf_updateShell()
{
    std::lock_guard lock(g_shellMutex);
    return g_shell;
}
