#include "airports/tblo_bundle.h"

#include <algorithm>
#include <fstream>
#include <list>

#include <fmt/format.h>

#include "airports/airport_file_store.h"
#include "airports/airport_state.h"
#include "airports/airport_ui.h"
#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/value_types.h"
#include "core/zip_archive.h"
#include "airports/weekly_traffic_airports.h"

namespace fs = std::filesystem;

#ifndef KELO_TBLO_ADDRESS
#define KELO_TBLO_ADDRESS "airports@kelo-traffic.example"
#endif

const std::string_view g_tbloContactAddress = KELO_TBLO_ADDRESS;

namespace {

// Copies the scan folder's generated files of weekly traffic airports to
// tblo; a file that also has a link file leaves the scan folder. Returns the
// number copied.
int copyToTblo(const fs::path& folder)
{
    int copied = 0;
    for (const IcaoCode& icao : gf_listIcaoXmlFiles(folder)) {
        if (icao.toString() == "VHHX" || !gf_isWeeklyTrafficAirport(icao.code))
            continue;
        const fs::path source = folder / gf_airportXmlName(icao);
        const fs::path target = g_tbloFolder / gf_airportXmlName(icao);
        std::error_code ec;
        if (!gf_copyFileOverwrite(source, target, ec)) {
            gf_logError(fmt::format("'{}' failed to copy '{}': {}", gf_pathText(source), gf_pathText(target),
                                    ec.message()));
            continue;
        }
        ++copied;
        const fs::path link = folder / gf_airportTxtName(icao);
        const bool linked = fs::exists(link, ec);
        if (ec)
            gf_logError(fmt::format("exists({}) failed: {}", gf_pathText(link), ec.message()));
        else if (linked && !fs::remove(source, ec))
            gf_logError(fmt::format("remove({}) failed: {}", gf_pathText(source), ec.message()));
    }
    return copied;
}

std::string boolText(bool value)
{
    return value ? "true" : "false";
}

} // namespace

void lf_copySimaddonToTblo()
{
    const int copied = copyToTblo(g_mySimaddonFolder);
    if (copied > 0)
        gf_logLine(fmt::format("{} simaddon file{} copied to tblo folder", copied, copied > 1 ? "s" : ""));
}

void lf_copyThirdpartyToTblo()
{
    copyToTblo(g_myThirdpartyFolder);
}

TbloOutcome lf_finishTblo()
{
    if (gf_countFilesWithExtension(g_tbloFolder, L"") == 0) {
        tbloReady.store(false);
        gf_logLine("All your simaddon and third party airports are recognised, no off line learning needed.");
        return TbloOutcome::Nothing;
    }
    const fs::path zip = g_tbloFolder / g_tbloArchive;
    if (!lf_zipFolder(zip)) {
        // The copies stay for another try; a missing or broken zip is never
        // offered for sending.
        gf_logError("Zippen TBLO folder failed");
        std::error_code ec;
        fs::remove(zip, ec);
        tbloReady.store(false);
        gf_showError(fmt::format("Packing {} failed; the airport files to be learned stay in the tblo folder",
                                 gf_pathText(g_tbloArchive)));
        return TbloOutcome::ZipFailed;
    }
    gf_removeXMLFilesFromDirectory(g_tbloFolder);
    gf_writeTextFile(g_tbloContactAddress, g_tbloFolder / L"email address.txt", true);
    tbloReady.store(true);
    gf_airportUi().enableTbloButton(true);
    gf_showTbloHint();
    gf_postGuiUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
    return TbloOutcome::Bundle;
}

std::optional<std::vector<char>> lf_readFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0)
        return std::nullopt;
    std::vector<char> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(bytes.data(), size))
        return std::nullopt;
    return bytes;
}

bool lf_closeZip(ZipArchive& archive, const fs::path& target, size_t added)
{
    const int closeResult = archive.close();
    std::error_code ec;
    const bool exists = fs::exists(target, ec);
    std::streamoff size = 0;
    if (exists) {
        std::ifstream in(target, std::ios::binary | std::ios::ate);
        size = in ? std::max<std::streamoff>(in.tellg(), 0) : 0;
    }
    gf_logLine(fmt::format("[zip] Added {} files, close_result={}, ok_close={}, exists={}, size={} bytes", added,
                           closeResult, boolText(closeResult == 0), boolText(exists), size));
    return closeResult == 0 && added > 0 && exists && size != 0;
}

bool lf_zipFolder(const fs::path& target)
{
    std::error_code ec;
    const fs::file_status status = fs::status(g_tbloFolder, ec);
    if (ec && status.type() != fs::file_type::not_found)
        throw fs::filesystem_error("status", g_tbloFolder, ec);
    if (!fs::is_directory(status)) {
        gf_logLine(fmt::format("[zip] Not a directory: {}", gf_pathText(g_tbloFolder)));
        return false;
    }
    fs::create_directories(target.parent_path(), ec);
    const fs::path absoluteTarget = fs::absolute(target);
    const fs::path absoluteSource = fs::absolute(g_tbloFolder);
    gf_logLine(fmt::format("[zip] Target file: {}", gf_pathText(absoluteTarget)));
    gf_logLine(fmt::format("[zip] Source dir : {}", gf_pathText(absoluteSource)));
    if (fs::exists(absoluteTarget, ec)) {
        gf_logLine(fmt::format("[zip] Removing old zip {}", gf_pathText(absoluteTarget)));
        fs::remove(absoluteTarget, ec);
    }
    std::optional<ZipArchive> archive = ZipArchive::create(absoluteTarget);
    if (!archive) {
        gf_logLine("[zip] Could not open archive for writing");
        return false;
    }
    // The archive reads the data only when it is written out at close.
    std::list<std::vector<char>> data;
    size_t added = 0;
    for (fs::directory_iterator it(absoluteSource), end; it != end; ++it) {
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc))
            continue;
        const fs::path& path = it->path();
        std::optional<std::vector<char>> bytes = lf_readFileBytes(path);
        if (!bytes) {
            gf_logLine(fmt::format("[zip] READ FAIL: {}", gf_pathText(path)));
            continue;
        }
        const std::string name = gf_pathText(path.filename());
        gf_logLine(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_pathText(path), name, bytes->size()));
        const std::vector<char>& kept = data.emplace_back(std::move(*bytes));
        if (!archive->addData(name, kept.data(), kept.size())) {
            gf_logLine(fmt::format("[zip] ERROR addData({})", name));
            return lf_closeZip(*archive, absoluteTarget, added);
        }
        ++added;
    }
    return lf_closeZip(*archive, absoluteTarget, added);
}
