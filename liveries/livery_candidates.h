// Turning one [fltsim.N] section of an aircraft.cfg file into at most one
// livery: the keys of the section, the airline, registration and cargo flag,
// and the refusal of titles already taken in this scan (the first section that
// claims a title wins). Rejected sections leave a line in the scan's reports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_list_file.h"

// Ordinary AI packages: the airline comes from the icao_airline key.
// The section is a view of the file's lines; `folder` is the UTF-8 text of
// the folder that holds the file.
std::vector<LiveryRecord> lf_procesFltSimSection(uint32_t rank, std::span<const std::string> section,
                                                 const std::string& model, const std::filesystem::path& path,
                                                 std::string_view folder);
// IVAO packages: the airline is read from the title after the model code. An
// empty record when the section gives none.
LiveryRecord lf_procesIVAOFltSimSection(uint32_t rank, const std::vector<std::string>& section,
                                        const std::string& model, const std::filesystem::path& path);

// Claims the title in UsedLiveryTitles: the filled record when the title was
// free, else an empty one.
LiveryRecord lf_makeLiveryCandidate(uint32_t rank, const AirlOprModel& ids, const std::string& title,
                                    const std::string& registration);
// The airline id or the model id is 0.
bool lf_isUnusableCandidate(const LiveryRecord& record);
