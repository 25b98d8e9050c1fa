// The facility data reader: a second, short-lived SimConnect connection named
// "PARKING_DATA_RDR" that reads an airport's stands, helipads and runways.
// Each read blocks its calling thread until the data is complete, fails or
// times out (30 s for stands, 10 s for runways), and ends early when the
// program stops.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "airports/runway.h"
#include "airports/stand.h"

struct ScannedAirport;
struct SIMCONNECT_RECV;

// ---- Connection ----

// Opens the connection and adds the stand definition unless open already.
bool lf_openParkingReader();
// Closes the connection when it is open.
void gf_closeParkingReader();
// True while the connection is open.
bool gf_isParkingReaderOpen();

// ---- Stands and helipads ----

// What one stand read collects.
struct StandReadContext {
    std::string airportCode;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitudeFt = 0.0;
    std::string name;
    std::vector<Stand> stands;
    bool done = false;
    bool failed = false;
};

// Reads the stands and helipads of one airport into `airport`; the number of
// helipads goes to `helipadCount`. False when nothing could be read (the
// connection is then closed). An airport code that is not a valid ICAO code
// throws std::invalid_argument after a successful read.
bool gf_readFacilityStands(std::string_view airportCode, std::string_view ident, std::string_view region,
                           ScannedAirport& airport, int& helipadCount);
// Dispatch procedure of the stand read (context: StandReadContext).
void lf_onParkingDispatch(SIMCONNECT_RECV* packet, uint32_t cbData, void* context);
// One facility record of the stand read (the whole packet).
void onRecvFacilityData(StandReadContext& context, const void* packet, uint32_t cbData);
// Names the helipads "HELIPAD 1", ... in order and fills the airport; returns
// the number of helipads.
int lf_finishStandRead(StandReadContext& context, ScannedAirport& airport);

// ---- Runways ----

struct FacilityRunways {
    double airportAltitude = 0.0; // feet
    std::vector<RunwayRecord> runways;
};

struct RunwayStartEntry {
    RunwayStart start;
    int32_t number = 0;
    int32_t designator = 0;
};

struct RunwayReadContext {
    std::vector<RunwayRecord> runways;
    std::vector<RunwayStartEntry> starts;
    std::unordered_map<uint32_t, size_t> runwayIndexByRequest;
    std::unordered_map<uint32_t, int> thresholdCount;
    int32_t advertisedRunways = -1;
    int32_t advertisedStarts = -1;
    double altitudeFt = std::numeric_limits<double>::quiet_NaN();
    bool done = false;
    bool failed = false;
};

// The runways and runway starts of one airport, checked for completeness and
// plausibility; no value on any failure.
std::optional<FacilityRunways> gf_readFacilityRunways(std::string_view icao);
// "09L", "S", "#50(9)": the text of a runway end.
std::string gf_runwayIdText(uint32_t number, int32_t designator);
void lf_onRunwayDispatch(SIMCONNECT_RECV* packet, uint32_t cbData, void* context);
void lf_onRecvRunwayData(RunwayReadContext& context, const void* packet, uint32_t cbData);
// Steps after a complete read: starts attached to their runway ends, then
// the airport altitude, the counts and every runway checked.
std::optional<FacilityRunways> lf_finishRunwayRead(std::string_view icao, RunwayReadContext& context);

// ---- Waits ----

// Tests shorten the waits (nanoseconds); 0 restores 30 s and 10 s.
void gf_setFacilityWaitsForTest(int64_t standsNs, int64_t runwaysNs);
