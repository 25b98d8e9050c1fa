#include "core/files_system.h"

#include <windows.h>
#include <shlobj.h>

namespace fs = std::filesystem;

namespace {

bool lf_copy(const fs::path& from, const fs::path& to)
{
    if (lf_fileCalls().copy)
        return lf_fileCalls().copy(from.wstring().c_str(), to.wstring().c_str());
    return CopyFileW(from.wstring().c_str(), to.wstring().c_str(), FALSE) != FALSE;
}

const KNOWNFOLDERID& lf_folderId(KnownFolder folder)
{
    switch (folder) {
    case KnownFolder::RoamingAppData: return FOLDERID_RoamingAppData;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::Profile: return FOLDERID_Profile;
    case KnownFolder::ProgramFiles: return FOLDERID_ProgramFiles;
    case KnownFolder::ProgramFilesX86: return FOLDERID_ProgramFilesX86;
    }
    return FOLDERID_Profile;
}

} // namespace

bool lf_systemFlushToDisk(const fs::path& path)
{
    HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FlushFileBuffers(h) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return ok;
}

bool gf_copyFileOverwrite(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    if (lf_copy(from, to))
        return true;
    DWORD error = GetLastError();
    // CopyFileW refuses to replace a read-only or hidden file: such a file
    // (a backup that an editor or a sync tool marked) is made normal once and
    // the copy tried again.
    const DWORD kStubborn = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesW(to.wstring().c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && (attributes & kStubborn) != 0) {
        const DWORD plain = (attributes & ~kStubborn) != 0 ? attributes & ~kStubborn : FILE_ATTRIBUTE_NORMAL;
        if (SetFileAttributesW(to.wstring().c_str(), plain) && lf_copy(from, to))
            return true;
        error = GetLastError();
    }
    ec.assign(static_cast<int>(error), std::system_category());
    return false;
}

std::optional<std::wstring> lf_systemKnownFolder(KnownFolder folder)
{
    PWSTR raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(lf_folderId(folder), 0, nullptr, &raw);
    std::optional<std::wstring> result;
    if (SUCCEEDED(hr) && raw != nullptr)
        result = std::wstring(raw);
    CoTaskMemFree(raw);
    return result;
}

bool gf_replaceFileWriteThrough(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    const bool moved = lf_fileCalls().replace
                           ? lf_fileCalls().replace(from.wstring().c_str(), to.wstring().c_str())
                           : MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (moved)
        return true;
    ec.assign(static_cast<int>(GetLastError()), std::system_category());
    return false;
}

int gf_lastSystemError()
{
    return static_cast<int>(GetLastError());
}

std::uint32_t gf_processId()
{
    return GetCurrentProcessId();
}

NoReplaceMove gf_moveFileNoReplace(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_WRITE_THROUGH))
        return NoReplaceMove::moved;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return NoReplaceMove::nameTaken;
    if (error == ERROR_FILE_NOT_FOUND)
        return NoReplaceMove::sourceMissing;
    ec.assign(static_cast<int>(error), std::system_category());
    return NoReplaceMove::failed;
}

bool gf_replaceFileKeepingAttributes(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    // The new file takes the old one's marks and then replaces it in one
    // rename: ReplaceFileW may move the old file aside first (Wine does), and
    // a kill between its steps would leave no file at all.
    const DWORD attributes = GetFileAttributesW(to.wstring().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (!SetFileAttributesW(from.wstring().c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
            ec.assign(static_cast<int>(GetLastError()), std::system_category());
            return false;
        }
    }
    return gf_replaceFileWriteThrough(from, to, ec);
}
