#include "airports/airport_scan.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/airport_file_store.h"
#include "airports/airport_state.h"
#include "airports/airport_ui.h"
#include "airports/bgl_reader.h"
#include "airports/package_scan.h"
#include "airports/publisher_lists.h"
#include "airports/tblo_bundle.h"
#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "airports/weekly_traffic_airports.h"

namespace fs = std::filesystem;

namespace {

// Set when the last scan's bundle could not be zipped: the copies in tblo
// stay until the next scan.
bool g_keepTbloCopies = false;

std::runtime_error systemError(const char* format, const fs::path& path, const std::error_code& ec)
{
    return std::runtime_error(fmt::format(fmt::runtime(format), gf_pathText(path), ec.message()));
}

// Removes a file or a whole folder tree; false on failure (a missing path is no failure).
bool removeTree(const fs::path& path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
    return !ec;
}

void queueFileCounts()
{
    gf_setSimaddonAirportCount(gf_countFilesWithExtension(g_mySimaddonFolder, L""));
    gf_postGuiUpdate(GuiUpdate::ThirdpAirports{gf_countFilesWithExtension(g_myThirdpartyFolder, L"")});
}

// Calls lf_endAirportScan however the driver is left, once armed.
struct ScanEndGuard {
    const bool& committed;
    bool armed = false;
    ~ScanEndGuard()
    {
        if (!armed)
            return;
        try {
            lf_endAirportScan(committed);
        }
        catch (...) {
        }
    }
};

void prepareTbloFolder()
{
    if (fs::exists(g_tbloFolder)) {
        gf_removeFilesFromDirectory(g_tbloFolder);
        gf_airportUi().enableTbloButton(false);
        tbloReady.store(false);
    }
    else {
        fs::create_directory(g_tbloFolder);
    }
}

} // namespace

const std::array<fs::path, 2>& gf_scanFolders()
{
    static const std::array<fs::path, 2> folders{g_mySimaddonFolder, g_myThirdpartyFolder};
    return folders;
}

const fs::path& gf_airportScanMarkerPath()
{
    static const fs::path path = g_airportsFolder / L".airport_scan_in_progress";
    return path;
}

fs::path lf_scanBackupPath(const fs::path& folder)
{
    fs::path backup = folder;
    backup += L".scan_backup";
    return backup;
}

// ---- Transaction --------------------------------------------------------------

AirportScanTransaction::AirportScanTransaction()
{
    if (!gf_recoverAirportScan())
        throw std::runtime_error("could not recover airport data from an interrupted scan");
    try {
        begin();
    }
    catch (...) {
        rollback();
        throw;
    }
}

AirportScanTransaction::~AirportScanTransaction()
{
    rollback();
}

void AirportScanTransaction::begin()
{
    std::error_code ec;
    fs::create_directories(g_airportsFolder, ec);
    if (ec)
        throw std::runtime_error(fmt::format("could not create airports folder: {}", ec.message()));
    for (size_t i = 0; i < 2; ++i) {
        existed[i] = fs::exists(gf_scanFolders()[i], ec);
        if (ec)
            throw std::runtime_error(ec.message());
    }
    {
        std::ofstream marker(gf_airportScanMarkerPath(), std::ios::binary | std::ios::trunc);
        if (!marker || !(marker << (existed[0] ? "1" : "0") << ' ' << (existed[1] ? "1" : "0") << '\n'))
            throw std::runtime_error("could not create airport scan transaction marker");
        marker.close();
        if (!marker)
            throw std::runtime_error("could not create airport scan transaction marker");
    }
    open = true;
    for (size_t i = 0; i < 2; ++i) {
        const fs::path& folder = gf_scanFolders()[i];
        if (existed[i]) {
            fs::rename(folder, lf_scanBackupPath(folder), ec);
            if (ec)
                throw systemError("could not preserve {} before airport scan: {}", folder, ec);
        }
        fs::create_directories(folder, ec);
        if (ec)
            throw systemError("could not create airport scan folder {}: {}", folder, ec);
    }
}

void AirportScanTransaction::commit()
{
    std::error_code ec;
    if (!fs::remove(gf_airportScanMarkerPath(), ec) || ec)
        throw std::runtime_error(fmt::format("could not commit airport scan transaction: {}",
                                             ec ? ec.message() : std::string("the marker is missing")));
    open = false;
    for (const fs::path& folder : gf_scanFolders())
        removeTree(lf_scanBackupPath(folder));
}

void AirportScanTransaction::rollback() noexcept
{
    if (!open)
        return;
    open = false;
    try {
        bool ok = true;
        for (size_t i = 0; i < 2; ++i) {
            const fs::path& folder = gf_scanFolders()[i];
            const fs::path backup = lf_scanBackupPath(folder);
            std::error_code ec;
            const bool backupThere = fs::exists(backup, ec);
            if (existed[i] && (ec || !backupThere)) {
                ok = false;
                continue;
            }
            if (!removeTree(folder))
                ok = false;
            if (existed[i]) {
                fs::rename(backup, folder, ec);
                if (ec)
                    ok = false;
            }
        }
        if (ok) {
            std::error_code ec;
            fs::remove(gf_airportScanMarkerPath(), ec);
        }
    }
    catch (...) {
    }
}

bool gf_recoverAirportScan()
{
    try {
        std::error_code ec;
        const bool marked = fs::exists(gf_airportScanMarkerPath(), ec);
        if (ec)
            return false;
        if (!marked) {
            for (const fs::path& folder : gf_scanFolders())
                if (!removeTree(lf_scanBackupPath(folder)))
                    return false;
            return true;
        }
        std::ifstream in(gf_airportScanMarkerPath(), std::ios::binary);
        int flags[2] = {0, 0};
        if (!in || !(in >> flags[0] >> flags[1]))
            return false;
        in.close();
        for (size_t i = 0; i < 2; ++i) {
            const fs::path& folder = gf_scanFolders()[i];
            const fs::path backup = lf_scanBackupPath(folder);
            const bool backupThere = fs::exists(backup, ec);
            if (ec)
                return false;
            if (backupThere) {
                if (!removeTree(folder))
                    return false;
                fs::rename(backup, folder, ec);
                if (ec)
                    return false;
            }
            else if (flags[i] == 0 && !removeTree(folder)) {
                return false;
            }
        }
        return fs::remove(gf_airportScanMarkerPath(), ec) && !ec;
    }
    catch (...) {
        return false;
    }
}

// ---- The scan -----------------------------------------------------------------

void lf_airportScanRoots(std::vector<fs::path>& roots)
{
    static const wchar_t* const ROOTS_2020[] = {L"Official", L"Community"};
    static const wchar_t* const ROOTS_2024[] = {L"Community", L"StreamedPackages", L"Official2024", L"Community2024"};
    const std::span<const wchar_t* const> names = gf_isMSFS2020() ? std::span<const wchar_t* const>(ROOTS_2020)
                                                                  : std::span<const wchar_t* const>(ROOTS_2024);
    for (const wchar_t* name : names)
        if (std::optional<fs::path> root = gf_checkInstallPath(name))
            roots.push_back(std::move(*root));
}

void lf_scanFolder(std::span<const fs::path> roots)
{
    for (const fs::path& root : roots) {
        if (!gf_keepRunning())
            return;
        if (root.empty())
            continue;
        const fs::file_status status = fs::status(root); // a status error fails the scan
        if (!fs::exists(status))
            gf_showMessage(gf_pathText(root) + " does not exist, skipped!", true);
        else if (!fs::is_directory(status))
            gf_showMessage(gf_pathText(root) + " is not a folder name, skipped!", true);
        else if (gf_pathText(root).find("StreamedPackages") != std::string::npos)
            lf_scanRoot(root);
        else
            lf_scanPackageTree(root);
    }
}

bool lf_scanAirportFolders(std::span<const fs::path> roots)
{
    const auto count = static_cast<int64_t>(roots.size());
    gf_logLine(fmt::format("The scan will search {} folder{}", count, gf_pluralSuffix(count)));
    std::error_code ec;
    fs::remove(gf_airportsScanLogPath(), ec);
    if (ec)
        gf_logLine("problems with removing previous files (maybe still open?): " + ec.message());
    tbloReady.store(false);
    if (ScanLogLines.capacity() < 2048)
        ScanLogLines.reserve(2048);
    lf_scanFolder(roots);
    gf_addScanLogLine("\nAirports scan finished!");
    lf_writeScanLogFile();
    gf_logLine(gf_pathText(gf_airportsScanLogPath()) + " written");
    gf_clearMessage();
    ScanLogLines.clear();
    if (gf_keepRunning()) { // a stopped scan is not kept, nor bundled
        lf_copySimaddonToTblo();
        lf_copyThirdpartyToTblo();
        g_keepTbloCopies = lf_finishTblo() == TbloOutcome::ZipFailed;
    }
    const uint64_t simaddon = gf_countFilesWithExtension(g_mySimaddonFolder, L"");
    const uint64_t thirdparty = gf_countFilesWithExtension(g_myThirdpartyFolder, L"");
    gf_setSimaddonAirportCount(simaddon);
    gf_postGuiUpdate(GuiUpdate::ThirdpAirports{thirdparty});
    return simaddon + thirdparty != 0;
}

bool lf_runAirportScan(std::span<const fs::path> roots)
{
    const bool found = lf_scanAirportFolders(roots);
    if (!found)
        gf_showMessage("Warning: Scan has not found any add-on airports", true);
    gf_postGuiUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
    return found;
}

void lf_endAirportScan(bool committed)
{
    ScanLogLines.clear();
    if (!committed) {
        removeTree(g_tbloFolder);
        tbloReady.store(false);
        gf_airportUi().enableTbloButton(false);
        gf_airportUi().enableSkipAirportScan(true);
    }
    gf_closeSimulatorFacilityReader();
    gf_clearWeeklyTrafficAirports();
    lf_clearPublisherLists();
    queueFileCounts();
    gf_airportUi().enableSkipAirportScan(true);
    gf_logLineFlush("-------------------------- airports scan ends -------------------------------\n");
}

void gf_scanAirports()
{
    try {
        if (!gf_recoverAirportScan()) {
            gf_logError("Airport scan skipped: recovery of a previously interrupted scan failed");
            gf_showMessage("Airport scan skipped; previous airport data could not be recovered safely", true);
            return;
        }
        if (gf_parametersSnapshot()->SKIP_AIRPORT_SCAN) {
            gf_logLine("Airport scan skipped because SKIP_AIRPORT_SCAN=true");
            gf_showMessage("Airport scan suppressed by parameter SKIP_AIRPORT_SCAN", true);
            queueFileCounts();
            return;
        }
    }
    catch (const std::exception& e) {
        gf_logError(fmt::format("Airport scan failed; previous airport scan data restored: {}", e.what()));
        return;
    }
    bool committed = false;
    ScanEndGuard endGuard{committed};
    try {
        gf_airportUi().enableSkipAirportScan(false);
        endGuard.armed = true;
        gf_showMessage("Scanning for airports ...", false);
        gf_logLine(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                               "automatic "));
        gf_setSimaddonAirportCount(0);
        gf_postGuiUpdate(GuiUpdate::ThirdpAirports{0});
        if (!gf_loadWeeklyTrafficAirports()) {
            gf_showMessage("Reading RT weekly airports failed; keeping previous airport scan data", true);
            return;
        }
        if (!gf_loadPublishers(gf_isMSFS2020())) {
            gf_showMessage("Reading archives failed; keeping previous airport scan data", true);
            return;
        }
        std::vector<fs::path> roots;
        lf_airportScanRoots(roots);
        AirportScanTransaction transaction;
        prepareTbloFolder();
        g_keepTbloCopies = false;
        const bool found = lf_runAirportScan(roots);
        if (!gf_keepRunning()) {
            // The walk ended early: its output is partial. Leaving rolls the
            // transaction back, so the previous folders return.
            gf_logLine("Airport scan stopped before its end; keeping previous airport scan data");
            return;
        }
        if (!found) {
            // Leaving rolls the transaction back: the previous folders return.
            gf_showMessage("Airport scan produced no add-on data; keeping previous airport scan data", true);
            return;
        }
        if (!tbloReady.load() && !g_keepTbloCopies)
            fs::remove_all(g_tbloFolder);
        gf_repaintHeader();
        transaction.commit();
        committed = true;
    }
    catch (const std::exception& e) {
        gf_logError(fmt::format("Airport scan failed; previous airport scan data restored: {}", e.what()));
        gf_showMessage("Airport scan failed; Kelo will continue with the previous airport data", true);
    }
    catch (...) {
        gf_logError("Airport scan failed with an unknown error; previous airport scan data restored");
        gf_showMessage("Airport scan failed; Kelo will continue with the previous airport data", true);
    }
}
