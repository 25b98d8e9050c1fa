#include "liveries/livery_memory.h"

#include <algorithm>
#include <memory_resource>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/value_types.h"
#include "liveries/fnv_hash.h"
#include "liveries/model_database.h"

namespace {

using LiveryMemory = std::pmr::unordered_map<uint32_t, std::string_view, Fnv1aHash>;

// One entry per hexid seen in a day, kept for the day: the entries come from
// a pool of their own, so that they do not pin free space among the short-
// lived blocks of the traffic in the program's heap.
LiveryMemory& lf_liveryMemory()
{
    static std::pmr::unsynchronized_pool_resource pool;
    static LiveryMemory memory(8, Fnv1aHash{}, std::equal_to<uint32_t>{}, &pool);
    return memory;
}

using OwnedTexts = std::unordered_set<std::string, Fnv1aHash, std::equal_to<>>;
OwnedTexts FailedLiveryTitles;
OwnedTexts FailedLiveryReport;
OwnedTexts NoMatchList;

std::vector<std::string> lf_sorted(const OwnedTexts& texts)
{
    std::vector<std::string> sorted(texts.begin(), texts.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

} // namespace

std::optional<std::string_view> lf_rememberedLiveryOfHexid(uint32_t hexid)
{
    auto& memory = lf_liveryMemory();
    const auto it = memory.find(hexid);
    if (it == memory.end())
        return std::nullopt;
    if (gf_isFailedLiveryTitle(it->second)) {
        memory.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void lf_rememberLiveryOfHexid(uint32_t hexid, std::string_view title)
{
    lf_liveryMemory().try_emplace(hexid, title);
}

bool lf_forgetLiveryOfHexid(uint32_t hexid)
{
    return lf_liveryMemory().erase(hexid) != 0;
}

void gf_clearLiveryMemory()
{
    lf_liveryMemory().clear();
}

size_t gf_liveryMemorySize()
{
    return lf_liveryMemory().size();
}

bool gf_isFailedLiveryTitle(std::string_view title)
{
    return FailedLiveryTitles.find(title) != FailedLiveryTitles.end();
}

void gf_reportFailedLivery(std::string_view callsign, std::string_view liveryTitle, const AirlOprModel& ids)
{
    if (gf_keepRunning())
        gf_showMessage(fmt::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle), true);
    FailedLiveryTitles.emplace(liveryTitle);
    FailedLiveryReport.insert(fmt::format("{} {}", gf_modelCodeText(ids.model), gf_airlineCodeText(ids.airline)));
    if (FailedLiveryTitles.size() >= g_failedLiveryLimit) {
        const char* message = "There are too many liveries that could not be created!";
        gf_logLine(fmt::format("\n{}Error 81, {}\n", "===> ", message));
        throw kvr::UserRelatedException(81, fmt::format("{}, see Log.txt", message));
    }
}

std::vector<std::string> gf_failedLiveryLines()
{
    std::vector<std::string> lines = lf_sorted(FailedLiveryReport);
    for (std::string& line : lines)
        line.insert(0, "  ");
    return lines;
}

size_t gf_failedLiveryCount()
{
    return FailedLiveryTitles.size();
}

void lf_addNoMatchText(std::string text)
{
    NoMatchList.insert(std::move(text));
}

bool lf_isNoMatchText(std::string_view text)
{
    return NoMatchList.contains(text);
}

void gf_logNoMatchList()
{
    if (NoMatchList.empty())
        return;
    gf_logLine("\nNo match found for:");
    for (const std::string& entry : lf_sorted(NoMatchList))
        gf_logLine(entry);
    gf_logLine("");
}

void gf_clearNoMatchList()
{
    NoMatchList.clear();
}

size_t gf_noMatchCount()
{
    return NoMatchList.size();
}

void gf_clearFailedLiveriesForTests()
{
    FailedLiveryTitles.clear();
    FailedLiveryReport.clear();
}
