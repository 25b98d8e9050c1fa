// The parking plan and its placement: the static aircraft that parking runs
// plan at stands of the user's airport wait here until the engine's pacing
// creates them, one per call. Parking runs fill, order and prune the plan;
// the engine takes from its end. Main task only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/model_database.h"

// One planned static aircraft.
struct ParkingPlanEntry {
    uint32_t rtParkedKey = 0;  // hexid of the parked traffic record; 0 for an airport-file entry
    uint32_t staticSource = 1; // 1 = airport-file option, 0 = parked traffic record
    int32_t standId = 0;
    // Airport file: half-hours back from now at which the option was found;
    // parked traffic: the record's age. The sort key of the plan.
    int32_t slotOffset = 0;
    AirlOprModel ids;
    std::string callsign;
    std::string secondCallsign; // departure callsign of a turnaround; may be empty
    std::string registration;
    bool keepsFirstCallsign = true; // false: the aircraft shows the second callsign
};
// Placed from the end: the entry with the largest offset goes first.
using ParkingPlan = std::vector<ParkingPlanEntry>;

// The plan still to be placed.
ParkingPlan& gf_parkingPlan();
// Entries still to be placed.
size_t gf_parkingPlanSize();
// Empties the plan.
void gf_clearPlannedStatics();

// The model's category is wanted by the settings (the code is interned again,
// so that a fixed type code counts as its target).
bool gf_isModelCategoryIncluded(ModelId model);

// Takes the last plan entry and queues the creation of its static aircraft,
// unless its stand or a neighbour is taken meanwhile. The entry is consumed
// either way.
void lf_placeStaticFromPlan();

// The callsign shown for an entry that has one (the second callsign when the
// entry does not keep its first one); empty with an error line when both are empty.
std::string lf_determineStaticCallsign(const ParkingPlanEntry& entry);
// Trailing '_' removed, then '*' appended unless the text already ends in one.
std::string lf_markStaticCallsign(std::string_view text);
// A made-up callsign: the airline code, n and '*'.
std::string lf_formatStaticCallsign(std::string_view airlineCode, uint32_t n);
