// The stand questions asked for an aircraft record: the few values of the
// record that the stands look at, and the stand functions over the record. A
// live aircraft takes the airline, operator and model that its stand's
// options learn, and the callsigns that an option gives it. Main task only.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/value_types.h"
#include "airports/stand.h"
#include "stands/stand_fit.h"
#include "stands/stand_options.h"
#include "stands/week_slot.h"

struct AircraftBase;
struct LiveAircraft;

// The record's category, radius, search distances, callsign and ids; the
// callsign is a view of the record's own.
StandFitQuery gf_standFitQuery(const AircraftBase& aircraft);
// The record's registration, callsign, category and ids (views of the record's own).
StandUser gf_standUser(const AircraftBase& aircraft);

bool gf_standSuitsAircraft(const Stand& stand, const AircraftBase& aircraft);

// Records the stand use in the stand's options; the aircraft then carries the
// database's airline, operator and model when its registration is known.
void gf_recordRealStandUse(int32_t standId, LiveAircraft& aircraft, int occasion);

// Gives the aircraft the two callsigns of the option lf_findStandOptionNames
// finds; nothing when none.
void gf_adoptStandOptionNames(const std::vector<Stand>& stands, const WeekSlot& now, LiveAircraft& aircraft);
// The same over the stand table, with the published week-slot word.
void gf_adoptStandOptionNames(int64_t weekdayAndHalfHour, LiveAircraft& aircraft);
