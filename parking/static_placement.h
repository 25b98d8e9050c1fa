// Static aircraft placed from the parking plan, one per call (main task).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ParkingPlanEntry;

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
