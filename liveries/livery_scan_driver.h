// The livery scan: finds the installed AI aircraft liveries and stores them in
// the scanned-livery list file. The folders come either from the AI packages
// in the simulator's Community folder, in the order the user chose
// (AI_PACKAGE_SELECTOR), or from the lfolder0..lfolder9 settings. Each folder
// is walked for aircraft.cfg files; the liveries are ranked by folder, those
// that a higher-ranked package already provides are dropped, duplicates go,
// the report files are written and the new list is committed.
//
// Runs on the main task at start-up, before the matching tables are built.
// Every walk visits the entries of a folder in name order, so which section
// claims a title first does not depend on the file system's listing order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <vector>

using LiveryFolderList = std::vector<std::filesystem::path>;

// Package numbers: 0 AIG, 1 FSLTL, 2 JF, 3 MTL.
using PackageOrder = std::vector<uint8_t>;
using PackageOrderTable = std::array<PackageOrder, 64>;

// Results of lf_scanLiveryFolders.
enum LiveryScanResultCode : int {
    LiveryScanDone = 0,
    LiveryScanStopped = 1,
    LiveryScanNothingFound = 2,
    LiveryScanNotCommitted = 3,
};

// The scan command of the main task's start-up. Conditions the user must fix
// throw kvr::UserRelatedException (48, 148, 243, 553, 554); a list that could
// not be committed throws std::runtime_error. Both are logged first.
void gf_scanLiveries();

// The 64 package orders that AI_PACKAGE_SELECTOR chooses from, in the order
// of its options: every order of all four packages, then of every three, two
// and one.
const PackageOrderTable& lf_packageOrderTable();
// "AIG", "FSLTL", "JF", "IVAO_MTL", else "unknown" (log lines).
std::string_view lf_packageLogName(uint32_t package);

void lf_automaticLiveryFolders(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_manualLiveryFolders(LiveryFolderList& folders);
void lf_findAiPackageFolders(const std::filesystem::path& community, const PackageOrder& order,
                             LiveryFolderList& folders);
bool lf_isAiPackageFolder(uint32_t package, std::string_view folderName);
void lf_findUserAiTrafficFolder(const std::filesystem::path& community, LiveryFolderList& folders);

int lf_runLiveryScan(const LiveryFolderList& folders, bool prioritise, bool automatic);
int lf_scanLiveryFolders(const LiveryFolderList& folders, bool prioritise);
using LiveryCfgVisitor = std::function<void(const std::filesystem::path&)>;
// Calls `onCfgFile` for every aircraft.cfg below `folder`, entries in name
// order, skipping scenery and tool folders and folder paths of 250 bytes or
// more. False, with `ec`, when the listing of `folder` itself failed.
bool lf_walkLiveryFolder(const std::filesystem::path& folder, const LiveryCfgVisitor& onCfgFile,
                         std::error_code& ec);
// Appends the liveries of every aircraft.cfg below `folder` to LiveryScanResult,
// in walk order; a thread of its own lists the folder meanwhile.
void lf_scanLiveryFolder(uint32_t rank, const std::filesystem::path& folder);
// Drops the liveries whose airline, operator, model and cargo flag a
// lower-ranked (earlier) folder also has; returns how many went.
size_t lf_prioritizeLiveries();
