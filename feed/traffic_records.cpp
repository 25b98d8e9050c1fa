#include "feed/traffic_records.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <shared_mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/park_airports.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "liveries/model_texts.h"
#include "simlink/stand_positions.h"
#include "simlink/user_aircraft.h"

namespace {


bool lf_validLalo(double lat, double lon)
{
    return gf_isValidLatLon(LatLon{lat, lon});
}

// Equality with a short literal, compared in place: with the size known the
// compiler needs no library call, which costs a lot per field under Windows.
template <size_t N>
bool lf_is(std::string_view text, const char (&literal)[N])
{
    return text.size() == N - 1 && std::memcmp(text.data(), literal, N - 1) == 0;
}

std::string_view lf_cleanRegistration(std::string_view text)
{
    if (lf_is(text, "null") || text.size() == 1 || text.size() == 2 || text.size() >= 13)
        return {};
    return text;
}

// The callsign rule on views; the result views the text.
std::string_view lf_normalizedCallsign(std::string_view text)
{
    if (text.size() < 3 || text.size() > 8 || lf_is(text, "null"))
        return {};
    size_t zeros = 0;
    for (const char ch : text) {
        if (ch == '@')
            return {};
        zeros = ch == '0' ? zeros + 1 : 0;
        if (zeros == 5)
            return {};
    }
    if (text.front() == '.')
        text.remove_prefix(1);
    if (text.size() < 3)
        return {};
    return text;
}

// Balloons, gliders and the like, by the source's category code.
bool lf_isExcludedCategory(std::string_view category)
{
    return lf_is(category, "B1") || lf_is(category, "B2") || lf_is(category, "B4") || lf_is(category, "C1") ||
           lf_is(category, "C2");
}

// A report without the aircraft type: the source left it out for this
// position, though it may have given it before.
bool lf_isTypeMissing(std::string_view type)
{
    return type.empty() || lf_is(type, "null");
}

// The model-code fix on views: the fixed code or the text itself.
std::string_view lf_fixedModelCode(std::string_view text)
{
    auto it = ModelFixes.find(text);
    return it != ModelFixes.end() ? std::string_view(it->second) : text;
}

double lf_tasFromAltitude(double altitude)
{
    if (std::isnan(altitude))
        return 0.0;
    if (altitude <= 2000.0)
        return 180.0;
    if (altitude <= 5000.0)
        return 220.0;
    if (altitude <= 10000.0)
        return 250.0;
    if (altitude <= 20000.0)
        return 350.0;
    return 430.0;
}

// A ground aircraft is wanted only within 5 NM of the current airport.
constexpr double kGroundTrafficRangeNm = 5.0;

bool lf_nearAirport(const CurrentAirportRecord& airport, double lat, double lon)
{
    if (airport.code == 0 || !lf_validLalo(airport.latitude, airport.longitude))
        return false;
    return gf_flatOffsetNmOfDegrees(airport.latitude - lat, airport.longitude - lon, gf_cosLatitude(airport.latitude))
               .squared() <= kGroundTrafficRangeNm * kGroundTrafficRangeNm;
}

// The QNH correction. Below the blend the altitudes of RT Direct get the QNH
// offset and those of the RT App are used as received; above it both follow
// the user's own altimeter. Just above the airport an aircraft that is slow
// enough is on the ground.
constexpr double kStandardPressureHpa = 1013.25;
constexpr double kFeetPerHpa = 30.0;
constexpr double kBlendStartFt = 17000.0; // the blend towards the user's altimeter begins
constexpr double kBlendDepthFt = 2000.0;   // and is complete this much higher
constexpr double kGroundCheckCeilingFt = 14000.0;
constexpr double kNoClearanceAboveKt = 120.0; // faster: flying, however low
constexpr double kFullClearanceUpToKt = 43.0;  // slower: the whole clearance applies
constexpr double kFullClearanceFt = 90.0;
constexpr double kLeastClearanceFt = 45.0; // just below kNoClearanceAboveKt

// The height above the airport under which an aircraft at this ground speed
// is on the ground.
double lf_groundClearanceFt(double groundSpeedKt)
{
    if (groundSpeedKt > kNoClearanceAboveKt)
        return 0.0;
    if (groundSpeedKt <= kFullClearanceUpToKt)
        return kFullClearanceFt;
    return (kNoClearanceAboveKt - groundSpeedKt) / (kNoClearanceAboveKt - kFullClearanceUpToKt) *
               (kFullClearanceFt - kLeastClearanceFt) +
           kLeastClearanceFt;
}

SeenTrafficCollector rtAppSeen;
SeenTrafficCollector rtDirectSeen;
ParkedTrafficShare rtAppParked;
ParkedTrafficShare rtDirectParked;
std::atomic<const RTDirectParkedQuery*> rtDirectParkedQuery{nullptr};

} // namespace

// ---- Range and time -------------------------------------------------------------

LaloTimeCheck lf_checkLaloAndTime(const ParsedTrafficFields& f, const TrafficConversionContext& c)
{
    LaloTimeCheck result;
    if (c.settings == nullptr)
        return result;
    if (!std::isfinite(f.timestamp) || f.timestamp <= 0.0 || f.timestamp >= 9223372036854775808.0)
        throw std::runtime_error(fmt::format("timestamp outside range: {:.3f}", f.timestamp));
    result.timestamp = static_cast<uint64_t>(std::llround(f.timestamp));
    if (!(f.lat >= -90.0 && f.lat <= 90.0 && f.lon >= -180.0 && f.lon <= 180.0) ||
        (std::fabs(f.lat) <= 0.0001 && std::fabs(f.lon) <= 0.0001))
        throw std::runtime_error(fmt::format("invalid lalo: {}", fmt::format("{:.6f},{:.6f}", f.lat, f.lon)));
    result.inRange = gf_flatOffsetNmOfDegrees(c.userLat - f.lat, c.userLon - f.lon, c.cosUserLat).squared() <=
                     c.settings->rangeNmSquared;
    return result;
}

// ---- Texts ----------------------------------------------------------------------

std::string lf_normalizeCallsign(std::string_view text)
{
    return std::string(lf_normalizedCallsign(text));
}

std::string lf_fixModelCode(std::string_view text)
{
    return std::string(lf_fixedModelCode(text));
}

IataCode lf_iataFromField(std::string_view text)
{
    // An aircraft without a known route is kept: its airports stay unknown.
    IataCode result;
    if (const auto code = IataCode::tryParse(text))
        std::memcpy(&result, &*code, sizeof result); // whole: a copy by members stalls on the read-back
    return result;
}

bool gf_isExcludedTypeCode(std::string_view t)
{
    if (t.size() < 2 || t.size() > 4)
        return true;
    if (t.size() == 2)
        return false;
    if (t.size() == 3)
        return lf_is(t, "FOX") || lf_is(t, "GND") || lf_is(t, "RF5") || lf_is(t, "TWR") || lf_is(t, "U15");
    static constexpr char excluded[][5] = {"ARCP", "AS16", "BALL", "DIMO", "EMER", "GLID", "GLIM", "GRND",
                                           "JS3E", "PARA", "SERV", "SHIP", "SF25", "ULAC", "VENT", "ZZZZ"};
    return std::any_of(std::begin(excluded), std::end(excluded),
                       [t](const char(&code)[5]) { return lf_is(t, code); });
}

bool lf_isAcceptedType(std::string_view type, std::string_view category)
{
    if (type.empty() || lf_is(type, "null") || lf_is(type, "0") || lf_is(type, "ZZZZ"))
        return false;
    if (lf_isExcludedCategory(category))
        return false;
    return !gf_isExcludedTypeCode(type);
}

// ---- Block filter ---------------------------------------------------------------

bool lf_passesBlockFilter(const LiveTrafficRecord& r, const BlockFilter& filter)
{
    // Only fields that the filter knows take part: an empty text or a zero
    // hexid matches nothing, so aircraft without a name are not all blocked.
    if (filter.hexid != 0 && r.hexid == static_cast<uint32_t>(filter.hexid)) {
        if (filter.regcode == "null" && !r.registration.empty()) {
            const std::string reg = r.registration;
            gf_modifyParameters([&](Parameters& p) { p.blockFilter.regcode = reg; });
        }
        return false;
    }
    const int32_t hexid = static_cast<int32_t>(r.hexid);
    if (!filter.regcode.empty() && !r.registration.empty() && r.registration == filter.regcode) {
        gf_modifyParameters([&](Parameters& p) { p.blockFilter.hexid = hexid; });
        return false;
    }
    if (!filter.callsign.empty() && !r.callsign.empty() && r.callsign == filter.callsign) {
        const std::string reg = r.registration;
        gf_modifyParameters([&](Parameters& p) {
            p.blockFilter.hexid = hexid;
            p.blockFilter.regcode = reg;
        });
        return false;
    }
    if (filter.callsignEndsWithUnderscore && !filter.callsign.empty() && !r.callsign.empty() &&
        std::string_view(filter.callsign).substr(0, filter.callsign.size() - 1) == r.callsign) {
        const std::string callsign = r.callsign;
        const std::string reg = r.registration;
        callsignEndsWithUnderscore.store(false);
        gf_modifyParameters([&](Parameters& p) {
            p.blockFilter.callsign = callsign;
            p.blockFilter.hexid = hexid;
            p.blockFilter.regcode = reg;
            p.blockFilter.callsignEndsWithUnderscore = false;
        });
        return false;
    }
    return true;
}

std::optional<uint32_t> gf_parseHexid(std::string_view text, int base)
{
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

bool gf_isAdsbIcaoSource(std::string_view source)
{
    return lf_is(source, "adsb_icao") || (source.size() > 10 && source.ends_with("_adsb_icao"));
}

// ---- QNH ------------------------------------------------------------------------

bool gf_qnhAltitudeCorrection(LiveTrafficRecord& r, std::optional<double> airportAltitude, int32_t qnh,
                              bool rtDirect, double userAltimeterErrorFt)
{
    double h = r.altitude;
    if (!(h > 0.0)) {
        r.altitude = 0.0;
        return true;
    }
    const double d = (qnh - kStandardPressureHpa) * kFeetPerHpa;
    const double a = rtDirect ? d : 0.0;
    const double b = rtDirect ? 0.0 : -d;
    const double t = std::clamp((h - kBlendStartFt) / kBlendDepthFt, 0.0, 1.0);
    const double s = (3.0 - 2.0 * t) * t * t;
    const double low = h + a;
    if (s == 0.0) {
        h = low; // the user's altimeter plays no part below the blend
    } else {
        const double high = h + b + userAltimeterErrorFt;
        const double x = high * s + low * (1.0 - s);
        h = x * s + low * (1.0 - s);
    }
    h = std::max(h, 0.0);
    if (airportAltitude && h > 0.0 && h < kGroundCheckCeilingFt) {
        const double clearance = lf_groundClearanceFt(r.groundSpeed);
        const double above = h - *airportAltitude;
        if (above <= 0.0 || above <= clearance)
            h = 0.0;
    }
    r.altitude = h;
    return true;
}

// ---- Live conversion ------------------------------------------------------------

void gf_takeProgramState(TrafficConversionContext& context)
{
    context.rtDirect = gf_isRTDirect();
    const auto user = gf_publishedUserAcPosition();
    context.userAltimeterErrorFt = user->altitude - user->indicatedAltitude;
    context.airport = gf_currentAirportCopy();
}

TrafficConversionResult gf_makeLiveTrafficRecord(const ParsedTrafficFields& f, const TrafficConversionContext& c)
{
    TrafficConversionResult result;
    const LaloTimeCheck check = lf_checkLaloAndTime(f, c);
    result.timestamp = check.timestamp;
    if (check.inRange && !gf_fillLiveTrafficRecord(f, c, result.record.emplace(), result.seen))
        result.record.reset();
    return result;
}

bool gf_fillLiveTrafficRecord(const ParsedTrafficFields& f, const TrafficConversionContext& c, LiveTrafficRecord& r,
                              std::optional<SeenTrafficEntry>& seen)
{
    r.registration = lf_cleanRegistration(f.registration);
    r.callsign = lf_normalizedCallsign(f.callsign);

    // A report without a type is kept with the empty model code: the engine
    // continues an aircraft it already knows by the hexid with it, and drops
    // it otherwise.
    const std::string_view type = lf_fixedModelCode(f.type);
    const bool typeMissing = lf_isTypeMissing(type);
    if (typeMissing ? lf_isExcludedCategory(f.category) : !lf_isAcceptedType(type, f.category))
        return false;
    // The airline is interned only for a record that is kept: a line that
    // gives none leaves no trace in the table. Until then a code the table
    // does not hold yet is no cargo operator of the database.
    std::optional<std::string> callsignAirline;
    std::string_view airline = f.airline;
    if (airline.empty() && !r.callsign.empty() && (callsignAirline = gf_airlineFromCallsign(r.callsign)))
        airline = *callsignAirline;
    std::optional<AirlineId> knownAirline;
    if (!airline.empty()) {
        knownAirline = gf_findAirlineId(airline);
        r.ids.airline = knownAirline.value_or(0);
    }
    // The type too is interned only for a record that is kept. Until then a
    // code the table does not hold yet has no category of the database.
    std::string_view model;
    r.ids.cargo = 0;
    if (typeMissing) {
        r.ids.model = kNoModel;
    } else {
        model = type;
        if (lf_is(type, "B777") && gf_isCargo(r.ids)) {
            model = "B77F";
            r.ids.cargo = 1;
        }
        r.ids.model = gf_findModelId(model).value_or(kUnlistedModel);
    }

    if (gf_isAdsbIcaoSource(f.source)) {
        if (f.trueHeading == 0.0) {
            r.trueHeading = kTwoPi;
        } else if (f.trueHeading > 0.0 && f.trueHeading <= 360.0) {
            r.trueHeading = f.trueHeading * kDegToRad;
        } else if (f.trueHeading > 360.0) {
            throw std::runtime_error(fmt::format("true heading: {:.2f}", f.trueHeading));
        }
        if (r.trueHeading)
            r.hasTrueHeading = 1;
    }

    if (f.hexid <= 10000)
        return false;

    r.altitude = f.altitude;
    r.groundSpeed = f.groundSpeed;
    gf_qnhAltitudeCorrection(r, c.airportAltitude, c.qnh, c.rtDirect, c.userAltimeterErrorFt);
    r.airborne = r.altitude > 0.0 ? 1 : 0;
    if (r.airborne && gf_modelCategory(r.ids.model) != Category::Rotorcraft &&
        (!std::isfinite(r.groundSpeed) || r.groundSpeed <= 0.0))
        return false;

    if (c.collectSeen && c.earlySeen)
        seen = SeenTrafficEntry{r.callsign, f.hexid};
    if (r.registration.empty() && r.callsign.empty())
        return false;
    if (!r.airborne && c.groundSquawkCheck && lf_is(f.squawk, "0000"))
        return false;
    if (c.collectSeen && !c.earlySeen)
        seen = SeenTrafficEntry{r.callsign, f.hexid};
    if (!r.airborne && !lf_nearAirport(c.airport, f.lat, f.lon))
        return false;
    r.hexid = f.hexid;
    if (!c.settings->blockFilter.aircraft.empty() && !lf_passesBlockFilter(r, c.settings->blockFilter))
        return false;

    r.lat = f.lat;
    r.lon = f.lon;
    r.track = f.track;
    if (r.track == 0.0 && r.trueHeading)
        r.track = *r.trueHeading / kDegToRad;
    r.verticalSpeed = std::isfinite(f.verticalSpeed) ? f.verticalSpeed : 0.0;
    r.origin = lf_iataFromField(f.origin);
    r.destination = lf_iataFromField(f.destination);
    if (r.airborne && f.roll != -1.0 && std::isfinite(f.roll) && std::fabs(f.roll) <= 90.0)
        r.bank = -f.roll * kDegToRad;
    // Without a reported airspeed, one on the ground moves at its ground
    // speed: the altitude table's 180 kt would have it taxi at approach speed.
    if (f.tas != -1.0)
        r.tas = f.tas;
    else
        r.tas = r.airborne ? lf_tasFromAltitude(r.altitude) : (std::isfinite(r.groundSpeed) ? r.groundSpeed : 0.0);
    r.timestamp = f.timestamp;
    r.playTime = 0;
    if (!airline.empty())
        r.ids.airline = knownAirline ? *knownAirline : gf_airlineCode2Id(airline);
    if (r.ids.model == kUnlistedModel) {
        // A full table gives a new code no id (it logs that once): the
        // record keeps a type all the same.
        const ModelId id = gf_modelCode2Id(model);
        r.ids.model = id != kNoModel ? id : kUnlistedModel;
    }
    return true;
}

// ---- Parked conversion ----------------------------------------------------------

std::optional<ParkedTrafficRecord> gf_makeParkedTrafficRecord(const ParkedTrafficFields& f)
{
    if (f.hexid <= 10000 || f.time <= 0 || f.type.empty())
        return std::nullopt;
    ParkedTrafficRecord r;
    if (auto tm = gf_utcTm(f.time))
        r.slot = gf_halfHourSlotOf(*tm);
    r.registration = lf_cleanRegistration(f.registration);
    r.callsign = lf_normalizeCallsign(f.callsign);

    std::string airline; // interned once the record is kept
    if (auto db = gf_lookupDbase(r.registration)) {
        r.ids = *db;
        if (r.callsign.empty())
            r.callsign = r.registration;
    } else {
        if (!r.callsign.empty()) {
            if (auto code = gf_airlineFromCallsign(r.callsign))
                airline = std::move(*code);
            r.ids.airline = gf_findAirlineId(airline).value_or(0);
        }
        std::string type = lf_fixModelCode(f.type);
        if (type == "B777" && gf_isCargo(r.ids)) {
            type = "B77F";
            r.ids.cargo = 1;
        }
        if (type.empty() || !gf_isIcaoModel(type))
            return std::nullopt;
        r.ids.model = gf_modelCode2Id(type);
    }

    if (!lf_validLalo(f.lat, f.lon))
        throw std::runtime_error(fmt::format("lalo: {}", fmt::format("{:.6f},{:.6f}", f.lat, f.lon)));
    r.lat = f.lat;
    r.lon = f.lon;

    if (r.registration.empty() && !r.callsign.empty()) {
        if (auto db = gf_lookupDbase(r.callsign)) {
            r.ids = *db;
            airline.clear();
            r.registration = r.callsign;
            if (!gf_airlineCodeText(db->oper).empty())
                r.ids.airline = db->oper;
        }
    }
    const std::string model = gf_modelCodeText(r.ids.model);
    if (model.empty() || !gf_isIcaoModel(model) || !gf_isCategoryIncluded(gf_modelCategory(r.ids.model)))
        return std::nullopt;

    if (f.stand.empty())
        return std::nullopt;
    r.stand = std::string(f.stand);
    if (auto reserved = gf_currentReservedStand(); reserved && *reserved == r.stand)
        return std::nullopt;
    const auto user = gf_publishedUserAcPosition();
    if (gf_findStandAtPosition(LatLon{user->latitude, user->longitude}) == r.stand)
        return std::nullopt;
    r.hexid = f.hexid;
    if (!airline.empty() && r.ids.airline == 0)
        r.ids.airline = gf_airlineCode2Id(airline);
    return r;
}

// ---- Seen traffic ---------------------------------------------------------------

void SeenTrafficCollector::add(const SeenTrafficEntry& entry)
{
    std::lock_guard lock(mutex);
    if (!collect.load())
        return;
    if (!entry.callsign.empty())
        seen.callsigns.insert(entry.callsign);
    seen.hexids.insert(entry.hexid);
}

void SeenTrafficCollector::reset()
{
    std::lock_guard lock(mutex);
    seen = SeenTraffic();
    collect.store(true);
}

void SeenTrafficCollector::clear()
{
    std::lock_guard lock(mutex);
    seen = SeenTraffic();
    collect.store(false);
}

void SeenTrafficCollector::takeOver(SeenTraffic& other)
{
    std::lock_guard lock(mutex);
    collect.store(false);
    std::swap(seen, other);
}

SeenTraffic SeenTrafficCollector::copy() const
{
    std::lock_guard lock(mutex);
    return seen;
}

SeenTrafficCollector& gf_seenTrafficOf(TrafficSource source)
{
    return source == TrafficSource::rtDirect ? rtDirectSeen : rtAppSeen;
}

ParkedTrafficShare& gf_parkedTrafficOf(TrafficSource source)
{
    return source == TrafficSource::rtDirect ? rtDirectParked : rtAppParked;
}

void gf_setRTDirectParkedQuery(const RTDirectParkedQuery* query)
{
    rtDirectParkedQuery.store(query);
}

bool gf_askParkedTrafficForRun()
{
    if (!gf_isRTDirect())
        return false;
    const RTDirectParkedQuery* query = rtDirectParkedQuery.load();
    return query != nullptr && query->post();
}

bool gf_parkedTrafficForRunSettled()
{
    const RTDirectParkedQuery* query = rtDirectParkedQuery.load();
    return query == nullptr || query->settled();
}

bool gf_takeParkedTrafficForRun()
{
    const RTDirectParkedQuery* query = rtDirectParkedQuery.load();
    return query != nullptr && query->take();
}

void gf_resetSeenTraffic()
{
    gf_seenTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp).reset();
}

// ---- Parked lists ---------------------------------------------------------------

void lf_ageParkedTraffic(std::vector<ParkedTrafficRecord>& parked)
{
    lf_ageParkedTraffic(parked, gf_halfHourSlotNow());
}

void lf_ageParkedTraffic(std::vector<ParkedTrafficRecord>& parked, int nowSlot)
{
    for (ParkedTrafficRecord& r : parked) {
        r.age = nowSlot - r.slot;
        if (r.age < 0)
            r.age += 48;
        r.callsign = lf_normalizeCallsign(r.callsign);
    }
    std::erase_if(parked, [](const ParkedTrafficRecord& r) { return r.callsign.empty(); });
    const auto settings = gf_parametersSnapshot();
    if (!settings->RT_PARKTRAFFIC_ONLY && !settings->AUTO_PARK) {
        const int32_t maxFit = settings->MAX_FIT;
        std::erase_if(parked, [maxFit](const ParkedTrafficRecord& r) { return r.age > maxFit; });
    }
    std::stable_sort(parked.begin(), parked.end(),
                     [](const ParkedTrafficRecord& a, const ParkedTrafficRecord& b) { return a.age < b.age; });
    std::unordered_set<std::string> stands;
    std::unordered_set<std::string> callsigns;
    std::vector<ParkedTrafficRecord> kept;
    kept.reserve(parked.size());
    for (ParkedTrafficRecord& r : parked) {
        if (stands.contains(r.stand) || (!r.callsign.empty() && callsigns.contains(r.callsign)))
            continue;
        stands.insert(r.stand);
        if (!r.callsign.empty())
            callsigns.insert(r.callsign);
        kept.push_back(std::move(r));
    }
    parked = std::move(kept);
}
