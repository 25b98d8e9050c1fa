#include "engine/static_placement.h"

#include <fmt/format.h>

#include "core/log.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "engine/livery_choice.h"
#include "engine/live_at_stands.h"
#include "liveries/model_texts.h"
#include "stands/stand_table.h"

namespace {

ParkingPlan g_plan;

bool lf_holdsStand(FlightPhase phase)
{
    return phase == FlightPhase::pushing_back || phase == FlightPhase::pushed_back || phase == FlightPhase::parking ||
           phase == FlightPhase::parked;
}

// The first aircraft on the stand or on a stand that lists it among its
// neighbours: logs why the entry is not placed and answers true.
template <typename Range, typename Holds>
bool lf_standHeld(Range aircraft, Holds holds, const char* kind, const Stand& stand, const std::string& callsign)
{
    for (const AircraftBase& ac : aircraft) {
        if (!holds(ac) || !gf_isSameOrAdjacentStand(ac.stand.standId, stand.id))
            continue;
        if (ac.stand.standId == stand.id)
            gf_logLine(fmt::format("{:14}: no static parking for {}, {} aircraft {} standing here", stand.name,
                                   callsign, kind, ac.identity.callsign));
        else
            gf_logLine(fmt::format("{:14}: no static parking for {}, {} aircraft {} is adjacent at {}, possibly colliding",
                                   stand.name, callsign, kind, ac.identity.callsign, gf_standNameById(ac.stand.standId)));
        return true;
    }
    return false;
}

} // namespace

ParkingPlan& gf_parkingPlan()
{
    return g_plan;
}

size_t gf_parkingPlanSize()
{
    return g_plan.size();
}

void gf_clearPlannedStatics()
{
    g_plan.clear();
    g_plan.reserve(512);
}

bool gf_isModelCategoryIncluded(ModelId model)
{
    return gf_isCategoryIncluded(gf_modelCategory(gf_modelCode2Id(gf_modelCodeText(model))));
}

std::string lf_markStaticCallsign(std::string_view text)
{
    while (!text.empty() && text.back() == '_')
        text.remove_suffix(1);
    if (!text.empty() && text.back() == '*')
        return std::string(text);
    return fmt::format("{}{}", text, '*');
}

std::string lf_formatStaticCallsign(std::string_view airlineCode, uint32_t n)
{
    return fmt::format("{}{}{}", airlineCode, n, '*');
}

std::string lf_determineStaticCallsign(const ParkingPlanEntry& entry)
{
    const std::string& first = entry.keepsFirstCallsign ? entry.callsign : entry.secondCallsign;
    const std::string& other = entry.keepsFirstCallsign ? entry.secondCallsign : entry.callsign;
    const std::string& taken = first.empty() ? other : first;
    if (taken.empty()) {
        gf_logError(fmt::format("{} callsign is empty..", "lf_determineStaticCallsign"));
        return {};
    }
    return lf_markStaticCallsign(taken);
}

namespace {

void lf_placeEntry(const ParkingPlanEntry& entry)
{
    if (!gf_isModelCategoryIncluded(entry.ids.model))
        return;
    const Stand* stand = gf_standById(entry.standId);
    if (!stand) {
        gf_logError(fmt::format("stand with id {} not found", entry.standId));
        return;
    }
    AircraftStore& store = gf_trafficState().aircraft;
    const auto liveHolds = [](const AircraftBase& ac) { return lf_holdsStand(static_cast<const LiveAircraft&>(ac).phases.phase); };
    const auto staticHolds = [](const AircraftBase& ac) { return ac.sim.simState != SimState::removingfromsim; };
    if (lf_standHeld(store.live(), liveHolds, "live", *stand, entry.callsign) ||
        lf_standHeld(store.statics(), staticHolds, "static", *stand, entry.callsign))
        return;
    if (gf_liveStandHolder(stand->id, 0) != 0) {
        gf_logLine(fmt::format("{:14}: no static parking for {}, live aircraft occupies the stand", stand->name,
                               entry.callsign));
        return;
    }

    const uint32_t n = gf_nextStaticKey();
    TrafficIdentity head;
    head.ids = entry.ids;
    head.callsign = entry.callsign.empty() ? lf_formatStaticCallsign(gf_airlineCodeText(entry.ids.airline), n)
                                           : lf_determineStaticCallsign(entry);
    head.text1 = entry.callsign;
    head.text2 = entry.secondCallsign;
    head.registration = entry.registration;
    AircraftBase base = AircraftBase::fromTrafficRecord(head);
    base.identity.hexid = entry.rtParkedKey; // the static record keeps it as its parked-from key
    if (!gf_pickLiveryStaticAc(base, entry.callsign, entry.ids.cargo))
        return;

    StaticAircraft& st = store.addStatic(
        StaticAircraft(base, n, stand->id, {stand->lat, stand->lon, stand->heading}, stand->cargo != 0));
    st.sim.staticSource = entry.staticSource;
    st.sim.createdWeekSlot = gf_weekSlotBack(gf_weekSlotOfWord(weekdayHalfHourWord.load()), entry.slotOffset);
    gf_queueStaticCreation(st);
}

} // namespace

void lf_placeStaticFromPlan()
{
    ParkingPlan& plan = gf_parkingPlan();
    if (plan.empty())
        return;
    const ParkingPlanEntry entry = std::move(plan.back());
    plan.pop_back();
    try {
        lf_placeEntry(entry);
    } catch (...) {
        gf_reportTrafficException("lf_placeStaticFromPlan"); // e.g. every static key in use
    }
}
