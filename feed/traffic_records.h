// Traffic records: one received sample of a live aircraft or one parked
// aircraft, and the one conversion from the raw values of either traffic
// source into a record, with the rules that decide which aircraft are wanted.
// Also the seen-traffic collections and the parked lists that each traffic
// reader shares with the parking code.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "airports/airport_database.h"
#include "core/settings_snapshot.h"
#include "core/value_types.h"
#include "liveries/model_database.h"

// The head shared by both record kinds; aircraft records copy exactly this.
struct TrafficIdentity {
    AirlOprModel ids;
    IataCode origin;      // zero when unknown
    IataCode destination; // zero when unknown
    uint8_t flag = 0;
    std::string callsign;
    std::string text1; // empty when received
    std::string text2; // empty when received
    std::string registration;
};

// One received sample of one airborne or moving aircraft.
struct LiveTrafficRecord : TrafficIdentity {
    double lat = 0.0;
    double lon = 0.0;
    double altitude = 0.0; // feet after the QNH correction; 0 = on the ground
    double groundSpeed = 0.0;   // knots
    double track = 0.0;         // degrees
    double verticalSpeed = 0.0; // feet per minute
    double tas = 0.0;           // knots
    int32_t playTime = 0;       // engine clock (10 ms) at which the sample is due
    uint8_t airborne = 0;
    uint8_t spare1 = 0;
    uint8_t hasTrueHeading = 0;
    uint8_t spare2 = 0;
    std::optional<double> bank;        // radians
    std::optional<double> trueHeading; // radians, (0, 2*pi]
    double timestamp = 0.0;            // seconds since 1970 UTC, as received
    uint32_t hexid = 0;
};

// The model id of a report that carries no aircraft type (the id of the
// empty code): the engine takes the type of the aircraft it already knows by
// the hexid, or drops the report.
inline constexpr ModelId kNoModel = 0;
// The model id of a report whose type is new while the model table is full:
// still a type (never kNoModel), one that no interned code has, so it is
// treated like any type the model database does not know.
inline constexpr ModelId kUnlistedModel = 0xFFFF;
static_assert(g_maxInternedCodes <= kUnlistedModel);
inline bool gf_isTypeMissing(const LiveTrafficRecord& record)
{
    return record.ids.model == kNoModel;
}

// One parked aircraft.
struct ParkedTrafficRecord : TrafficIdentity {
    double lat = 0.0;
    double lon = 0.0;
    uint32_t hexid = 0;
    int32_t slot = -1; // UTC half-hour slot 0..47 of the report; -1 = unknown
    std::string stand;
    // Age in half-hours, set by lf_ageParkedTraffic (which leaves slot as
    // received, so a list can be aged again); -1 until then.
    int32_t age = -1;
};

// The raw values of one live aircraft; texts view the received data.
struct ParsedTrafficFields {
    double timestamp = 0.0;
    uint32_t hexid = 0;
    double lat = 0.0;
    double lon = 0.0;
    double altitude = 0.0;
    double verticalSpeed = 0.0;
    double track = 0.0;
    double groundSpeed = 0.0;
    double trueHeading = 0.0;
    double roll = 0.0;
    double tas = -1.0; // -1 = unknown
    std::string_view callsign{};
    std::string_view type{};
    std::string_view registration{};
    std::string_view origin{};
    std::string_view destination{};
    std::string_view source{};
    std::string_view category{};
    std::string_view airline{};
    std::string_view squawk{};
};

struct ParkedTrafficFields {
    uint32_t hexid = 0;
    double lat = 0.0;
    double lon = 0.0;
    int64_t time = 0; // whole seconds since 1970 UTC
    std::string_view callsign{};
    std::string_view type{};
    std::string_view registration{};
    std::string_view stand{};
};

// The reader a batch of traffic came from.
enum class TrafficSource : uint32_t {
    none = 0,
    rtApp = 1,
    rtDirect = 2,
};

// What a decoder passes with every record of one batch: everything the
// conversion reads of the rest of the program, taken once for the batch.
struct TrafficConversionContext {
    double userLat = 0.0;
    double userLon = 0.0;
    double cosUserLat = 1.0;
    std::optional<double> airportAltitude; // feet
    int32_t qnh = 1013;
    TrafficSource sourceTag = TrafficSource::none;
    const Parameters* settings = nullptr; // none = nothing is converted
    bool rtDirect = false;                // the feed mode of the batch
    // The user aircraft's true minus its indicated altitude, feet.
    double userAltimeterErrorFt = 0.0;
    // The airport where the user is (code 0 = none): ground traffic is
    // wanted only near it.
    CurrentAirportRecord airport;
    bool collectSeen = false;
    bool groundSquawkCheck = false;
    bool earlySeen = false;
};

// The feed mode, the user aircraft's altimeter error and the current airport
// as they are now, into the context: a decoder takes them once per batch.
void gf_takeProgramState(TrafficConversionContext& context);

struct SeenTrafficEntry {
    std::string callsign;
    uint32_t hexid = 0;
};

struct TrafficConversionResult {
    uint64_t timestamp = 0; // rounded
    std::optional<LiveTrafficRecord> record;
    std::optional<SeenTrafficEntry> seen;
};

struct LaloTimeCheck {
    uint64_t timestamp = 0;
    bool inRange = false;
};

// ---- Conversions --------------------------------------------------------------

// Throws std::runtime_error for a bad time stamp, position or true heading;
// every unwanted aircraft gives no record. A report without a type gives a
// record with kNoModel.
TrafficConversionResult gf_makeLiveTrafficRecord(const ParsedTrafficFields& fields,
                                                 const TrafficConversionContext& context);
// The conversion after the range and time check, which the caller made and
// found in range, into a default-constructed record that the caller placed
// where it is to be kept: true when the aircraft is wanted. `seen` gets the
// seen entry, if any. Throws as above.
bool gf_fillLiveTrafficRecord(const ParsedTrafficFields& fields, const TrafficConversionContext& context,
                              LiveTrafficRecord& record, std::optional<SeenTrafficEntry>& seen);
// Throws std::runtime_error "lalo: {}" for an invalid position.
std::optional<ParkedTrafficRecord> gf_makeParkedTrafficRecord(const ParkedTrafficFields& fields);

LaloTimeCheck lf_checkLaloAndTime(const ParsedTrafficFields& fields, const TrafficConversionContext& context);
// The one hexid rule of both feeds: digits of the base only (no sign, no
// prefix, leading zeros allowed) whose value fits 32 bits.
std::optional<uint32_t> gf_parseHexid(std::string_view text, int base);
// The message type of a position from the aircraft's own ADS-B: "adsb_icao",
// also with a provider's prefix ("F_adsb_icao").
bool gf_isAdsbIcaoSource(std::string_view source);
std::string lf_normalizeCallsign(std::string_view text);
std::string lf_fixModelCode(std::string_view text);
// Three letters or digits; anything else ("null", empty, malformed) is a zero code.
IataCode lf_iataFromField(std::string_view text);
bool lf_isAcceptedType(std::string_view type, std::string_view category);
bool gf_isExcludedTypeCode(std::string_view text);
// False when the record is the blocked aircraft; follows a blocked aircraft
// whose identity changes by publishing an updated filter.
bool lf_passesBlockFilter(const LiveTrafficRecord& record, const BlockFilter& filter);
// Corrects record.altitude for the QNH and the user's altimeter; puts
// aircraft just above the airport on the ground. rtDirect: the record comes
// from RT Direct; userAltimeterErrorFt: the user aircraft's true minus its
// indicated altitude, feet. Always true.
bool gf_qnhAltitudeCorrection(LiveTrafficRecord& record, std::optional<double> airportAltitude, int32_t qnh,
                              bool rtDirect, double userAltimeterErrorFt);

// ---- Seen traffic and parked lists ---------------------------------------------

struct SeenTraffic {
    std::unordered_set<std::string> callsigns;
    std::unordered_set<uint32_t> hexids;
};

// The seen-traffic collection of one traffic reader under its own mutex.
class SeenTrafficCollector {
public:
    // Adds the entry when collection is on once the mutex is held.
    void add(const SeenTrafficEntry& entry);
    // Empties the sets and switches collection on.
    void reset();
    // Empties the sets and switches collection off.
    void clear();
    // Switches collection off and exchanges the sets with `other`.
    void takeOver(SeenTraffic& other);
    bool collecting() const { return collect.load(); }
    SeenTraffic copy() const;

private:
    mutable std::mutex mutex;
    SeenTraffic seen;
    std::atomic<bool> collect{false};
};

// The published parked list of one traffic reader under its parked mutex.
struct ParkedTrafficShare {
    std::mutex mutex;
    std::vector<ParkedTrafficRecord> list;
    // RT App: the end of parked traffic came since the last parked request.
    std::atomic<bool> received{false};
};

// By source tag: 1 = RT App, 2 = RT Direct.
SeenTrafficCollector& gf_seenTrafficOf(TrafficSource source);
ParkedTrafficShare& gf_parkedTrafficOf(TrafficSource source);
// The RT Direct traffic reader's parked query, in three steps of the main
// task, none of which waits: post (false: nothing was asked), settled (the
// answer is in, or the query failed or was given up) and take (true when a
// parked list was fetched; taken once).
struct RTDirectParkedQuery {
    bool (*post)();
    bool (*settled)();
    bool (*take)();
};
// The reader registers its query; nullptr forgets it.
void gf_setRTDirectParkedQuery(const RTDirectParkedQuery* query);
// A parking run plans from the active source's parked traffic. In RT Direct
// mode that is asked for before the run: true when a query went out, and the
// run is to wait until gf_parkedTrafficForRunSettled, on later ticks of the
// main task. False (RT App mode, no airport, no reader): the run may go now.
bool gf_askParkedTrafficForRun();
bool gf_parkedTrafficForRunSettled();
// RT Direct: true once the query asked before the run brought a list, which
// is then taken; false without a query.
bool gf_takeParkedTrafficForRun();

// Ages the list (slot -> age), drops records without callsign, too old ones
// and the older duplicates of a stand or callsign; youngest first.
void lf_ageParkedTraffic(std::vector<ParkedTrafficRecord>& parked);
void lf_ageParkedTraffic(std::vector<ParkedTrafficRecord>& parked, int nowSlot);
// Empties the active source's seen traffic and switches collection on.
void gf_resetSeenTraffic();
