#include "update/installer.h"

#include <windows.h>
#include <knownfolders.h>

#include <cstdint>
#include <fstream>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/zip_archive.h"
#include "update/downloader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxInstallerSize = 1073741824; // 1 GiB
constexpr std::size_t kUnzipPiece = 524288;
const fs::path kArchivePath{L"latest_version.zip"};

std::string lf_u8(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

// Unpacks the one file of the archive into install_new_version.exe.
bool lf_unpackInstaller()
{
    std::string error;
    std::optional<ZipArchive> archive = ZipArchive::openForReading(kArchivePath, &error);
    if (!archive) {
        gf_logError(fmt::format("Could not open {}", lf_u8(kArchivePath)));
        return false;
    }
    const std::vector<ZipArchive::Entry> entries = archive->entries();
    const ZipArchive::Entry* file = nullptr;
    int files = 0;
    for (const ZipArchive::Entry& e : entries) {
        // The installer is written under a name of our own, but an archive
        // whose names would leave the folder is not the maker's.
        if (!e.name.empty() && !ZipArchive::unpackTarget(L".", e.name)) {
            gf_logError(fmt::format("Update archive holds an unsafe entry name: '{}'", e.name));
            return false;
        }
        if (e.name.empty() || e.name.back() != '/') {
            ++files;
            file = &e;
        }
    }
    if (files != 1) {
        gf_logError(fmt::format("Update archive contains {} files instead of exactly one", files));
        return false;
    }
    if (file->size < 1 || file->size > kMaxInstallerSize) {
        gf_logError(fmt::format("Invalid installer size in update archive: {} bytes", file->size));
        return false;
    }
    std::ofstream out(g_installerName, std::ios::binary | std::ios::trunc);
    if (!out) {
        gf_logError(fmt::format("Could not create output file {}", lf_u8(g_installerName)));
        return false;
    }
    const std::int64_t result = archive->readEntry(file->index, kUnzipPiece, [&](const char* p, std::size_t n) {
        out.write(p, static_cast<std::streamsize>(n));
        return out.good();
    }, kMaxInstallerSize);
    out.flush();
    const bool streamGood = out.good();
    out.close();
    std::error_code ec;
    const std::uintmax_t written = fs::file_size(g_installerName, ec);
    const std::int64_t actual = ec ? -1 : static_cast<std::int64_t>(written);
    const auto expected = static_cast<std::int64_t>(file->size);
    if (result == expected && streamGood && !out.fail() && actual == expected) {
        gf_logLine(fmt::format("{} unzipped to {}", lf_u8(kArchivePath), lf_u8(g_installerName)));
        return true;
    }
    gf_logError(fmt::format("Unzipping failed or produced an incomplete installer (result {}, expected {}, actual {})",
                            result, expected, actual));
    fs::remove(g_installerName, ec);
    return false;
}

// install_new_version.exe -> new_version\install_new_version.exe.part -> .exe
bool lf_moveInstallerIntoFolder()
{
    const fs::path finalPath = g_newVersionFolder / g_installerName;
    fs::path partPath = finalPath;
    partPath += L".part";
    std::error_code ec;
    fs::remove(partPath, ec);
    fs::remove(finalPath, ec);

    const std::uintmax_t size = fs::file_size(g_installerName, ec);
    if (ec) {
        gf_logLine(fmt::format("file_size({}) failed: {}", lf_u8(g_installerName), ec.message()));
        return false;
    }
    fs::rename(g_installerName, partPath, ec);
    if (ec) {
        gf_logLine(fmt::format("could not rename {} => {}: {}", lf_u8(g_installerName), lf_u8(partPath), ec.message()));
        return false;
    }
    const std::uintmax_t partSize = fs::file_size(partPath, ec);
    if (ec) {
        gf_logLine(fmt::format("file_size({}) failed: {}", lf_u8(partPath), ec.message()));
        return false;
    }
    if (partSize != size) {
        gf_logLine(fmt::format("rename {} => {} suspicious: size {} != {}", lf_u8(g_installerName), lf_u8(partPath),
                               partSize, size));
        return false;
    }
    fs::rename(partPath, finalPath, ec);
    if (ec) {
        gf_logLine(fmt::format("could not finalize rename {} => {}: {}", lf_u8(partPath), lf_u8(finalPath),
                               ec.message()));
        return false;
    }
    return true;
}

bool lf_startsWith(const std::wstring& text, const std::optional<std::wstring>& prefix)
{
    return prefix && !prefix->empty() && text.starts_with(*prefix);
}

bool lf_folderIsWritable(const fs::path& folder)
{
    const fs::path probe = folder / L".write_test.tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const char byte = 0;
    DWORD written = 0;
    const bool ok = WriteFile(h, &byte, 1, &written, nullptr) && written == 1;
    CloseHandle(h);
    return ok;
}

bool lf_processIsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

} // namespace

std::string gf_installerArchiveUrl()
{
    return fmt::format("{}{}_{}", gf_downloadFolderUrl() + "release/", "Kelo", "latest_version.zip");
}

bool lf_prepareNewVersionFolder()
{
    std::error_code ec;
    fs::remove_all(g_newVersionFolder, ec);
    if (ec) {
        gf_logError(fmt::format("Could not empty new-version folder: {}", ec.message()));
        return false;
    }
    fs::create_directory(g_newVersionFolder, ec);
    if (ec) {
        gf_logError(fmt::format("Could not create new-version folder: {}", ec.message()));
        return false;
    }
    return true;
}

bool lf_downloadInstaller(const VersionData& webVersion)
{
    if (!lf_prepareNewVersionFolder())
        return false;
    std::error_code ec;
    fs::remove(g_installerName, ec);
    if (ec) {
        gf_logError(fmt::format("Could not remove stale installer '{}': {}", lf_u8(g_installerName), ec.message()));
        return false;
    }
    const std::string url = gf_installerArchiveUrl();
    {
        CurlEasyHandle handle = gf_makeCurlEasyHandle();
        if (!Downloader(handle.get(), url, kArchivePath, true, g_installerArchiveDownloadLimit)) {
            gf_showMessage(fmt::format("Downloading program installer file version {} failed", webVersion), true);
            return false;
        }
    }
    gf_logLine(fmt::format("Downloaded {} => {}", url, lf_u8(kArchivePath)));

    const bool unpacked = lf_unpackInstaller();
    fs::remove(kArchivePath, ec);
    if (ec)
        gf_logError(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));

    if (!unpacked || !fs::exists(g_installerName, ec)) {
        gf_logError(fmt::format("{} does not exists?", lf_u8(g_installerName)));
        return false;
    }
    const std::optional<VersionData> product = lf_installerProductVersion();
    if (!product) {
        gf_logError("Downloaded installer has no readable ProductVersion");
        fs::remove(g_installerName, ec);
        return false;
    }
    if (*product != webVersion) {
        gf_logError(fmt::format("Downloaded installer ProductVersion {} does not match web version {}", *product,
                                webVersion));
        fs::remove(g_installerName, ec);
        return false;
    }
    gf_logLine(fmt::format("Downloaded installer ProductVersion {} verified", *product));

    const bool moved = lf_moveInstallerIntoFolder();
    if (moved && fs::exists(g_installerName, ec)) {
        fs::remove(g_installerName, ec);
        if (ec)
            gf_logError(fmt::format("Warning: could not remove extracted: {}", ec.message()));
    }
    return moved;
}

std::optional<VersionData> lf_installerProductVersion()
{
    return lf_productVersionOf(g_installerName);
}

std::optional<VersionData> lf_productVersionOf(const fs::path& file)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) {
        gf_logError(fmt::format("Could not read ProductVersion size from '{}': error {}", lf_u8(file), GetLastError()));
        return std::nullopt;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        gf_logError(fmt::format("Could not read ProductVersion from '{}': error {}", lf_u8(file), GetLastError()));
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < 52 || info->dwSignature != 0xFEEF04BD) {
        gf_logError(fmt::format("Invalid ProductVersion data in '{}'", lf_u8(file)));
        return std::nullopt;
    }
    return VersionData(static_cast<int32_t>(HIWORD(info->dwProductVersionMS)),
                       static_cast<int32_t>(LOWORD(info->dwProductVersionMS)),
                       static_cast<int32_t>(HIWORD(info->dwProductVersionLS)));
}

std::string lf_installerRightsMessage(const fs::path& programFolder)
{
    const std::wstring folder = programFolder.wstring();
    const bool protectedFolder = lf_startsWith(folder, gf_getKnownFolderPath(KnownFolder::ProgramFiles)) ||
                                 lf_startsWith(folder, gf_getKnownFolderPath(KnownFolder::ProgramFilesX86));
    if (protectedFolder && !lf_folderIsWritable(programFolder) && !lf_processIsElevated())
        return "A new version is available. Run the installer as Administrator";
    return "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
}
