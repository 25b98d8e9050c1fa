// The report lists of the livery scan: one line per file, section or code that
// the aircraft.cfg readers could not use, the model-code fixes they made, and
// the two title sets that live as long as one scan. The scan writes each list
// to its report file when it ends and then clears them all.
//
// Used by the main task only (the livery scan); no locks.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "liveries/fnv_hash.h"

using LiveryTitleSet = std::unordered_set<std::string, Fnv1aHash, std::equal_to<>>;

extern std::vector<std::string> NoFltsimCfgList;      // AircraftCfgWithNoFltsimSection.txt
extern LiveryTitleSet DontUseLiveryTitles;            // DontUseLiveries.txt
extern std::vector<std::string> InvalidAirlineList;   // InvalidAirlineCodes.txt
extern std::vector<std::string> InvalidModelList;     // InvalidAircraftCodes.txt
extern std::vector<std::string> ModelFixList;         // Fixes.txt
extern std::vector<std::string> InvalidCfgFileList;   // InvalidAircraftCfgFiles.txt
extern std::vector<std::string> IncompleteSectionList; // IncompleFltsimSections.txt
// The titles already given to a livery in this scan.
extern LiveryTitleSet UsedLiveryTitles;

// The seven report files, in the order of the lists above, relative to the
// program folder. Built once, on the first call.
const std::array<std::filesystem::path, 7>& gf_liveryReportPaths();

void lf_addInvalidCfgFileLine(std::string line);
void lf_addIncompleteSectionLine(std::string line);
// "{:12} in {} " (code, path) followed by the section's header line.
void lf_reportInvalidAirline(std::string_view code, const std::filesystem::path& path, std::string_view header);
// "{:16} in {}" (code, path).
void lf_reportInvalidModel(std::string_view code, const std::filesystem::path& path);

// Empties every list and both title sets; called once when a scan ends.
void gf_clearLiveryScanReports();
