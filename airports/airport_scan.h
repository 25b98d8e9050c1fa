// The airport scan of the simulator's installed scenery packages, run once
// per start of the main task. Its output, the scan folders airports/my_simaddon
// and airports/my_thirdparty, replaces the previous one only when the scan
// succeeds and finds add-on data: a marker file and the previous folders,
// moved aside as backups, make the replacement a transaction that an
// interrupted scan's next start undoes.
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <vector>

// The two scan folders, in transaction order.
const std::array<std::filesystem::path, 2>& gf_scanFolders();
// airports/.airport_scan_in_progress
const std::filesystem::path& gf_airportScanMarkerPath();
// The folder's path with ".scan_backup" appended to its last component.
std::filesystem::path lf_scanBackupPath(const std::filesystem::path& folder);

// Never throws.
void gf_scanAirports();
// True when no interrupted transaction is left over (after undoing one);
// false when the recovery failed part-way. Never throws.
bool gf_recoverAirportScan();

class AirportScanTransaction {
public:
    // Recovers an interrupted scan, then begins; throws std::runtime_error.
    AirportScanTransaction();
    ~AirportScanTransaction();
    AirportScanTransaction(const AirportScanTransaction&) = delete;
    AirportScanTransaction& operator=(const AirportScanTransaction&) = delete;

    void begin();
    void commit();
    void rollback() noexcept;

    std::array<bool, 2> existed{false, false};
    bool open = false;
};

void lf_airportScanRoots(std::vector<std::filesystem::path>& roots);
bool lf_runAirportScan(std::span<const std::filesystem::path> roots);
bool lf_scanAirportFolders(std::span<const std::filesystem::path> roots);
void lf_scanFolder(std::span<const std::filesystem::path> roots);
void lf_endAirportScan(bool committed);
