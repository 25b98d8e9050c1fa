#include "parking/parking_plan.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/settings_snapshot.h"
#include "engine/for_parking.h"
#include "engine/static_placement.h"
#include "feed/traffic_records.h"
#include "liveries/model_texts.h"
#include "stands/stand_fit.h"
#include "parking/stand_search_index.h"
#include "stands/stand_table.h"
#include "engine/stand_questions.h"

namespace {

std::vector<LiveStayer> g_stayers;
std::vector<Removal> g_removals;
SeenTraffic g_seen;

bool lf_sameNonEmpty(std::string_view a, std::string_view b)
{
    return !a.empty() && a == b;
}

// A holder on `holderStand` lists `standId` among its neighbours.
bool lf_holderExcludes(int32_t holderStand, int32_t standId)
{
    return holderStand != standId && gf_isSameOrAdjacentStand(holderStand, standId);
}

// The options of the stand that may fit the search, in option order.
void lf_collectCandidates(const StandSearchContext& ctx, const Stand& stand, std::vector<uint16_t>& candidates)
{
    const auto fits = [&](const StandOption& o) {
        return o.optionId != 0 && (!ctx.day || o.weekday == ctx.searched.weekday) &&
               o.halfHours.test(ctx.searched.halfHour % 48);
    };
    const std::vector<Stand>& table = gf_standTable().stands;
    if (ctx.index && &stand >= table.data() && &stand < table.data() + table.size()) {
        // The index holds the stand's options of the kind whose category is wanted.
        for (const uint16_t i : ctx.index->options(static_cast<size_t>(&stand - table.data()), ctx.real))
            if (fits(stand.options[i]))
                candidates.push_back(i);
        return;
    }
    const size_t count = std::min<size_t>(stand.options.size(), 65535);
    for (size_t i = 0; i < count; ++i) {
        const StandOption& o = stand.options[i];
        if (fits(o) && (o.real != 0) == (ctx.real != 0) && gf_isModelCategoryIncluded(o.aom.model))
            candidates.push_back(static_cast<uint16_t>(i));
    }
}

bool lf_liveHasCallsignOrRegistration(const ParkedTrafficRecord& r)
{
    const std::string underscored = r.callsign + '_';
    for (const LiveAircraft& ac : gf_liveAircraftView())
        if (ac.identity.callsign == r.callsign || ac.identity.callsign == underscored ||
            lf_sameNonEmpty(r.registration, ac.identity.registration))
            return true;
    return false;
}

} // namespace

std::vector<LiveStayer>& gf_liveStayers()
{
    return g_stayers;
}

std::vector<Removal>& gf_removals()
{
    return g_removals;
}

void gf_clearParkingPlan()
{
    gf_clearPlannedStatics();
    g_stayers.clear();
    g_removals.clear();
}

void lf_takeOverSeenTraffic()
{
    g_seen = SeenTraffic();
    gf_seenTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp).takeOver(g_seen);
}

const SeenTraffic& gf_parkingSeenTraffic()
{
    return g_seen;
}

std::string_view lf_withoutStar(std::string_view text)
{
    if (!text.empty() && text.back() == '*')
        text.remove_suffix(1);
    return text;
}

bool lf_staysNextHalfHour(const Stand& stand, const StandOption& option, WeekSlot now)
{
    const uint32_t next = now.halfHour + 1;
    if (next < 48)
        return option.halfHours.test(next);
    const uint32_t nextDay = now.weekday % 7 + 1;
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
        return o.optionId > 0 && o.weekday == nextDay && o.aom.airline == option.aom.airline &&
               o.aom.model == option.aom.model && o.aom.oper == option.aom.oper && o.aom.cargo == option.aom.cargo &&
               o.halfHours.test(0);
    });
}

bool lf_standTakenByStaticOrPlan(int32_t standId)
{
    if (standId < 1)
        return false;
    for (const StaticAircraft& st : gf_staticAircraftView())
        if (st.sim.simState != SimState::removingfromsim && lf_holderExcludes(st.stand.standId, standId))
            return true;
    for (const LiveStayer& stayer : g_stayers)
        if (lf_holderExcludes(stayer.standId, standId))
            return true;
    for (const ParkingPlanEntry& e : gf_parkingPlan())
        if (lf_holderExcludes(e.standId, standId))
            return true;
    return false;
}

bool lf_isInSeenTraffic(std::string_view text)
{
    if (text.empty())
        return false;
    std::string key(text);
    if (g_seen.callsigns.contains(key))
        return true;
    key += '_';
    return g_seen.callsigns.contains(key);
}

bool lf_isLiveStayer(const AircraftIdentity& id)
{
    return std::any_of(g_stayers.begin(), g_stayers.end(), [&](const LiveStayer& s) {
        return lf_sameNonEmpty(id.callsign, s.callsign) || lf_sameNonEmpty(id.secondCallsign, s.callsign) ||
               lf_sameNonEmpty(id.registration, s.registration);
    });
}

bool lf_isStaticWithIdentity(const AircraftIdentity& id, const StaticAircraft& ac)
{
    if (ac.sim.simState != SimState::active || !ac.stand.keepStand)
        return false;
    const std::string_view shown = lf_withoutStar(ac.identity.callsign);
    return lf_sameNonEmpty(lf_withoutStar(id.callsign), shown) ||
           lf_sameNonEmpty(lf_withoutStar(id.secondCallsign), shown) ||
           lf_sameNonEmpty(id.registration, ac.identity.registration);
}

bool lf_isAircraftAlreadyPresent(const AircraftIdentity& id)
{
    for (const ParkingPlanEntry& e : gf_parkingPlan())
        if (lf_sameNonEmpty(id.registration, e.registration))
            return true;
    for (const ParkingPlanEntry& e : gf_parkingPlan())
        if (lf_sameNonEmpty(id.callsign, e.callsign) || lf_sameNonEmpty(id.secondCallsign, e.secondCallsign))
            return true;
    if (lf_isInSeenTraffic(id.callsign) || lf_isInSeenTraffic(id.secondCallsign))
        return true;
    for (const LiveAircraft& ac : gf_liveAircraftView())
        if (lf_sameNonEmpty(id.registration, ac.identity.registration))
            return true;
    if (lf_isLiveStayer(id))
        return true;
    for (const StaticAircraft& st : gf_staticAircraftView())
        if (lf_isStaticWithIdentity(id, st))
            return true;
    return false;
}

bool lf_planStaticAtStand(const StandSearchContext& ctx, Stand& stand)
{
    if (stand.blocked || stand.used)
        return false;
    const auto params = gf_parametersSnapshot();
    if (stand.helipad && !params->HELICOPTERS)
        return false;
    if (stand.id > 0 &&
        (ctx.index ? ctx.index->heldByNeighbour(stand.id) : lf_standTakenByStaticOrPlan(stand.id)))
        return false;

    static std::vector<uint16_t> candidates; // main task only; kept for its capacity
    candidates.clear();
    lf_collectCandidates(ctx, stand, candidates);
    gf_shuffleIfRandom(candidates);

    StandOption* chosen = nullptr;
    for (const uint16_t i : candidates) {
        StandOption& o = stand.options[i];
        if (o.optionId <= 0)
            continue;
        if (lf_isAircraftAlreadyPresent({o.registration, o.callsign, o.callsign2})) {
            o.optionId = 0; // no later search of this run takes it
            continue;
        }
        chosen = &o;
        break;
    }
    if (!chosen)
        return false;

    ParkingPlanEntry entry;
    entry.rtParkedKey = 0;
    entry.staticSource = 1;
    entry.standId = stand.id;
    entry.slotOffset = ctx.offset;
    entry.ids = chosen->aom;
    entry.callsign = chosen->callsign;
    entry.secondCallsign = chosen->callsign2;
    entry.registration = chosen->registration;
    entry.keepsFirstCallsign = chosen->callsign2.empty() || lf_staysNextHalfHour(stand, *chosen, ctx.now);
    gf_parkingPlan().push_back(std::move(entry));
    if (ctx.result)
        ctx.result->airportFilePositions += 1;
    return gf_reserveStand(stand.id, ctx.needed);
}

void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>& parked, uint32_t quota)
{
    if (quota < 1)
        return;
    const int32_t maxFit = gf_parametersSnapshot()->MAX_FIT;
    StandTable& table = gf_standTable();
    for (ParkedTrafficRecord& r : parked) {
        if (r.age > maxFit)
            return; // the list is sorted by age
        if (r.callsign.empty() || !gf_isModelCategoryIncluded(r.ids.model) || g_seen.hexids.contains(r.hexid))
            continue;

        StaticAircraft* kept = nullptr;
        for (StaticAircraft& st : gf_staticAircraftView())
            if (st.sim.staticSource == 0 && st.sim.parkedKey == r.hexid) {
                kept = &st;
                break;
            }
        if (kept) {
            if (lf_standTakenByStaticOrPlan(kept->stand.standId))
                return;
            kept->stand.keepStand = 1;
            if (gf_reserveStand(kept->stand.standId, quota))
                return;
            continue;
        }

        if (lf_isAircraftAlreadyPresent({r.registration, r.callsign, r.callsign}) || lf_isInSeenTraffic(r.callsign) ||
            lf_liveHasCallsignOrRegistration(r))
            continue;

        if (r.ids.airline == 0 || gf_airlineCodeText(r.ids.airline).empty()) {
            const std::optional<std::string> airline = gf_airlineFromCallsign(r.callsign);
            r.ids.airline = gf_airlineCode2Id(airline ? *airline : std::string("PVT"));
        }

        const AircraftBase base = AircraftBase::fromTrafficRecord(r);
        const LatLon position{r.lat, r.lon};
        Stand* stand = gf_standById(gf_findStandByGateText(table.stands, r.stand, position, gf_standFitQuery(base)));
        if (!stand) {
            double distanceM = 0.0;
            const Stand* nearest = gf_findNearestStand(table.stands, position, gf_standFitQuery(base), distanceM, true);
            stand = nearest ? gf_standById(nearest->id) : nullptr;
        }
        if (!stand || stand->blocked || stand->used)
            continue;

        ParkingPlanEntry entry;
        entry.rtParkedKey = r.hexid;
        entry.staticSource = 0;
        entry.standId = stand->id;
        entry.slotOffset = r.age;
        entry.ids = base.identity.ids;
        entry.callsign = r.callsign;
        entry.registration = r.registration;
        entry.keepsFirstCallsign = true;
        gf_parkingPlan().push_back(std::move(entry));
        if (gf_reserveStand(stand->id, quota))
            return;
    }
}

void gf_processRTParkedTraffic(uint32_t quota)
{
    const bool rtDirect = gf_isRTDirect();
    ParkedTrafficShare& share = gf_parkedTrafficOf(rtDirect ? TrafficSource::rtDirect : TrafficSource::rtApp);
    if (rtDirect) {
        if (!gf_takeParkedTrafficForRun())
            return;
    } else if (!share.received.load()) {
        return;
    }
    std::lock_guard lock(share.mutex);
    if (!rtDirect && share.list.empty())
        return;
    lf_ageParkedTraffic(share.list);
    if (gf_parametersSnapshot()->RT_PARKTRAFFIC_ONLY)
        lf_planRtParkedAircraft(share.list, quota);
}
