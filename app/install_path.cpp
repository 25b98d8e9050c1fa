#include "app/install_path.h"

#include <windows.h>

#include <optional>
#include <string>
#include <system_error>

#include <fmt/format.h>

#include "app/controls.h"
#include "app/gui.h"
#include "core/files.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace {

// Message boxes of the checks: title "Kelo", owned by the main window.
void lf_box(const char* text, UINT icon)
{
    gf_messageBox(Gui::instance().hwnd.load(), utf8_to_wide(text), L"Kelo", MB_OK | icon);
}

struct SimNames {
    const wchar_t* packageFamily;
    const wchar_t* steamFolder;
    const wchar_t* officialFolder;
};

SimNames lf_simNames()
{
    if (gf_isMSFS2020())
        return {L"Microsoft.FlightSimulator_8wekyb3d8bbwe", L"Microsoft Flight Simulator", L"Official"};
    return {L"Microsoft.Limitless_8wekyb3d8bbwe", L"Microsoft Flight Simulator 2024", L"Official2024"};
}

bool lf_isDirectory(const fs::path& p)
{
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    return !ec && fs::is_directory(st);
}

std::string lf_text(const fs::path& p)
{
    return wide_to_utf8(p.wstring());
}

// Status of a path: true exists, false missing, none on an error (logged).
std::optional<bool> lf_exists(const fs::path& p)
{
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        gf_logLine(fmt::format("Error {} accessing '{}': {}", ec.value(), lf_text(p), ec.message()));
        return std::nullopt;
    }
    return fs::exists(st);
}

} // namespace

PathParameter& gf_installPathSetting()
{
    return gf_isMSFS2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
}

bool lf_isValidInstallPath(const fs::path& path)
{
    if (path.empty())
        return false;
    return lf_isDirectory(path) && lf_isDirectory(path / L"Community") &&
           lf_isDirectory(path / lf_simNames().officialFolder);
}

fs::path lf_findUserCfg()
{
    const SimNames names = lf_simNames();
    const fs::path local = gf_getLocalAppDataPath();
    const fs::path roaming = gf_getAppDataPath();
    std::vector<fs::path> candidates;
    if (!local.empty())
        candidates.push_back(local / L"Packages" / names.packageFamily / L"LocalCache" / L"UserCfg.opt");
    if (!roaming.empty())
        candidates.push_back(roaming / names.steamFolder / L"UserCfg.opt");
    if (!local.empty()) {
        candidates.push_back(local / L"Packages" / L"Microsoft.FlightDashboard_8wekyb3d8bbwe" / L"LocalCache" /
                             L"UserCfg.opt");
        candidates.push_back(local / L"MSFSPackages" / L"UserCfg.opt");
    }
    for (const fs::path& c : candidates) {
        std::error_code ec;
        if (fs::exists(c, ec) && !ec)
            return c;
    }
    return {};
}

fs::path lf_readInstalledPackagesPath()
{
    const fs::path cfg = lf_findUserCfg();
    if (cfg.empty())
        return {};
    LineFileReader reader{lf_text(cfg), {}};
    const LineFileReader::Result result = reader.readAll();
    if (!result.ok)
        return {};
    const std::string* found = nullptr;
    for (const std::string& line : result.lines) {
        if (line.size() >= 21 && line.find("InstalledPackagesPath") != std::string::npos) {
            found = &line;
            break;
        }
    }
    if (!found)
        return {};
    std::string value;
    const size_t first = found->find('"');
    const size_t second = first == std::string::npos ? std::string::npos : found->find('"', first + 1);
    if (second != std::string::npos && second > first + 1)
        value = found->substr(first + 1, second - first - 1);
    else
        value = gf_unquote(*found);
    fs::path p;
    try {
        p = fs::path(utf8_to_wide(value));
    } catch (const std::exception&) {
        return {};
    }
    return lf_isDirectory(p) ? p : fs::path();
}

fs::path gf_detectInstallPath()
{
    if (const fs::path roaming = gf_getAppDataPath(); !roaming.empty()) {
        const fs::path steam = roaming / lf_simNames().steamFolder / L"Packages";
        if (lf_isDirectory(steam) && lf_isValidInstallPath(steam))
            return steam;
    }
    const fs::path fromCfg = lf_readInstalledPackagesPath();
    if (lf_isValidInstallPath(fromCfg))
        return fromCfg;
    return {};
}

bool lf_acceptCommunityFolder(PathParameter& setting, const fs::path& folder)
{
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        gf_logLine(fmt::format("Error {} accessing install path '{}': {}", ec.value(), lf_text(folder), ec.message()));
        lf_box("Error in accessing install path.", MB_ICONERROR);
        return false;
    }
    if (!fs::exists(st)) {
        gf_logLine(fmt::format("This install path does not exist: '{}'", lf_text(folder)));
        lf_box("This install path does not exist.", MB_ICONERROR);
        return false;
    }
    // A picked folder may end in a separator: its last component is the one before.
    const fs::path normal = folder.has_filename() ? folder : folder.parent_path();
    if (_wcsicmp(normal.filename().c_str(), L"Community") != 0) {
        lf_box("This path is not a valid Community folder.", MB_ICONERROR);
        return false;
    }
    const fs::path root = normal.parent_path();
    if (root.empty() || root == normal) {
        lf_box("There is no root for the Community folder.", MB_ICONERROR);
        return false;
    }
    const std::optional<bool> rootHasCommunity = lf_exists(root / L"Community");
    if (!rootHasCommunity || !*rootHasCommunity) {
        lf_box("There is no root for the Community folder.", MB_ICONERROR);
        return false;
    }
    if (!gf_isMSFS2020()) {
        const std::optional<bool> streamed = lf_exists(root / L"StreamedPackages");
        if (streamed && !*streamed) {
            gf_logLine("Warning: No StreamedPackages folder?");
            lf_box("Warning: There is no StreamedPackages folder parallel to the Community folder.", MB_ICONWARNING);
        }
        const std::optional<bool> community2024 = lf_exists(root / L"Community2024");
        if (community2024 && !*community2024) {
            gf_logLine("Warning: No Community2024 folder?");
            lf_box("Warning: There is no Community2024 folder parallel to the Community folder.", MB_ICONWARNING);
        }
    } else {
        const fs::path official = root / L"Official";
        const std::optional<bool> hasOfficial = lf_exists(official);
        if (hasOfficial && !*hasOfficial) {
            gf_logLine(lf_text(official));
            gf_logLine("Warning: No Official folder?");
            lf_box("Warning: There is no Official folder parallel to the Community folder.", MB_ICONWARNING);
        }
    }
    setting.setAndSave(root);
    gf_logLine(fmt::format("Okay: {}", lf_text(folder)));
    lf_box("Okay!", 0);
    return true;
}
