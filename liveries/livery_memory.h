// Three small collections beside the livery choice, all on the main task:
// the livery each live aircraft got (by hexid, so a returning aircraft keeps
// its paint), the titles the simulator refused to create (never chosen again;
// 20 of them stop the program with error 81), and the aircraft for which no
// livery could be chosen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/model_database.h"

// The number of refused titles that stops the program.
inline constexpr size_t g_failedLiveryLimit = 20;

// The remembered title, unless it has failed since: then the entry goes.
std::optional<std::string_view> lf_rememberedLiveryOfHexid(uint32_t hexid);
// Keeps an existing entry.
void lf_rememberLiveryOfHexid(uint32_t hexid, std::string_view title);
// True when there was an entry.
bool lf_forgetLiveryOfHexid(uint32_t hexid);
void gf_clearLiveryMemory();
size_t gf_liveryMemorySize();

bool gf_isFailedLiveryTitle(std::string_view title);
// The simulator could not create the aircraft's object with its livery:
// message, remember the title as failed, report type and airline; throws
// kvr::UserRelatedException 81 once 20 titles have failed.
void gf_reportFailedLivery(std::string_view callsign, std::string_view liveryTitle, const AirlOprModel& ids);
// "  <type> <airline>" per refusal, sorted.
std::vector<std::string> gf_failedLiveryLines();
size_t gf_failedLiveryCount();

void lf_addNoMatchText(std::string text);
bool lf_isNoMatchText(std::string_view text);
// "\nNo match found for:", the entries sorted, an empty line; nothing when empty.
void gf_logNoMatchList();
void gf_clearNoMatchList();
size_t gf_noMatchCount();

// Forgets the failed titles and their report. For tests only: a running
// program never forgives a refused title.
void gf_clearFailedLiveriesForTests();
