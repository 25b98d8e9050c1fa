#include "engine/stand_questions.h"

#include "engine/aircraft.h"
#include "stands/stand_table.h"

StandFitQuery gf_standFitQuery(const AircraftBase& aircraft)
{
    return {aircraft.identity.category, aircraft.identity.radius, aircraft.identity.standSearchNm, aircraft.identity.optionSearchNm, aircraft.identity.callsign,
            aircraft.identity.ids};
}

StandUser gf_standUser(const AircraftBase& aircraft)
{
    return {aircraft.identity.registration, aircraft.identity.callsign, aircraft.identity.category, aircraft.identity.ids};
}

bool gf_standSuitsAircraft(const Stand& stand, const AircraftBase& aircraft)
{
    return gf_standSuitsAircraft(stand, gf_standFitQuery(aircraft));
}

void gf_recordRealStandUse(int32_t standId, LiveAircraft& aircraft, int occasion)
{
    if (const std::optional<AirlOprModel> learned = gf_addRealStandOption(standId, gf_standUser(aircraft), occasion))
        aircraft.identity.ids = *learned;
}

void gf_adoptStandOptionNames(const std::vector<Stand>& stands, const WeekSlot& now, LiveAircraft& aircraft)
{
    if (const StandOption* o = lf_findStandOptionNames(stands, now, gf_standUser(aircraft))) {
        aircraft.identity.callsign2 = o->callsign;
        aircraft.identity.callsign3 = o->callsign2;
    }
}

void gf_adoptStandOptionNames(int64_t weekdayAndHalfHour, LiveAircraft& aircraft)
{
    const WeekSlot now = gf_weekSlotOfWord(weekdayAndHalfHour);
    if (now.weekday == 0)
        return;
    gf_adoptStandOptionNames(gf_standTable().stands, now, aircraft);
}
