// What stands around the folder walk of the livery scan: the titles it must
// not take, the report files it writes from the parser's report lists, and
// the common end of every scan.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Refills DontUseLiveryTitles from the registration-code lists; every failure
// is logged and the scan goes on with what the set holds.
void lf_collectDontUseLiveries();
// The summary in the log and the error and info report files.
void lf_writeLiveryScanReports();
// Empties the scan's lists and sets, clears the message line, repaints the
// header and logs the end banner. Never throws.
void lf_endLiveryScan() noexcept;

// The file writers: one line per entry, each ended by "\n", no header,
// truncating an older file. The folder is made first; failures are logged.
void lf_writeReportList(const std::vector<std::string>& list, const std::filesystem::path& path);
void lf_writeFixesReport(const std::filesystem::path& path);
bool lf_writeLinesOfList(const std::vector<std::string>& list, const std::filesystem::path& path);
bool lf_writeDontUseReport(const std::filesystem::path& path);
