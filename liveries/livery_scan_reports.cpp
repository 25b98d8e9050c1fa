#include "liveries/livery_scan_reports.h"

#include <fmt/format.h>

#include "core/layout.h"
#include "core/text.h"

std::vector<std::string> NoFltsimCfgList;
LiveryTitleSet DontUseLiveryTitles;
std::vector<std::string> InvalidAirlineList;
std::vector<std::string> InvalidModelList;
std::vector<std::string> ModelFixList;
std::vector<std::string> InvalidCfgFileList;
std::vector<std::string> IncompleteSectionList;
LiveryTitleSet UsedLiveryTitles;

const std::array<std::filesystem::path, 7>& gf_liveryReportPaths()
{
    static const std::array<std::filesystem::path, 7> paths{
        g_outputInfoFolder / L"AircraftCfgWithNoFltsimSection.txt",
        g_outputInfoFolder / L"DontUseLiveries.txt",
        g_outputErrorsFolder / L"InvalidAirlineCodes.txt",
        g_outputErrorsFolder / L"InvalidAircraftCodes.txt",
        g_outputErrorsFolder / L"Fixes.txt",
        g_outputErrorsFolder / L"InvalidAircraftCfgFiles.txt",
        g_outputErrorsFolder / L"IncompleFltsimSections.txt",
    };
    return paths;
}

void lf_addInvalidCfgFileLine(std::string line)
{
    InvalidCfgFileList.push_back(std::move(line));
}

void lf_addIncompleteSectionLine(std::string line)
{
    IncompleteSectionList.push_back(std::move(line));
}

void lf_reportInvalidAirline(std::string_view code, const std::filesystem::path& path, std::string_view header)
{
    InvalidAirlineList.push_back(fmt::format("{:12} in {} ", code, wide_to_utf8(path.wstring())) + std::string(header));
}

void lf_reportInvalidModel(std::string_view code, const std::filesystem::path& path)
{
    InvalidModelList.push_back(fmt::format("{:16} in {}", code, wide_to_utf8(path.wstring())));
}

void gf_clearLiveryScanReports()
{
    InvalidAirlineList.clear();
    InvalidModelList.clear();
    IncompleteSectionList.clear();
    NoFltsimCfgList.clear();
    InvalidCfgFileList.clear();
    UsedLiveryTitles.clear();
    DontUseLiveryTitles.clear();
    ModelFixList.clear();
}
