// The plan of static parked aircraft.
#pragma once

#include <cstdint>
#include <vector>

struct ParkedTrafficRecord;

// Plans static parked aircraft from the aged RealTraffic parked list within
// the quota (called with the reader's parked mutex held).
void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>& parked, uint32_t quota);

#include <cstddef>

// Entries of the plan (none yet) and its emptying at shutdown.
size_t gf_parkingPlanSize();
void gf_clearParkingPlan();

// ---- The plan's side of the stand searches ----
#include <string_view>

#include "engine/aircraft.h"
#include "parking/stand.h"

// The counters of one stand search.
struct ParkingSearchResult {
    int32_t rtParkPositions = 0;      // RealTraffic park positions planned
    int32_t stayers = 0;              // live and static aircraft kept on their stands
    int32_t airportFilePositions = 0; // airport-file positions planned
};
// What one pass of a stand search hands to the plan for each stand.
struct StandSearchContext {
    uint8_t real = 1;    // real options only (0: soft only)
    uint8_t day = 1;     // options of the searched weekday only
    WeekSlot searched;   // the half-hour searched
    WeekSlot now;
    int32_t offset = 0;  // half-hours back from now
    ParkingSearchResult* result = nullptr;
    int64_t needed = 0;  // the quota
};
// Plans one static aircraft from the stand's options; true when the quota is
// reached.
bool lf_planStaticAtStand(const StandSearchContext& context, Stand& stand);
// The stand or a stand it excludes is held by a static aircraft, a live
// stayer or a plan entry.
bool lf_standTakenByStaticOrPlan(int32_t standId);
// The identity of a candidate aircraft.
struct AircraftIdentity {
    std::string_view registration;
    std::string_view callsign;
    std::string_view secondCallsign;
};
// The aircraft exists already or is planned already.
bool lf_isAircraftAlreadyPresent(const AircraftIdentity& identity);
// The text, or the text followed by '_', was seen as live traffic.
bool lf_isInSeenTraffic(std::string_view text);
// The hexid was seen as live traffic.
bool lf_isInSeenTrafficHexids(uint32_t hexid);
// Appends the plan entry of a RealTraffic parked aircraft on the stand.
void lf_appendRtParkedPlanEntry(const ParkedTrafficRecord& record, const AircraftBase& aircraft, int32_t standId);
