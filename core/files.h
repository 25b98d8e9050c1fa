// File operations shared by several parts of the program: moving, emptying a
// folder, keeping one previous generation, counting and listing files, a guard
// for temporary files and the Windows known folders. Failures go to the log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

class IcaoCode;

// Renames `from` to `to`; across volumes falls back to copy and remove.
bool gf_moveFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Copies a file, replacing an existing `to` (CopyFileW). On failure `ec` holds
// the system's error (system category). std::filesystem::copy_file cannot be
// used for this with MinGW: it takes any two files for the same one and
// refuses to overwrite.
bool gf_copyFileOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& ec);
// The two system calls that moving and copying rest on. Tests replace them to
// meet what this machine cannot show: a rename that fails across volumes, a
// copy that Windows refuses onto a read-only or hidden file. Null members use
// the real calls.
struct FileCalls {
    // Renames like std::filesystem::rename, reporting a failure in `ec`.
    void (*rename)(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec) = nullptr;
    // Copies over an existing file like CopyFileW; false with the Windows error
    // in GetLastError.
    bool (*copy)(const wchar_t* from, const wchar_t* to) = nullptr;
    // Writes a closed file's data through the system's cache to the disk
    // like FlushFileBuffers; false with the Windows error in GetLastError.
    bool (*flushToDisk)(const wchar_t* path) = nullptr;
    // Moves a file over an existing one like MoveFileExW with
    // MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; false with the
    // Windows error in GetLastError.
    bool (*replace)(const wchar_t* from, const wchar_t* to) = nullptr;
};
// Writes a closed file's data to the disk, so that a rename that follows
// never puts an empty or partial file in place after a power cut. False with
// the Windows error in GetLastError.
bool gf_flushFileToDisk(const std::filesystem::path& path);

// Moves `from` over an existing or missing `to` and writes it through to the
// disk (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// On failure `ec` holds the system's error.
bool gf_replaceFileWriteThrough(const std::filesystem::path& from, const std::filesystem::path& to,
                                std::error_code& ec);
// Puts `from` in the place of `to` in one rename, written through to the
// disk; the new file takes the hidden, system and archive marks of an existing
// `to`. On failure `ec` holds the system's error.
bool gf_replaceFileKeepingAttributes(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::error_code& ec);
// Flushes the written temporary file `temp` to the disk and puts it in place
// of `target` in one step (gf_replaceFileWriteThrough), so that `target` is
// always the old file or the whole new one. On failure the log says why,
// `temp` is removed and `target` stays as it was.
bool gf_putSavedFileInPlace(const std::filesystem::path& temp, const std::filesystem::path& target);
// What a move that never replaces its target did.
enum class NoReplaceMove { moved, nameTaken, sourceMissing, failed };
// Moves `from` to `to` unless `to` exists, written through to the disk
// (MoveFileExW with MOVEFILE_WRITE_THROUGH). For `failed`, `ec` holds the
// system's error.
NoReplaceMove gf_moveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                                   std::error_code& ec);
// The error of the last failed system call of this thread (GetLastError, errno).
int gf_lastSystemError();
// The id of this process, for temporary names no other process uses.
std::uint32_t gf_processId();

// Test hook: puts `calls` in place and returns the ones it replaces.
FileCalls gf_setFileCalls(FileCalls calls);

// Removes every regular file directly in `folder` (subfolders stay).
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// Removes the regular "*.xml" files (any letter case) of the tblo folder.
void gf_removeXMLFilesFromDirectory();
// The same for a given folder (the tblo variant calls this).
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder);
// Copies an existing file to stem + "0" + extension beside it (Log.txt -> Log0.txt).
bool gf_save1GenerationOf(const std::filesystem::path& path);
// Regular files directly in `folder` with this extension (dot included); all
// regular files for an empty extension; 0 for a missing folder.
std::uint64_t gf_countFilesWithExtension(const std::filesystem::path& folder,
                                         const std::filesystem::path& extension);
// ICAO codes of the "XXXX.xml" files (any letter case) directly in `folder`.
std::vector<IcaoCode> gf_listIcaoXmlFiles(const std::filesystem::path& folder);
// The scanned-livery list of the chosen simulator in the output folder.
std::filesystem::path gf_liveriesScannedPath();

// Deletes its file on destruction unless disarmed.
struct TempFileGuard {
    std::filesystem::path path;
    bool armed = true;

    explicit TempFileGuard(std::filesystem::path p) : path(std::move(p)) {}
    ~TempFileGuard();
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
};

// The Windows known folders the program uses.
enum class KnownFolder { RoamingAppData, LocalAppData, Profile, ProgramFiles, ProgramFilesX86 };

// SHGetKnownFolderPath(id, 0, nullptr); no value when the call fails (and on
// POSIX, which has no such folders).
std::optional<std::wstring> gf_getKnownFolderPath(KnownFolder folder);

// The roaming / local AppData folder; an empty path (with the log error
// "Could not find the AppData path" / "... Local AppData path") when Windows
// does not know it.
std::filesystem::path gf_getAppDataPath();
std::filesystem::path gf_getLocalAppDataPath();

// The stored install path of the chosen simulator joined with `sub`, when that
// is a folder; else no value, with the log error "Install path is empty?" or
// "'{}' does not exist or is not a directory.".
std::optional<std::filesystem::path> gf_checkInstallPath(const std::filesystem::path& sub);

// Test hook: makes gf_getKnownFolderPath answer `path` for this folder (no
// value = the lookup fails) instead of asking Windows.
void gf_setKnownFolderOverride(KnownFolder folder, std::optional<std::wstring> path);
// Removes every override; Windows is asked again.
void gf_clearKnownFolderOverrides();
