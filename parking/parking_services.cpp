#include "parking/parking_services.h"

#include "engine/aircraft.h"
#include "engine/stand_services.h"
#include "parking/live_at_stands.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "stands/stand_fit.h"
#include "stands/stand_options.h"
#include "stands/stand_table.h"
#include "parking/static_placement.h"
#include "parking/user_collisions.h"
#include "engine/stand_use.h"

namespace {

const std::vector<Stand>& lf_tableStands()
{
    return gf_standTable().stands;
}

bool lf_liveExistsForGhostOf(const LiveAircraft& aircraft)
{
    return lf_liveExistsForUnderscoreCallsign(aircraft);
}

void lf_removeGhostOf(const LiveAircraft& aircraft)
{
    lf_removeGhostWithUnderscoreIfPresent(aircraft);
}

} // namespace

void gf_useParkingStandServices()
{
    StandServices s;
    s.gf_clearStandTable = gf_clearStandTable;
    s.gf_standCount = gf_standCount;
    s.gf_standTable = lf_tableStands;
    s.gf_standById = gf_standById;
    s.gf_standNameById = gf_standNameById;
    s.lf_isUserStandOrAdjacent = lf_isUserStandOrAdjacent;
    s.gf_findNearestStand = gf_findNearestStand;
    s.gf_liveStandHolder = gf_liveStandHolder;
    s.lf_canReserveStandForLive = lf_canReserveStandForLive;
    s.lf_checkStandIsNotUsedByOtherLiveAircraftSub = lf_checkStandIsNotUsedByOtherLiveAircraftSub;
    s.lf_parkedAtStandCollides = lf_parkedAtStandCollides;
    s.assignStand = assignStand;
    s.try2Park = try2Park;
    s.lf_liveExistsForUnderscoreCallsign = lf_liveExistsForGhostOf;
    s.lf_removeGhostWithUnderscoreIfPresent = lf_removeGhostOf;
    s.gf_systemTime100ns = gf_systemTime100ns;
    s.gf_addRealStandOption = gf_addRealStandOption;
    s.gf_clearParkingPlan = gf_clearParkingPlan;
    s.gf_parkingPlanSize = gf_parkingPlanSize;
    s.lf_placeStaticFromPlan = lf_placeStaticFromPlan;
    s.gf_enforceParkedLimit = gf_enforceParkedLimit;
    s.gf_heldForParkedLimit = gf_heldForParkedLimit;
    s.gf_releaseParkedLimitHold = gf_releaseParkedLimitHold;
    s.lf_userIsAirborne = lf_userIsAirborne;
    s.gf_checkUserAcGndCollisions = gf_checkUserAcGndCollisions;
    s.gf_isNearAnyRunway = gf_isNearAnyRunway;
    gf_setStandServices(s);
}
