// The stand searches of a parking run: back from now one half-hour at a
// time, they plan static aircraft where the airport file's options say real
// aircraft stood at this time of the week (or of any weekday), keep static
// aircraft that still fit, and take RealTraffic's parked aircraft, until the
// quota of used stands is reached. Main task only.
#pragma once

#include <cstdint>

#include "parking/parking_plan.h"
#include "stands/week_slot.h"

class StandSearchIndex;

// Flipped by every pass over the stand table: passes alternate between first
// to last and last to first, across runs and airports.
extern bool searchDirectionToggle;

// The published week slot of now, logged with the traffic clock.
WeekSlot lf_weekSlotNow();
// The searches of one run: "real", then as the settings allow "real/week",
// "soft" and "soft/week" (the soft ones only when the airport file has soft
// options), each while fewer than `needed` stands are used.
void lf_runStandSearches(WeekSlot now, int32_t needed);
// One search over the offsets 0 .. 47 (auto park) or 0 .. MAX_FIT, with its
// results logged; nothing for a quota of 0. With the run's index the passes
// visit only the stands that can take an option of the kind.
void lf_searchByKind(const WeekSlot& now, uint8_t day, uint8_t real, int32_t needed,
                     StandSearchIndex* index = nullptr);
// One pass over the stand table for the half-hour `offset` back from now;
// true when the quota is reached.
bool lf_searchStands(const WeekSlot& now, int32_t offset, uint8_t day, uint8_t real, ParkingSearchResult& result,
                     int32_t needed, StandSearchIndex* index = nullptr);
// Keeps the static aircraft from the airport file whose stand still has a
// matching option within the last `offset` half-hours of today; true when the
// quota is reached.
bool lf_keepCompliantStatics(const WeekSlot& now, int32_t offset, bool anyWeekday, ParkingSearchResult& result,
                             int32_t needed, StandSearchIndex* index = nullptr);
// Plans the RealTraffic parked aircraft of age `mode` of the active feed;
// true when the quota is reached or a kept aircraft's stand is taken.
bool lf_searchRtParkPositions(int32_t mode, ParkingSearchResult& result, int32_t needed);
