#include "stands/stand_table.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include <fmt/format.h>

#include "airports/park_airports.h"
#include "core/geodesy.h"
#include "core/gui_update.h"
#include "core/log.h"
#include "core/ui_sink.h"
#include "core/units.h"
#include "stands/stand_fit.h"
#include "simlink/user_aircraft.h"

namespace {

// 250 m in NM: the reach of a gate named by received parked traffic.
constexpr double kGateTextReachNm = 0.1349892008639309;

StandTable standTable;

// The stand of that id by binary search (the table is sorted by id).
Stand* lf_findExcluded(uint32_t id)
{
    if (id < 1)
        return nullptr;
    auto& stands = standTable.stands;
    const auto it = std::lower_bound(stands.begin(), stands.end(), static_cast<int64_t>(id),
                                     [](const Stand& s, int64_t wanted) { return s.id < wanted; });
    if (it == stands.end() || it->id != static_cast<int64_t>(id))
        return nullptr;
    return &*it;
}

bool lf_isWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// `word` occurs in `text` with no letter or digit right before or after it.
bool lf_containsWord(std::string_view text, std::string_view word)
{
    if (word.empty())
        return false;
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const bool startOk = at == 0 || !lf_isWordChar(text[at - 1]);
        const size_t end = at + word.size();
        const bool endOk = end == text.size() || !lf_isWordChar(text[end]);
        if (startOk && endOk)
            return true;
    }
    return false;
}

} // namespace

StandTable& gf_standTable()
{
    return standTable;
}

void gf_setStandTable(std::vector<Stand> stands)
{
    standTable.stands = std::move(stands);
    standTable.nameIndex.clear();
    for (const Stand& s : standTable.stands)
        standTable.nameIndex.emplace(s.name, s.id);
    gf_publishStandSnapshot();
}

void gf_clearStandTable()
{
    standTable.stands.clear();
    standTable.nameIndex.clear();
    gf_publishStandSnapshot();
}

size_t gf_standCount()
{
    return standTable.stands.size();
}

Stand* gf_standById(int32_t id)
{
    if (id < 1 || static_cast<size_t>(id) > standTable.stands.size())
        return nullptr;
    Stand& s = standTable.stands[static_cast<size_t>(id) - 1];
    return s.id == id ? &s : nullptr;
}

Stand* lf_standByName(std::string_view name)
{
    const auto it = standTable.nameIndex.find(std::string(name));
    if (it == standTable.nameIndex.end())
        return nullptr;
    return gf_standById(it->second);
}

std::string gf_standNameById(int32_t id)
{
    if (id == 0)
        return "sid==0?";
    const Stand* s = gf_standById(id);
    return s ? s->name : "sid==?";
}

bool gf_reserveStand(int32_t id, int64_t limit)
{
    Stand* stand = gf_standById(id);
    if (!stand || stand->used)
        return false;
    stand->used = 1;
    for (const uint32_t excluded : stand->exclusions)
        if (Stand* neighbour = lf_findExcluded(excluded))
            neighbour->blocked = 1;
    const auto used = std::count_if(standTable.stands.begin(), standTable.stands.end(),
                                    [](const Stand& s) { return s.used != 0; });
    return used >= limit;
}

bool gf_isSameOrAdjacentStand(int32_t a, int32_t b)
{
    if (a == b)
        return true;
    const Stand* stand = gf_standById(a);
    if (!stand || b < 1)
        return false;
    const auto& ex = stand->exclusions;
    return std::find(ex.begin(), ex.end(), static_cast<uint32_t>(b)) != ex.end();
}

bool lf_standOrAdjacentHasName(const Stand& stand, std::string_view name)
{
    if (name.empty())
        return false;
    if (stand.name == name)
        return true;
    for (const uint32_t excluded : stand.exclusions)
        if (const Stand* neighbour = lf_findExcluded(excluded); neighbour && neighbour->name == name)
            return true;
    return false;
}

bool lf_isUserStandOrAdjacent(const Stand& stand)
{
    if (const std::optional<std::string> reserved = gf_currentReservedStand();
        reserved && lf_standOrAdjacentHasName(stand, *reserved))
        return true;
    const UserAcPosition user = gf_getUserAcPosition();
    return lf_standOrAdjacentHasName(stand, gf_findStandAtPosition({user.latitude, user.longitude}));
}

void gf_blockUserStandForStatic(std::string_view name, std::string_view prefix)
{
    Stand* stand = lf_standByName(name);
    if (!stand)
        return;
    stand->blocked = 1;
    gf_logLine(fmt::format("{} user stand '{}' blocked for static aircraft", prefix, name));
    for (const uint32_t excluded : stand->exclusions) {
        if (Stand* neighbour = lf_findExcluded(excluded)) {
            neighbour->blocked = 1;
            gf_logLine(fmt::format("{} excluded by {} user stand '{}' blocked for static aircraft", neighbour->name,
                                   prefix, name));
        }
    }
}

void gf_publishStandSnapshot()
{
    auto snapshot = std::make_shared<StandSnapshot>();
    snapshot->reserve(standTable.stands.size());
    for (const Stand& s : standTable.stands)
        snapshot->push_back({s.name, s.lat, s.lon});
    gf_publishStandPositions(std::move(snapshot));
}

int32_t gf_staticStandQuotaFor(int32_t percentage, int32_t limit)
{
    if (limit <= 0)
        return 0;
    const size_t n = standTable.stands.size();
    int64_t wanted = 1;
    if (n > 1 && (n > 3 || percentage >= 50))
        wanted = std::lround(static_cast<double>(percentage) * static_cast<double>(n) / 100.0);
    return static_cast<int32_t>(std::min<int64_t>(limit, wanted));
}

int32_t gf_setStaticStandQuota(int32_t percentage, int32_t limit)
{
    if (limit <= 0) {
        standTable.staticQuota = 0;
        gf_uiSink().enqueueUpdate(GuiUpdate::MaxPark{0, 0});
        return 0;
    }
    const size_t n = standTable.stands.size();
    const int32_t quota = gf_staticStandQuotaFor(percentage, limit);
    standTable.staticQuota = quota;
    const uint32_t count = static_cast<uint32_t>(std::max(quota, 0));
    const uint32_t percent = n < 1 ? 0u : static_cast<uint32_t>(std::lround(count * 100.0 / static_cast<double>(n)));
    gf_uiSink().enqueueUpdate(GuiUpdate::MaxPark{count, percent});
    return quota;
}

std::string lf_formatStandExclusions(const std::vector<uint32_t>& exclusions, int32_t id)
{
    std::string list;
    for (const uint32_t excluded : exclusions) {
        if (excluded < 1)
            continue;
        if (!list.empty())
            list += ", ";
        list += gf_standNameById(static_cast<int32_t>(excluded));
    }
    return fmt::format("          {:8}: excludes {}", gf_standNameById(id), list);
}

int32_t gf_findStandByGateText(const std::vector<Stand>& stands, std::string_view text, const LatLon& position,
                               const StandFitQuery& aircraft)
{
    if (text.size() < 6 || !text.starts_with("GATE "))
        return 0;
    const std::string_view label = text.substr(5);
    for (const Stand& s : stands)
        if (lf_containsWord(s.name, label) && gf_distanceNm(position, {s.lat, s.lon}) <= kGateTextReachNm &&
            gf_standSuitsAircraft(s, aircraft))
            return s.id;
    return 0;
}
