// Parking runs and limits: which stands of the user's airport carry static
#include "stands/week_slot.h"
// aircraft. The first run follows the loading of the airport, later runs the
// parking countdown or the user's request; between runs the number of parked
// aircraft is kept within the quota. Main task only.
#pragma once

#include <cstdint>

struct StaticAircraft;

struct Parameters;

// The first run after an airport was loaded.
void gf_buildParkingPlan();
// A later run; with renewAll every active airport-file static aircraft is
// listed for removal first.
void gf_adjustParking(bool renewAll);

// Advances the engine clock by the time a parking run took: nothing below
// 5 ms, else (ms + 5) / 10 ticks. Returns the ticks added.
int32_t gf_catchUpEngineClock(int64_t elapsedMs);

// The quota of a run, kept in the stand table and shown in the window: the
// percentage of the stands, or with RT_PARKTRAFFIC_ONLY MAX_PARK_SEL capped at
// the number of stands.
int32_t gf_parkingRunQuota(const Parameters& params);
// That quota alone, neither kept nor shown.
int32_t gf_parkingRunQuotaFor(const Parameters& params);
// Blocks the user's reserved stand and the stand under the user aircraft for
// static aircraft.
void lf_blockUserStands();

// Lists the static aircraft for removal unless its callsign is listed already.
void lf_addRemoval(const StaticAircraft& aircraft, int32_t standId);
// Removes the listed static aircraft and empties the list.
void lf_removeRemovals();
// Turnarounds: an active airport-file static aircraft that keeps its stand
// and whose option shows a departure callsign is planned again under it once
// its option ends within the half-hour.
void lf_planDepartureCallsigns(WeekSlot now);
// Drops the removal and plan entry pairs that would put the same aircraft
// back on the same stand.
void lf_dropUnchangedReplacements();

// Rebuilds the stayer list; aircraft parked too long are removed instead.
void lf_collectLiveStayers();
