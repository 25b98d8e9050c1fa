// The parking plan: the static aircraft still to be created at stands of the
// user's airport, the other small lists of a parking run (the live aircraft
// that keep their stands and the static aircraft to be removed), the presence
// checks that keep one aircraft from being planned twice or beside a taken
// stand, and the two ways an entry is planned: from an airport-file stand
// option and from the RealTraffic parked list. Main task only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct StaticAircraft;
#include "liveries/model_database.h"
#include "stands/week_slot.h"

struct ParkedTrafficRecord;
struct SeenTraffic;
struct Stand;
struct StandOption;
class StandSearchIndex;

// A live aircraft that keeps its stand in a parking run.
struct LiveStayer {
    std::string callsign;
    std::string registration;
    uint64_t reserved = 0;
    int32_t standId = 0;
    int32_t minutesParked = 0;
};

// A static aircraft that a run removes: its callsign as shown (with its '*').
struct Removal {
    std::string callsign;
    int32_t standId = 0;
};

// The texts of a candidate aircraft.
struct AircraftIdentity {
    std::string_view registration;
    std::string_view callsign;
    std::string_view secondCallsign;
};

// The counters of one stand search.
struct ParkingSearchResult {
    int32_t rtParkPositions = 0;
    int32_t stayers = 0;
    int32_t airportFilePositions = 0;
};

// What a stand search hands to lf_planStaticAtStand for each stand.
struct StandSearchContext {
    uint8_t real = 1; // 1 = real options only, 0 = soft options only
    uint8_t day = 1;  // 1 = the option's weekday must be the searched one
    WeekSlot searched;
    WeekSlot now;
    int32_t offset = 0;
    ParkingSearchResult* result = nullptr;
    int64_t needed = 0; // the quota
    StandSearchIndex* index = nullptr; // the run's index, when the stand is of the stand table
};

std::vector<LiveStayer>& gf_liveStayers();
std::vector<Removal>& gf_removals();
// Empties the plan, the stayers and the removals.
void gf_clearParkingPlan();

// The traffic seen live since the readers started collecting, taken over by
// each run: the active reader is left with empty sets and stops collecting.
void lf_takeOverSeenTraffic();
const SeenTraffic& gf_parkingSeenTraffic();

// The text without one trailing '*'.
std::string_view lf_withoutStar(std::string_view text);
// The aircraft of the option still stands there in the half-hour after now:
// the option's own slot (same weekday), or from midnight on an option of the
// same aircraft kind for the next weekday.
bool lf_staysNextHalfHour(const Stand& stand, const StandOption& option, WeekSlot now);

// Another stand that a static aircraft (not being removed), a stayer or a
// plan entry holds lists this stand among its neighbours. False for ids below 1.
bool lf_standTakenByStaticOrPlan(int32_t standId);
// The aircraft exists or is already planned.
bool lf_isAircraftAlreadyPresent(const AircraftIdentity& identity);
// The text, or the text followed by '_', was seen as live traffic.
bool lf_isInSeenTraffic(std::string_view text);
bool lf_isLiveStayer(const AircraftIdentity& identity);
// Only an active static aircraft that keeps its stand can match.
bool lf_isStaticWithIdentity(const AircraftIdentity& identity, const StaticAircraft& aircraft);

// Plans one static aircraft from the stand's options; true when the quota is reached.
bool lf_planStaticAtStand(const StandSearchContext& context, Stand& stand);
// Plans static aircraft from the aged parked list (the caller holds its lock).
void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>& parked, uint32_t quota);
// Ages the active source's parked list and plans from it; in RT Direct mode
// only once the query asked before the run brought a list.
void gf_processRTParkedTraffic(uint32_t quota);
