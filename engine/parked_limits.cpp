#include "engine/parked_limits.h"

#include <algorithm>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "engine/aircraft_commands.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "stands/stand_table.h"

namespace {

// Half-hours from `parked` to `now`, across the end of the week.
int32_t lf_parkedAgeSlots(WeekSlot now, WeekSlot parked)
{
    int32_t age = (static_cast<int32_t>(now.weekday) - static_cast<int32_t>(parked.weekday)) * 48 +
                  static_cast<int32_t>(now.halfHour) - static_cast<int32_t>(parked.halfHour);
    if (age < 0)
        age += 336;
    return age;
}

// Removes the first n of the candidates in the order `before` gives, each
// guarded by itself; `removed` sees each aircraft that goes.
template <typename T, typename Before, typename Removed>
void lf_removeFirstN(std::vector<T*>& candidates, int64_t n, Before before, const char* kind, const char* function,
                     Removed removed)
{
    if (n < 1 || candidates.empty())
        return;
    const auto count = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(candidates.size())));
    std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count - 1),
                     candidates.end(), before);
    std::sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count), before);
    for (size_t i = 0; i < count; ++i) {
        T& ac = *candidates[i];
        try {
            gf_logLine(fmt::format("{:14}: {} parked {} removed", gf_standNameById(ac.stand.standId), kind, ac.identity.callsign));
            removeAircraftFromSim(ac);
            removed(ac);
        } catch (...) {
            gf_reportTrafficException(function);
        }
    }
}

} // namespace

void gf_enforceParkedLimit(uint8_t extra)
{
    const int64_t quota = gf_standTable().staticQuota;
    if (quota < 0)
        return;
    AircraftStore& store = gf_trafficState().aircraft;
    int64_t live = extra;
    for (const LiveAircraft& ac : store.live())
        if (ac.phases.phase == FlightPhase::parked && ac.sim.simState == SimState::active)
            ++live;
    // Statics already being removed are no longer counted: each call would
    // otherwise remove further ones for the same excess.
    int64_t statics = 0;
    for (const StaticAircraft& st : store.statics())
        if (st.sim.simState == SimState::active)
            ++statics;
    if (statics + live <= quota)
        return;
    if (live > quota) {
        if (statics > 0)
            lf_removeNOldestStaticParked(statics);
        lf_removeNOldestLiveParked(live - quota);
    } else {
        lf_removeNOldestStaticParked(statics + live - quota);
    }
}

void lf_removeNOldestLiveParked(int64_t n)
{
    std::vector<LiveAircraft*> candidates;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live())
        if (ac.sim.simState == SimState::active && ac.phases.phase == FlightPhase::parked)
            candidates.push_back(&ac);
    lf_removeFirstN(
        candidates, n, [](const LiveAircraft* a, const LiveAircraft* b) { return a->stream.lastNearStandTicks < b->stream.lastNearStandTicks; },
        "live", "lf_removeNOldestLiveParked",
        [](const LiveAircraft& ac) { gf_trafficState().parkedLimitHolds[ac.identity.hexid] = ac.stand.standId; });
}

bool gf_heldForParkedLimit(uint32_t hexid, int32_t standId)
{
    auto& holds = gf_trafficState().parkedLimitHolds;
    const auto it = holds.find(hexid);
    if (it == holds.end())
        return false;
    if (it->second == standId)
        return true;
    holds.erase(it);
    return false;
}

void gf_releaseParkedLimitHold(uint32_t hexid)
{
    gf_trafficState().parkedLimitHolds.erase(hexid);
}

void lf_removeNOldestStaticParked(int64_t n)
{
    const WeekSlot now = gf_weekSlotOfWord(weekdayHalfHourWord.load());
    std::vector<StaticAircraft*> candidates;
    for (StaticAircraft& st : gf_trafficState().aircraft.statics())
        if (st.sim.simState == SimState::active)
            candidates.push_back(&st);
    lf_removeFirstN(
        candidates, n,
        [now](const StaticAircraft* a, const StaticAircraft* b) {
            return lf_parkedAgeSlots(now, a->sim.createdWeekSlot) > lf_parkedAgeSlots(now, b->sim.createdWeekSlot);
        },
        "static", "lf_removeNOldestStaticParked", [](const StaticAircraft&) {});
}

uint64_t gf_countStaticParked(bool withAge)
{
    const WeekSlot now = gf_weekSlotOfWord(weekdayHalfHourWord.load());
    const auto weekIndex = [](WeekSlot s) { return (static_cast<int64_t>(s.weekday) - 1) * 48 + s.halfHour; };
    uint64_t count = 0;
    int64_t ageSum = 0;
    int64_t aged = 0;
    for (const StaticAircraft& st : gf_trafficState().aircraft.statics()) {
        if (st.sim.simState != SimState::active && st.sim.simState != SimState::removingfromsim)
            continue;
        ++count;
        const WeekSlot parked = st.sim.createdWeekSlot;
        if (parked.weekday == 0 || now.weekday == 0)
            continue;
        if (weekIndex(now) > weekIndex(parked) || weekIndex(now) == weekIndex(parked)) {
            ageSum += weekIndex(now) - weekIndex(parked);
            ++aged;
        }
    }
    if (withAge && !g_parkedFromRTOnlyNow.load())
        gf_setStaticFit(aged == 0 ? 0.0f : static_cast<float>(static_cast<double>(ageSum) / (2.0 * aged) + 0.5));
    return count;
}

