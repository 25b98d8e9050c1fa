#include "parking/stand_searches.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/for_parking.h"
#include "engine/static_placement.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "liveries/model_texts.h"
#include "stands/stand_fit.h"
#include "stands/stand_options.h"
#include "parking/stand_search_index.h"
#include "stands/stand_table.h"
#include "engine/stand_questions.h"
#include "stands/week_slot.h"

bool searchDirectionToggle = true;

namespace {

int64_t lf_usedStands()
{
    const std::vector<Stand>& stands = gf_standTable().stands;
    return std::count_if(stands.begin(), stands.end(), [](const Stand& s) { return s.used != 0; });
}

const char* lf_searchLabel(uint8_t day, uint8_t real)
{
    if (real)
        return day ? "real" : "real/week";
    return day ? "soft" : "soft/week";
}

void lf_logResults(const WeekSlot& now, uint8_t day, uint8_t real, int32_t needed, const ParkingSearchResult& r)
{
    gf_logLine(fmt::format("\nResults for {} search (total needed: {}):", lf_searchLabel(day, real), needed));
    if (r.rtParkPositions >= 1)
        gf_logLine(fmt::format("{} RT park position{}", r.rtParkPositions, r.rtParkPositions == 1 ? "" : "s"));
    if (r.stayers > 0)
        gf_logLine(fmt::format("{} live and/or static aircraft may stay (compliant with airport file info)", r.stayers));
    if (r.airportFilePositions > 0) {
        const auto params = gf_parametersSnapshot();
        const std::string reach =
            params->AUTO_PARK ? std::string("auto park")
                              : fmt::format(", with Max fit={:.1F} hours", (std::clamp(params->MAX_FIT, 0, 47) + 1) * 0.5);
        gf_logLine(fmt::format("{} airport file position{} {}{}", r.airportFilePositions,
                               r.airportFilePositions == 1 ? "" : "s", reach, fmt::format(", day {}", now.weekday)));
    }
}

// The mask has a bit among today's half-hours from now back `offset`, not
// before midnight.
bool lf_hasSlotWithin(const HalfHourMask& mask, const WeekSlot& now, int32_t offset)
{
    const int32_t last = static_cast<int32_t>(now.halfHour);
    for (int32_t s = last; s >= std::max(last - offset, 0); --s)
        if (mask.test(static_cast<size_t>(s)))
            return true;
    return false;
}

// Callsigns (as they stand and with '_') and registrations of the live aircraft.
struct LiveNames {
    std::unordered_set<std::string> callsigns;
    std::unordered_set<std::string> registrations;
};

LiveNames lf_liveNames()
{
    LiveNames names;
    for (const LiveAircraft& ac : gf_liveAircraftView()) {
        names.callsigns.insert(ac.identity.callsign);
        if (!ac.identity.registration.empty())
            names.registrations.insert(ac.identity.registration);
    }
    return names;
}

bool lf_liveUnderCallsignOrReg(const LiveNames& live, const ParkedTrafficRecord& record)
{
    return live.callsigns.contains(record.callsign) || live.callsigns.contains(record.callsign + "_") ||
           (!record.registration.empty() && live.registrations.contains(record.registration));
}

void lf_fixAirline(ParkedTrafficRecord& record)
{
    if (record.ids.airline != 0 && !gf_airlineCodeText(record.ids.airline).empty())
        return;
    const std::optional<std::string> airline = gf_airlineFromCallsign(record.callsign);
    record.ids.airline = gf_airlineCode2Id(airline ? *airline : std::string("PVT"));
}

// One pass over the stands that the index still has open for the kind and
// whose options cover the searched half-hour, in table order or reversed;
// the stands that no later pass can use are closed after it.
bool lf_searchOpenStands(const StandSearchContext& context, StandSearchIndex& index, bool forward)
{
    std::vector<Stand>& stands = gf_standTable().stands;
    const std::vector<uint32_t>& open = index.open(context.real);
    bool full = false;
    for (size_t k = 0; k < open.size() && !full; ++k) {
        const uint32_t p = forward ? open[k] : open[open.size() - 1 - k];
        full = index.covers(p, context.real, context.day, context.searched) &&
               lf_planStaticAtStand(context, stands[p]);
    }
    index.closeFinished(context.real);
    return full;
}

enum class RecordOutcome { Next, EndTrue, EndFalse };

RecordOutcome lf_searchRtParkedRecord(ParkedTrafficRecord& record, const LiveNames& live, ParkingSearchResult& result,
                                      int32_t needed)
{
    if (!gf_isCategoryIncluded(gf_modelCategory(record.ids.model)) || gf_parkingSeenTraffic().hexids.contains(record.hexid))
        return RecordOutcome::Next;
    for (StaticAircraft& s : gf_staticAircraftView()) {
        if (s.sim.parkedKey == 0 || s.sim.parkedKey != record.hexid)
            continue;
        const Stand* stand = gf_standById(s.stand.standId);
        if ((stand && stand->used) || lf_standTakenByStaticOrPlan(s.stand.standId))
            return RecordOutcome::EndTrue;
        s.stand.keepStand = 1;
        result.stayers += 1;
        return gf_reserveStand(s.stand.standId, needed) ? RecordOutcome::EndTrue : RecordOutcome::Next;
    }
    if (lf_isAircraftAlreadyPresent({record.registration, record.callsign, record.callsign}) ||
        lf_isInSeenTraffic(record.callsign) || lf_liveUnderCallsignOrReg(live, record))
        return RecordOutcome::Next;
    lf_fixAirline(record);
    const AircraftBase aircraft = AircraftBase::fromTrafficRecord(record);
    const std::vector<Stand>& stands = gf_standTable().stands;
    const LatLon position{record.lat, record.lon};
    int32_t standId = gf_findStandByGateText(stands, record.stand, position, gf_standFitQuery(aircraft));
    if (standId == 0) {
        double distanceM = 0.0;
        if (const Stand* nearest = gf_findNearestStand(stands, position, gf_standFitQuery(aircraft), distanceM, true))
            standId = nearest->id;
    }
    const Stand* stand = gf_standById(standId);
    if (!stand || stand->blocked || stand->used)
        return RecordOutcome::Next;
    if (lf_standTakenByStaticOrPlan(standId))
        return RecordOutcome::EndFalse;
    gf_parkingPlan().push_back(ParkingPlanEntry{record.hexid, 0, standId, record.age, aircraft.identity.ids, record.callsign,
                                                std::string(), record.registration, true});
    result.rtParkPositions += 1;
    return gf_reserveStand(standId, needed) ? RecordOutcome::EndTrue : RecordOutcome::Next;
}

} // namespace

WeekSlot lf_weekSlotNow()
{
    const WeekSlot now = gf_currentWeekSlot();
    gf_logLine(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_trafficClockText(), now.weekday,
                           gf_weekdayName(static_cast<int>(now.weekday)),
                           (std::clamp(static_cast<int32_t>(now.halfHour), 0, 47) + 1) * 0.5));
    return now;
}

void lf_runStandSearches(WeekSlot now, int32_t needed)
{
    const auto params = gf_parametersSnapshot();
    std::optional<StandSearchIndex> built;
    if (gf_standSearchIndexEnabled())
        built.emplace();
    StandSearchIndex* index = built ? &*built : nullptr;
    gf_setParkedFromRTOnly(false);
    lf_searchByKind(now, 1, 1, needed, index);
    if (lf_usedStands() < needed && (params->AUTO_PARK || params->WEEK)) {
        lf_searchByKind(now, 0, 1, needed, index);
        gf_setParkedFromRTOnly(true);
    }
    if (gf_standTable().softOptionCount <= 0)
        return;
    if (lf_usedStands() < needed && (params->AUTO_PARK || params->PARK_SOFT))
        lf_searchByKind(now, 1, 0, needed, index);
    if (lf_usedStands() < needed && (params->AUTO_PARK || (params->PARK_SOFT && params->WEEK)))
        lf_searchByKind(now, 0, 0, needed, index);
}

void lf_searchByKind(const WeekSlot& now, uint8_t day, uint8_t real, int32_t needed, StandSearchIndex* index)
{
    if (needed == 0)
        return;
    const auto params = gf_parametersSnapshot();
    const int32_t lastOffset = params->AUTO_PARK ? kSlotsPerDay - 1 : std::clamp(params->MAX_FIT, 0, 47);
    const bool realSearch = day == 1 && real == 1;
    ParkingSearchResult result;
    for (int32_t offset = 0; offset <= lastOffset; ++offset) {
        if (realSearch) {
            bool done = false;
            if (offset == 0) {
                for (int32_t mode = 0; mode <= 3 && !done; ++mode)
                    done = lf_searchRtParkPositions(mode, result, needed);
            } else if (offset >= 4) {
                done = lf_searchRtParkPositions(offset, result, needed);
            }
            if (done)
                break;
        }
        if (gf_staticAircraftView().size() > 0 &&
            lf_keepCompliantStatics(now, offset, day == 0, result, needed, index))
            break;
        if (lf_searchStands(now, offset, day, real, result, needed, index))
            break;
    }
    lf_logResults(now, day, real, needed, result);
}

bool lf_searchStands(const WeekSlot& now, int32_t offset, uint8_t day, uint8_t real, ParkingSearchResult& result,
                     int32_t needed, StandSearchIndex* index)
{
    const WeekSlot searched = gf_weekSlotBack(now, offset);
    const bool forward = searchDirectionToggle;
    searchDirectionToggle = !searchDirectionToggle;
    try {
        const StandSearchContext context{real, day, searched, now, offset, &result, needed, index};
        std::vector<Stand>& stands = gf_standTable().stands;
        if (index)
            return lf_searchOpenStands(context, *index, forward);
        if (forward) {
            for (Stand& s : stands)
                if (lf_planStaticAtStand(context, s))
                    return true;
        } else {
            for (auto it = stands.rbegin(); it != stands.rend(); ++it)
                if (lf_planStaticAtStand(context, *it))
                    return true;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                                fmt::format("[{},{}]", now.weekday, now.halfHour), offset, e.what()));
    }
    return false;
}

bool lf_keepCompliantStatics(const WeekSlot& now, int32_t offset, bool anyWeekday, ParkingSearchResult& result,
                             int32_t needed, StandSearchIndex* index)
{
    for (StaticAircraft& ac : gf_staticAircraftView()) {
        // Statics from the airport file carry no RealTraffic parked key.
        if (ac.sim.simState != SimState::active || !gf_isCategoryIncluded(ac.identity.category) ||
            ac.sim.parkedKey != 0 || ac.stand.keepStand)
            continue;
        Stand* stand = gf_standById(ac.stand.standId);
        if (!stand || stand->used)
            continue;
        if (index ? index->heldByNeighbour(ac.stand.standId) : lf_standTakenByStaticOrPlan(ac.stand.standId))
            return false;
        // Both checks are free of side effects: the cheap one first.
        const bool complies = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
            return o.optionId != 0 && (anyWeekday || o.weekday == now.weekday) && lf_matchesStandOption(gf_standUser(ac), o) &&
                   lf_hasSlotWithin(o.halfHours, now, offset);
        });
        const std::string_view flight = lf_withoutStar(ac.identity.callsign); // presence checks ignore the '*'
        if (!complies || lf_isAircraftAlreadyPresent({ac.identity.registration, flight, flight}))
            continue;
        ac.stand.keepStand = 1;
        result.stayers += 1;
        if (gf_reserveStand(ac.stand.standId, needed))
            return true;
    }
    return false;
}

bool lf_searchRtParkPositions(int32_t mode, ParkingSearchResult& result, int32_t needed)
{
    std::optional<LiveNames> live; // gathered once a record of this age needs them
    ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp);
    std::lock_guard lock(share.mutex);
    for (ParkedTrafficRecord& record : share.list) {
        if (record.age != mode || record.callsign.empty())
            continue;
        if (!live)
            live = lf_liveNames();
        switch (lf_searchRtParkedRecord(record, *live, result, needed)) {
        case RecordOutcome::Next: break;
        case RecordOutcome::EndTrue: return true;
        case RecordOutcome::EndFalse: return false;
        }
    }
    return false;
}
