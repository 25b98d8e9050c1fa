// What the engine asks of the parking side: the stands of the current airport,
// the live aircraft at them, stand options, parking runs and limits, and the
// user aircraft's collisions. The parking side sits above the engine and
// registers its functions as the main task starts (gf_useParkingStandServices);
// each member carries the name of the function it stands for. Main task only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/value_types.h"
#include "airports/stand.h"

struct AircraftBase;
struct LiveAircraft;

struct StandServices {
    // ---- The stand table ----
    void (*gf_clearStandTable)() = nullptr;
    size_t (*gf_standCount)() = nullptr;
    // The stands of the table, in id order.
    const std::vector<Stand>& (*gf_standTable)() = nullptr;
    Stand* (*gf_standById)(int32_t id) = nullptr;
    std::string (*gf_standNameById)(int32_t id) = nullptr;
    bool (*lf_isUserStandOrAdjacent)(const Stand& stand) = nullptr;
    const Stand* (*gf_findNearestStand)(const std::vector<Stand>& stands, const LatLon& position,
                                        const AircraftBase& aircraft, double& distanceM,
                                        bool allowOptionFallback) = nullptr;

    // ---- Live aircraft at the stands ----
    int (*gf_liveStandHolder)(int32_t standId, uint32_t hexid) = nullptr;
    bool (*lf_canReserveStandForLive)(int32_t standId, uint32_t hexid) = nullptr;
    bool (*lf_checkStandIsNotUsedByOtherLiveAircraftSub)(int32_t standId, LiveAircraft& candidate) = nullptr;
    bool (*lf_parkedAtStandCollides)(const LiveAircraft& other, int32_t standId, const LiveAircraft& candidate,
                                     const Stand& target) = nullptr;
    void (*assignStand)(LiveAircraft& aircraft, const Stand& stand) = nullptr;
    void (*try2Park)(LiveAircraft& aircraft) = nullptr;
    bool (*lf_liveExistsForUnderscoreCallsign)(const LiveAircraft& aircraft) = nullptr;
    void (*lf_removeGhostWithUnderscoreIfPresent)(const LiveAircraft& aircraft) = nullptr;
    // The parked-since clock (100 ns units).
    int64_t (*gf_systemTime100ns)() = nullptr;

    // ---- Stand options ----
    void (*gf_addRealStandOption)(int32_t standId, LiveAircraft& aircraft, int occasion) = nullptr;

    // ---- The parking plan, runs and limits ----
    void (*gf_clearParkingPlan)() = nullptr;
    size_t (*gf_parkingPlanSize)() = nullptr;
    void (*lf_placeStaticFromPlan)() = nullptr;
    void (*gf_enforceParkedLimit)(uint8_t extra) = nullptr;
    bool (*gf_heldForParkedLimit)(uint32_t hexid, int32_t standId) = nullptr;
    void (*gf_releaseParkedLimitHold)(uint32_t hexid) = nullptr;

    // ---- The user aircraft ----
    bool (*lf_userIsAirborne)() = nullptr;
    void (*gf_checkUserAcGndCollisions)() = nullptr;
    bool (*gf_isNearAnyRunway)(const LatLon& position) = nullptr;
};

// Makes `services` the registered ones (every member set); returns the ones before.
StandServices gf_setStandServices(const StandServices& services);
// The registered services. Throws std::logic_error while none are registered:
// the engine has no stands of its own to fall back on.
const StandServices& gf_standServices();
