#include "parking/parking_runs.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/airport_ui.h"
#include "airports/park_airports.h"
#include "core/clock.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/for_parking.h"
#include "engine/static_placement.h"
#include "feed/traffic_records.h"
#include "parking/parking_plan.h"
#include "parking/stand_searches.h"
#include "stands/stand_table.h"
#include "simlink/user_aircraft.h"

namespace {

int64_t lf_usedStandCount()
{
    const std::vector<Stand>& stands = gf_standTable().stands;
    return std::count_if(stands.begin(), stands.end(), [](const Stand& s) { return s.used != 0; });
}

uint32_t lf_percentOfStands(int64_t count)
{
    const size_t n = gf_standCount();
    return n < 1 ? 0u : static_cast<uint32_t>(std::lround(static_cast<double>(count) * 100.0 / static_cast<double>(n)));
}

void lf_sortPlanByOffset()
{
    ParkingPlan& plan = gf_parkingPlan();
    std::sort(plan.begin(), plan.end(),
              [](const ParkingPlanEntry& a, const ParkingPlanEntry& b) { return a.slotOffset < b.slotOffset; });
}

void lf_clearStandFlags(bool renumberOptions)
{
    for (Stand& s : gf_standTable().stands) {
        s.used = 0;
        s.blocked = 0;
        if (!renumberOptions)
            continue;
        int32_t id = 0;
        for (StandOption& o : s.options)
            o.optionId = ++id;
    }
}

// Erases the elements whose mark is set, keeping the order of the rest.
template <typename T>
void lf_eraseMarked(std::vector<T>& v, const std::vector<bool>& marked)
{
    size_t out = 0;
    for (size_t i = 0; i < v.size(); ++i)
        if (!marked[i]) {
            if (out != i)
                v[out] = std::move(v[i]);
            ++out;
        }
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(out), v.end());
}

} // namespace

int32_t gf_catchUpEngineClock(int64_t elapsedMs)
{
    if (elapsedMs < 5)
        return 0;
    const auto ticks = static_cast<int32_t>((elapsedMs + 5) / 10);
    engineClock.fetch_add(ticks);
    return ticks;
}

int32_t gf_parkingRunQuota(const Parameters& params)
{
    if (!params.RT_PARKTRAFFIC_ONLY)
        return gf_setStaticStandQuota(params.parking_percentage, params.MAX_PARK_SEL);
    const int32_t quota = gf_parkingRunQuotaFor(params);
    gf_standTable().staticQuota = quota;
    gf_postGuiUpdate(GuiUpdate::MaxPark{static_cast<uint32_t>(quota), lf_percentOfStands(quota)});
    return quota;
}

int32_t gf_parkingRunQuotaFor(const Parameters& params)
{
    if (!params.RT_PARKTRAFFIC_ONLY)
        return gf_staticStandQuotaFor(params.parking_percentage, params.MAX_PARK_SEL);
    const auto stands = static_cast<int64_t>(gf_standCount());
    return params.MAX_PARK_SEL < 1 ? 0 : static_cast<int32_t>(std::min<int64_t>(params.MAX_PARK_SEL, stands));
}

void lf_blockUserStands()
{
    const std::optional<std::string> reserved = gf_currentReservedStand();
    if (reserved && !reserved->empty())
        gf_blockUserStandForStatic(*reserved, "Reserved");
    const UserAcPosition user = gf_getUserAcPosition();
    const std::string under = gf_findStandAtPosition({user.latitude, user.longitude});
    if (!under.empty() && (!reserved || *reserved != under))
        gf_blockUserStandForStatic(under, "User");
}

void gf_buildParkingPlan()
{
    if (gf_standCount() == 0)
        return;
    const WeekSlot now = lf_weekSlotNow();
    gf_airportUi().disableParkingControls();
    gf_airportUi().setParkingBusy();
    gf_repaintAirportPanel();

    gf_parkingPlan().clear();
    gf_postGuiUpdate(GuiUpdate::LiveFit{-1.0f});
    gf_setStaticFit(-1.0f);
    gf_setParkedFromRTOnly(false);
    lf_takeOverSeenTraffic();

    lf_clearStandFlags(false);
    lf_blockUserStands();

    const auto params = gf_parametersSnapshot();
    const int32_t quota = gf_parkingRunQuota(*params);
    if (quota > 0)
        gf_processRTParkedTraffic(static_cast<uint32_t>(quota));
    if (!params->RT_PARKTRAFFIC_ONLY && static_cast<int64_t>(gf_parkingPlanSize()) < quota)
        lf_runStandSearches(now, quota);
    lf_sortPlanByOffset();

    const int64_t used = lf_usedStandCount();
    if (used == 0) {
        gf_logLine("no parking positions found");
        gf_airportUi().enableParkingControls();
        return;
    }
    if (params->RT_PARKTRAFFIC_ONLY) {
        gf_logLineFlush(fmt::format("{} positions with RT Parked only\n", used));
        return;
    }
    const std::string how =
        params->AUTO_PARK ? std::string(" auto park")
                          : fmt::format(", with Max fit={:.1F} hours", (std::clamp(params->MAX_FIT, 0, 47) + 1) * 0.5);
    gf_logLineFlush(
        fmt::format("{} positions ({}% vs wanted {}%){}\n", used, lf_percentOfStands(used), params->parking_percentage, how));
}

void gf_adjustParking(bool renewAll)
{
    const WeekSlot now = lf_weekSlotNow();
    lf_takeOverSeenTraffic();
    gf_setParkedFromRTOnly(false);

    gf_removals().clear();
    gf_liveStayers().clear();
    gf_parkingPlan().clear();

    lf_clearStandFlags(true);
    for (StaticAircraft& st : gf_staticAircraftView())
        st.stand.keepStand = 0;
    lf_blockUserStands();

    if (renewAll)
        for (const StaticAircraft& st : gf_staticAircraftView())
            if (st.sim.staticSource == 1 && st.sim.simState == SimState::active)
                lf_addRemoval(st, st.stand.standId);

    const auto params = gf_parametersSnapshot();
    const int32_t quota = gf_parkingRunQuota(*params);

    lf_collectLiveStayers();
    const auto stayers = static_cast<int64_t>(gf_liveStayers().size());
    if (!params->RT_PARKTRAFFIC_ONLY && quota >= 0 && stayers > quota) {
        gf_showMessage(fmt::format("Parking adjustments: {} more live ac than wanted", stayers - quota), true);
        gf_removeOldestLiveParkedForParking(stayers - quota);
        gf_liveStayers().clear();
        lf_collectLiveStayers();
    }
    for (const LiveStayer& s : gf_liveStayers())
        gf_reserveStand(s.standId, quota);

    gf_processRTParkedTraffic(static_cast<uint32_t>(std::max(quota, 0)));

    const auto listUnkept = [&] {
        for (const StaticAircraft& st : gf_staticAircraftView())
            if (!st.stand.keepStand)
                lf_addRemoval(st, st.stand.standId);
    };
    if (!params->RT_PARKTRAFFIC_ONLY) {
        if (lf_usedStandCount() < quota)
            lf_runStandSearches(now, quota);
        listUnkept();
        lf_planDepartureCallsigns(now);
        lf_dropUnchangedReplacements();
        lf_sortPlanByOffset();
        gf_logLine("");
        gf_showMessage(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", gf_removals().size(),
                                   gf_parkingPlanSize()),
                       true);
        lf_removeRemovals();
        gf_flushLog();
    } else {
        if (!renewAll)
            listUnkept();
        gf_showMessage(
            fmt::format("RT Parking changes: {} to be removed, {} to be added", gf_removals().size(), gf_parkingPlanSize()),
            true);
        lf_removeRemovals();
    }
}

void lf_addRemoval(const StaticAircraft& aircraft, int32_t standId)
{
    std::vector<Removal>& removals = gf_removals();
    if (std::none_of(removals.begin(), removals.end(),
                     [&](const Removal& r) { return r.callsign == aircraft.identity.callsign; }))
        removals.push_back({aircraft.identity.callsign, standId});
}

void lf_removeRemovals()
{
    for (const Removal& r : gf_removals()) {
        try {
            for (StaticAircraft& st : gf_staticAircraftView()) {
                if (st.stand.standId != r.standId || st.sim.simState != SimState::active)
                    continue;
                gf_logLine(fmt::format("{:14}: {:8} static parked removed, no longer within your specs",
                                       gf_standNameById(r.standId), st.identity.callsign));
                gf_removeForParking(st);
                break;
            }
        } catch (...) {
            gf_reportParkingException("lf_removeRemovals");
        }
    }
    gf_removals().clear();
}

void lf_planDepartureCallsigns(WeekSlot now)
{
    for (const StaticAircraft& st : gf_staticAircraftView()) {
        // callsign2 holds the first callsign of the plan entry, callsign3 its second.
        if (st.sim.staticSource != 1 || !st.stand.keepStand || st.identity.callsign3.empty() ||
            lf_withoutStar(st.identity.callsign) != lf_withoutStar(st.identity.callsign2))
            continue;
        const Stand* stand = gf_standById(st.stand.standId);
        if (!stand)
            continue;
        const std::string_view shown = lf_withoutStar(st.identity.callsign);
        const auto option = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
            return o.optionId > 0 && o.weekday == now.weekday && o.callsign == shown && o.aom.airline == st.identity.ids.airline &&
                   o.aom.model == st.identity.ids.model && o.aom.oper == st.identity.ids.oper && o.aom.cargo == st.identity.ids.cargo;
        });
        // The departure callsign shows only once the aircraft leaves within
        // the half-hour, as when it is planned afresh.
        if (option == stand->options.end() || lf_staysNextHalfHour(*stand, *option, now))
            continue;
        ParkingPlanEntry entry;
        entry.rtParkedKey = 0;
        entry.staticSource = 1;
        entry.standId = st.stand.standId;
        entry.slotOffset = static_cast<int32_t>(st.sim.createdWeekSlot.halfHour);
        entry.ids = st.identity.ids;
        entry.callsign = st.identity.callsign2;
        entry.secondCallsign = st.identity.callsign3;
        entry.registration = st.identity.registration;
        entry.keepsFirstCallsign = false;
        gf_parkingPlan().push_back(std::move(entry));
        gf_removals().push_back({st.identity.callsign, st.stand.standId});
    }
}

void lf_dropUnchangedReplacements()
{
    std::vector<Removal>& removals = gf_removals();
    ParkingPlan& plan = gf_parkingPlan();
    // An entry that would show its second callsign changes the aircraft: the
    // pair stays, so that a turnaround gets its departure callsign.
    std::vector<bool> dropRemoval(removals.size(), false);
    std::vector<bool> dropEntry(plan.size(), false);
    for (size_t r = 0; r < removals.size(); ++r) {
        const std::string_view callsign = lf_withoutStar(removals[r].callsign);
        for (size_t e = 0; e < plan.size(); ++e) {
            if (dropEntry[e] || plan[e].standId != removals[r].standId || plan[e].callsign != callsign)
                continue;
            if (plan[e].keepsFirstCallsign) {
                dropRemoval[r] = true;
                dropEntry[e] = true;
            }
            break;
        }
    }
    lf_eraseMarked(removals, dropRemoval);
    lf_eraseMarked(plan, dropEntry);

    std::unordered_set<int32_t> removalStands;
    for (const Removal& r : removals)
        removalStands.insert(r.standId);
    std::unordered_set<int32_t> both;
    for (const ParkingPlanEntry& e : plan)
        if (removalStands.contains(e.standId))
            both.insert(e.standId);
    if (both.empty())
        return;
    std::stable_partition(removals.begin(), removals.end(), [&](const Removal& r) { return both.contains(r.standId); });
    std::stable_partition(plan.begin(), plan.end(), [&](const ParkingPlanEntry& e) { return both.contains(e.standId); });
}

void lf_collectLiveStayers()
{
    std::vector<LiveStayer>& stayers = gf_liveStayers();
    stayers.clear();
    try {
        stayers.reserve(gf_liveAircraftView().size());
        const int64_t now = gf_systemTime100ns();
        for (const LiveAircraft& ac : gf_liveAircraftView()) {
            if (ac.phases.phase != FlightPhase::parked || ac.sim.simState != SimState::active)
                continue;
            if (ac.stand.keepStand) {
                stayers.push_back({ac.identity.callsign, ac.identity.registration, 0, ac.stand.standId, 0});
                continue;
            }
            const int64_t minutes = (now - ac.reports.parkedSinceTime) / 600000000;
            const int64_t limit = ac.identity.category == Category::Heavy ? 180 : 90;
            if (minutes > limit)
                gf_removeForParking(ac);
            else
                stayers.push_back({ac.identity.callsign, ac.identity.registration, 0, ac.stand.standId, static_cast<int32_t>(minutes)});
        }
        std::stable_sort(stayers.begin(), stayers.end(),
                         [](const LiveStayer& a, const LiveStayer& b) { return a.minutesParked < b.minutesParked; });
    } catch (...) {
        gf_reportParkingException("lf_collectLiveStayers");
    }
}
