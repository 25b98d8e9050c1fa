#include "core/files.h"

#include "core/files_system.h"

#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/value_types.h"

namespace fs = std::filesystem;

namespace {

std::string lf_upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool lf_hasXmlExtension(const fs::path& path)
{
    std::string ext;
    try {
        ext = wide_to_utf8(path.extension().wstring());
    } catch (const std::exception&) {
        return false;
    }
    return ext.size() == 4 && lf_upper(ext) == ".XML";
}

// Removes the regular files of a folder (one level), optionally only "*.xml".
void lf_removeFiles(const fs::path& folder, bool xmlOnly, const char* functionName)
{
    try {
        std::error_code ec;
        const fs::file_status st = fs::status(folder, ec);
        if (st.type() == fs::file_type::not_found || st.type() == fs::file_type::unknown)
            return;
        if (ec)
            throw fs::filesystem_error("status", folder, ec);
        if (st.type() != fs::file_type::directory)
            return;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            if (xmlOnly && !lf_hasXmlExtension(entry.path()))
                continue;
            std::error_code rc;
            if (!fs::remove(entry.path(), rc) || rc)
                gf_logError(fmt::format("Failed to remove {} ({})", gf_pathText(entry.path()), rc.message()));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", functionName, e.what()));
    }
}

struct KnownFolderOverride {
    KnownFolder id;
    std::optional<std::wstring> path;
};

FileCalls g_fileCalls;

void lf_rename(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    if (g_fileCalls.rename)
        g_fileCalls.rename(from, to, ec);
    else
        fs::rename(from, to, ec);
}

std::mutex g_overrideMutex;
std::vector<KnownFolderOverride> g_overrides;

} // namespace

FileCalls gf_setFileCalls(FileCalls calls)
{
    return std::exchange(g_fileCalls, calls);
}

const FileCalls& lf_fileCalls()
{
    return g_fileCalls;
}

bool gf_flushFileToDisk(const fs::path& path)
{
    return g_fileCalls.flushToDisk ? g_fileCalls.flushToDisk(path.wstring().c_str())
                                   : lf_systemFlushToDisk(path);
}

bool gf_moveFile(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    lf_rename(from, to, ec);
    if (!ec)
        return true;
    ec.clear();
    if (!gf_copyFileOverwrite(from, to, ec)) {
        gf_logError(fmt::format("could not move {} => {}: {}", gf_pathText(from), gf_pathText(to), ec.message()));
        return false;
    }
    fs::remove(from, ec);
    if (ec) {
        gf_logError(fmt::format("could not remove {} after copy: {}", gf_pathText(from), ec.message()));
        return false;
    }
    return true;
}

bool gf_putSavedFileInPlace(const fs::path& temp, const fs::path& target)
{
    TempFileGuard guard(temp);
    if (!gf_flushFileToDisk(temp)) {
        gf_logError(fmt::format("Could not save '{}': writing it to disk failed: {}", gf_pathText(target),
                                std::system_category().message(gf_lastSystemError())));
        return false;
    }
    std::error_code ec;
    if (!gf_replaceFileWriteThrough(temp, target, ec)) {
        gf_logError(fmt::format("Could not save '{}': {}", gf_pathText(target), ec.message()));
        return false;
    }
    guard.armed = false;
    return true;
}

void gf_removeFilesFromDirectory(const fs::path& folder)
{
    lf_removeFiles(folder, false, "gf_removeFilesFromDirectory");
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder)
{
    lf_removeFiles(folder, true, "gf_removeXMLFilesFromDirectory");
}

void gf_removeXMLFilesFromDirectory()
{
    gf_removeXMLFilesFromDirectory(g_tbloFolder);
}

bool gf_save1GenerationOf(const fs::path& path)
{
    if (!path.has_extension()) {
        gf_logError(fmt::format("gf_save1GenerationOf: no extension in filename: {}", gf_pathText(path)));
        return false;
    }
    fs::path generation = path.parent_path() / path.stem();
    generation += L"0";
    generation += path.extension();

    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return true;
    if (ec) {
        gf_logError(fmt::format("exists({}): {}", gf_pathText(path), ec.message()));
        return false;
    }
    if (!gf_copyFileOverwrite(path, generation, ec)) {
        gf_logError(fmt::format("copy {} -> {} failed: {}", gf_pathText(path), gf_pathText(generation), ec.message()));
        return false;
    }
    return true;
}

std::uint64_t gf_countFilesWithExtension(const fs::path& folder, const fs::path& extension)
{
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (st.type() == fs::file_type::not_found)
        return 0;
    if (ec)
        throw fs::filesystem_error("exists", folder, ec);
    std::uint64_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        if (extension.empty() || entry.path().extension() == extension)
            ++count;
    }
    return count;
}

std::vector<IcaoCode> gf_listIcaoXmlFiles(const fs::path& folder)
{
    std::vector<IcaoCode> codes;
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (st.type() == fs::file_type::not_found)
        return codes;
    if (ec)
        throw fs::filesystem_error("exists", folder, ec);
    codes.reserve(512);

    fs::directory_iterator it(folder, ec);
    if (ec)
        return codes;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::directory_entry& entry = *it;
        std::error_code sc;
        const bool regular = entry.is_regular_file(sc);
        if (sc)
            break;
        if (!regular || !lf_hasXmlExtension(entry.path()))
            continue;
        const std::wstring stem = entry.path().stem().wstring();
        if (stem.size() != 4)
            continue;
        std::string stemText;
        try {
            stemText = wide_to_utf8(stem);
        } catch (const std::exception&) {
            continue;
        }
        // A file whose name is no ICAO code is not an airport file: skip it.
        if (const std::optional<IcaoCode> code = IcaoCode::tryParse(stemText))
            codes.push_back(*code);
    }
    return codes;
}

TempFileGuard::~TempFileGuard()
{
    if (armed) {
        std::error_code ec;
        fs::remove(path, ec);
    }
}

std::optional<std::wstring> gf_getKnownFolderPath(KnownFolder folder)
{
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        for (const KnownFolderOverride& o : g_overrides)
            if (o.id == folder)
                return o.path;
    }
    return lf_systemKnownFolder(folder);
}

std::filesystem::path gf_getAppDataPath()
{
    if (std::optional<std::wstring> path = gf_getKnownFolderPath(KnownFolder::RoamingAppData))
        return *path;
    gf_logError("Could not find the AppData path");
    return {};
}

std::filesystem::path gf_getLocalAppDataPath()
{
    if (std::optional<std::wstring> path = gf_getKnownFolderPath(KnownFolder::LocalAppData))
        return *path;
    gf_logError("Could not find the Local AppData path");
    return {};
}

std::optional<fs::path> gf_checkInstallPath(const fs::path& sub)
{
    const fs::path& base = (gf_isMSFS2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).value;
    if (base.empty()) {
        gf_logError("Install path is empty?");
        return std::nullopt;
    }
    fs::path joined = base / sub;
    std::error_code ec;
    if (fs::is_directory(joined, ec))
        return joined;
    gf_logError(fmt::format("'{}' does not exist or is not a directory.", gf_pathText(joined)));
    return std::nullopt;
}

void gf_setKnownFolderOverride(KnownFolder folder, std::optional<std::wstring> path)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    for (KnownFolderOverride& o : g_overrides) {
        if (o.id == folder) {
            o.path = std::move(path);
            return;
        }
    }
    g_overrides.push_back({folder, std::move(path)});
}

void gf_clearKnownFolderOverrides()
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_overrides.clear();
}

fs::path gf_liveriesScannedPath()
{
    return gf_isMSFS2020() ? g_liveriesScanned2020Path : g_liveriesScanned2024Path;
}
