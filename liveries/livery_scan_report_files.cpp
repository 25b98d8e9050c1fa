#include "liveries/livery_scan_report_files.h"

#include <algorithm>
#include <system_error>
#include <unordered_set>

#include <fmt/format.h>

#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_scan_reports.h"
#include "liveries/livery_list_file.h"
#include "liveries/regcode_lists.h"

namespace {

bool lf_makeReportFolder(const std::filesystem::path& path)
{
    const std::filesystem::path folder = path.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        gf_logNoThrow(fmt::format("Error creating directories {}: {}", lf_pathUtf8(folder), ec.message()));
        return false;
    }
    return true;
}

// Sorts, writes and logs one error list; no-op when it is empty.
void lf_writeSortedErrorList(std::vector<std::string>& list, const std::filesystem::path& path,
                             std::string_view what, bool dropRepeats)
{
    if (list.empty())
        return;
    std::sort(list.begin(), list.end());
    if (dropRepeats)
        list.erase(std::unique(list.begin(), list.end()), list.end());
    lf_writeReportList(list, path);
    gf_logLine(fmt::format("{:5} {}, see {}", list.size(), what, lf_pathUtf8(path)));
}

} // namespace

void lf_collectDontUseLiveries()
{
    try {
        DontUseLiveryTitles.clear();
        DontUseLiveryTitles.reserve(5000);
        const std::filesystem::path aigPath = g_aigRegcodesEncPath;
        if (!std::filesystem::exists(std::filesystem::status(aigPath))) {
            gf_logError(fmt::format("{} not available", lf_pathUtf8(aigPath)));
            return;
        }
        std::unordered_set<std::string> titles;
        gf_readDontUseTitles(aigPath, titles);
        if (gf_countFilesWithExtension(g_myRegcodesFolder, {}) != 0)
            gf_readDontUseTitlesInFolder(titles);
        for (const std::string& title : titles)
            DontUseLiveryTitles.insert(title);
        gf_logLine(fmt::format("{:5} don't use liveries", DontUseLiveryTitles.size()));
        lf_writeDontUseReport(gf_liveryReportPaths()[1]);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception: {}", e.what()));
    }
}

void lf_writeLiveryScanReports()
{
    const auto& paths = gf_liveryReportPaths();
    if (InvalidAirlineList.empty() && InvalidModelList.empty() && ModelFixList.empty() && InvalidCfgFileList.empty() &&
        IncompleteSectionList.empty()) {
        gf_logLine("\nNo errors");
    } else {
        gf_logLine("\nErrors:");
        const auto plural = [](const std::vector<std::string>& list) {
            return gf_pluralSuffix(static_cast<std::int64_t>(list.size()));
        };
        lf_writeSortedErrorList(InvalidAirlineList, paths[2], "invalid airline code" + plural(InvalidAirlineList),
                                false);
        lf_writeSortedErrorList(InvalidModelList, paths[3], "invalid model code" + plural(InvalidModelList), false);
        if (!ModelFixList.empty()) {
            lf_writeFixesReport(paths[4]);
            gf_logLine(fmt::format("{:5} fixes, see {}", ModelFixList.size(), lf_pathUtf8(paths[4])));
        }
        lf_writeSortedErrorList(InvalidCfgFileList, paths[5], "invalid aircraft.cfg files", false);
        lf_writeSortedErrorList(IncompleteSectionList, paths[6], "incomplete [fltsim.x] sections", true);
    }
    if (!NoFltsimCfgList.empty()) {
        gf_logLine("\nInformation:");
        std::sort(NoFltsimCfgList.begin(), NoFltsimCfgList.end());
        lf_writeReportList(NoFltsimCfgList, paths[0]);
        gf_logLine(fmt::format("{:5} empty aircraft.cfg files, see {}", NoFltsimCfgList.size(), lf_pathUtf8(paths[0])));
    }
}

void lf_endLiveryScan() noexcept
{
    try {
        gf_clearLiveryScanReports();
        gf_clearMessage();
        gf_repaintHeader();
        gf_logLineFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    } catch (...) {
    }
}

void lf_writeReportList(const std::vector<std::string>& list, const std::filesystem::path& path)
{
    if (lf_makeReportFolder(path))
        lf_writeLinesOfList(list, path);
}

void lf_writeFixesReport(const std::filesystem::path& path)
{
    if (lf_makeReportFolder(path))
        gf_writeLines(ModelFixList, path);
}

bool lf_writeLinesOfList(const std::vector<std::string>& list, const std::filesystem::path& path)
{
    return gf_writeLines(list, path);
}

bool lf_writeDontUseReport(const std::filesystem::path& path)
{
    if (!lf_makeReportFolder(path))
        return false;
    const std::vector<std::string> titles(DontUseLiveryTitles.begin(), DontUseLiveryTitles.end());
    return gf_writeLines(titles, path);
}
