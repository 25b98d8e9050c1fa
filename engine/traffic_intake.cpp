#include "engine/traffic_intake.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <shared_mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/quarantine.h"
#include "engine/respawn_check.h"
#include "engine/stand_questions.h"
#include "engine/traffic_log.h"
#include "liveries/category.h"
#include "engine/motion/sample_checks.h"
#include "engine/tick_airport.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "liveries/model_texts.h"
#include "runways/runway_matching.h"
#include "runways/runway_table.h"

namespace {

using CategoryTable = std::unordered_map<uint32_t, double>;

const CategoryTable& lf_climbRateTable()
{
    static const CategoryTable table{{0, 0.5}, {1, 0.6}, {2, 0.75}, {3, 0.6}, {4, 0.5}, {5, 1.0}, {6, 0.75}};
    return table;
}

const CategoryTable& lf_standSpeedTable()
{
    static const CategoryTable table{{0, 5.0}, {1, 4.75}, {2, 4.5}, {3, 4.0}, {4, 3.0}, {5, 4.5}, {6, 5.0}};
    return table;
}

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

bool lf_jumpPhase(FlightPhase p)
{
    return p == FlightPhase::taxi || p == FlightPhase::takeoff_roll || p == FlightPhase::takeoff ||
           p == FlightPhase::landing || p == FlightPhase::landing_roll;
}

double lf_positiveSpeed(double v)
{
    return std::isfinite(v) && v > 0.0 ? v : 0.0;
}

// The seconds the aircraft had to cover the way from its last position: a
// feed that repeated that position while reporting the aircraft moving gave
// no new fix, so the time runs from the first report there.
double lf_secondsSinceLastFix(const LiveAircraft& ac, double timestamp, double dt)
{
    if (ac.stream.lastReport.speedKt > 5.0 && std::isfinite(ac.stream.samePositionSince) && ac.stream.samePositionSince < ac.stream.lastRecordTime)
        return timestamp - ac.stream.samePositionSince;
    return dt;
}

// A taxiing aircraft that covered far more ground than its speed allows.
bool lf_isJump(const LiveAircraft& ac, const TrafficSample& last, const TrafficSample& sample, double d, double dt)
{
    if (!lf_jumpPhase(ac.phases.phase))
        return false;
    const bool nearRunway = gf_isNearAnyRunway(lf_pos(last)) || gf_isNearAnyRunway(lf_pos(sample));
    if (last.airborne || sample.airborne)
        return false;
    if (ac.phases.phase != FlightPhase::taxi || !std::isfinite(d) || !std::isfinite(dt) || d < 0.0 || dt <= 0.0)
        return false;
    bool sameRunway = false;
    if (d * kMetresPerNm > 1.0) {
        const double bearing = gf_initialBearing(lf_pos(last), lf_pos(sample));
        const auto a = gf_runwayAtPosition(lf_pos(last), bearing);
        const auto b = gf_runwayAtPosition(lf_pos(sample), bearing);
        sameRunway = a && b && a->runwayText == b->runwayText && a->endText == b->endText;
    }
    const double implied = d * kMetresPerNm / dt * kMetresPerSecondToKnots;
    const double reported = std::max(lf_positiveSpeed(last.speedKt), lf_positiveSpeed(sample.speedKt));
    const double limit = std::max(3.0 * reported, 60.0);
    return (implied > 80.0 && nearRunway && !sameRunway) || (reported <= 5.0 && implied > 30.0) || implied > limit;
}

// ---- Stray ground reports of a standing aircraft ----
//
// The source now and then places a standing aircraft hundreds of metres to
// kilometres away for a report or two, at 0 kt, and then back where it
// stands. A ground report beyond what taxiing reaches in its time from where
// the aircraft was last seen is held: not used, not creating, not removing.
// Passed over when the reports come back; three held in a row, each within a
// taxi's reach of the one before, show that the aircraft really is there:
// it is hidden and shown again there (the quarantine of a ground jump).

constexpr double kTaxiReachKt = 35.0;
constexpr double kReachMarginM = 50.0;
constexpr double kStandingKt = 5.0;
constexpr int32_t kHeldForAMove = 3;

double lf_taxiReachM(double seconds)
{
    return kTaxiReachKt * kKnotsToMetresPerSecond * std::max(seconds, 0.0) + kReachMarginM;
}

// Not yet created, parked, or stopped on the ground where it was last seen.
bool lf_standsWhereSeen(const LiveAircraft& ac)
{
    const TrafficSample& seen = ac.stream.lastReport;
    if (seen.airborne)
        return false;
    if (ac.phases.phase == FlightPhase::parked)
        return true;
    if (lf_positiveSpeed(seen.speedKt) > kStandingKt)
        return false;
    return ac.sim.simState == SimState::buffer || (ac.phases.groundMode && ac.phases.phase == FlightPhase::taxi);
}

enum class StrayVerdict { agreed, held, moved };

StrayVerdict lf_judgeStray(LiveAircraft& ac, const TrafficSample& sample, double timestamp)
{
    HeldReports& held = ac.stream.held;
    if (sample.airborne || !lf_standsWhereSeen(ac) || lf_positiveSpeed(sample.speedKt) > kTaxiReachKt) {
        held.count = 0;
        return StrayVerdict::agreed;
    }
    const double seenAt = std::max(ac.stream.lastRecordTime, ac.stream.agreedTime);
    const double away = gf_distanceM(lf_pos(ac.stream.lastReport), lf_pos(sample));
    if (!(away > lf_taxiReachM(timestamp - seenAt))) {
        if (held.count > 0)
            gf_logLine(fmt::format("{} passed over {} stray report{} {:.0f} m from where it stands", ac.identity.callsign,
                                   held.count, held.count == 1 ? "" : "s",
                                   gf_distanceM(lf_pos(ac.stream.lastReport), lf_pos(held.last))));
        held.count = 0;
        ac.stream.agreedTime = std::max(seenAt, timestamp);
        return StrayVerdict::agreed;
    }
    const bool chained = held.count > 0 && timestamp > held.time &&
                         gf_distanceM(lf_pos(held.last), lf_pos(sample)) <= lf_taxiReachM(timestamp - held.time);
    held.count = chained ? held.count + 1 : 1;
    held.last = sample;
    held.time = timestamp;
    if (held.count < kHeldForAMove)
        return StrayVerdict::held;
    gf_logLine(fmt::format("{} reported {:.0f} m from where it stood {} times in a row: shown again there",
                           ac.identity.callsign, away, held.count));
    return StrayVerdict::moved;
}

// Fewer samples of a slow or straight movement: the wait before the next one, seconds.
bool lf_thinnedOut(const TrafficSample& sample, double dt, double dTrack)
{
    const double v = sample.speedKt;
    double wait = 0.0;
    // The wait is the time to cover this distance at the reported speed.
    constexpr double kGroundSpacingNm = 20.0 * kNmPerMetre;
    constexpr double kAirSpacingNm = 450.0 * kNmPerMetre;
    if (!sample.airborne) {
        if (v > 30.0 || dTrack > 2.0)
            return false;
        wait = v == 0.0 ? 15.0 : std::min(15.0, kGroundSpacingNm / (v / kSecondsPerHour));
    } else {
        if (v <= 120.0 || dTrack > 1.0)
            return false;
        wait = v == 0.0 ? 15.0 : kAirSpacingNm / (v / kSecondsPerHour);
    }
    return dt <= wait;
}

// A low sample at the height of the current airport: a ground report with an
// altitude, not wanted for a new aircraft.
bool lf_atAirportAltitude(double altitudeFt)
{
    return altitudeFt > 0.0 && altitudeFt < 10000.0 && std::fabs(altitudeFt - gf_tickAirportAltitude().value_or(-1000.0)) <= 120.0;
}

// The name a record's quarantine lines give: its callsign, else its
// registration, else its address.
std::string lf_recordName(const LiveTrafficRecord& record)
{
    if (!record.callsign.empty())
        return record.callsign;
    return record.registration.empty() ? fmt::format("{:X}", record.hexid) : record.registration;
}

void lf_newAircraft(const LiveTrafficRecord& in, const TrafficSample& sample)
{
    LiveTrafficRecord record = in;
    if (!record.registration.empty())
        if (auto found = gf_lookupDbase(record.registration))
            record.ids = *found;
    const std::string code = gf_modelCodeText(record.ids.model);
    if (!gf_isIcaoModel(code) || record.hexid == 0)
        return;
    if (!releaseQuarantine(record.hexid, sample, record.timestamp, lf_recordName(record)))
        return;
    const Category category = gf_modelCategory(gf_modelCode2Id(code));
    if (!gf_isCategoryIncluded(category))
        return;
    if (lf_atAirportAltitude(sample.altitudeFt))
        return;
    record.text1 = record.callsign;
    record.text2.clear();
    record.flag = 0;

    AircraftBase base = AircraftBase::fromTrafficRecord(record);
    base.identity.hexid = record.hexid;
    base.identity.turnRate = base.identity.baseTurnRate;
    base.identity.maxClimbRateFtPerTick = gf_maxClimbRateForCategory(base.identity.category);
    base.identity.standSpeedKt = gf_standSpeedForCategory(base.identity.category);
    gf_trafficState().aircraft.addLive(LiveAircraft(sample, base, record.timestamp));
}

// A record whose time stamp, position or altitude is not a number is refused;
// the first one is logged.
bool lf_refusedAsNotFinite(const LiveTrafficRecord& record)
{
    if (std::isfinite(record.timestamp) && std::isfinite(record.lat) && std::isfinite(record.lon) &&
        std::isfinite(record.altitude))
        return false;
    static bool logged = false;
    if (!logged) {
        logged = true;
        gf_logError(fmt::format("Traffic record of {} refused: time stamp, position or altitude is not a number "
                                "(further ones are refused silently)",
                                record.callsign));
    }
    return true;
}

void lf_decodeWithType(const LiveTrafficRecord& record);

// An anonymous aircraft: the source gives its type as its callsign. The type
// names no aircraft, and several such aircraft would share one callsign and
// be taken for one: the registration stands in for the callsign, or without
// one the address in hexadecimal, which no airline code reads from.
LiveTrafficRecord lf_withOwnCallsign(const LiveTrafficRecord& record)
{
    LiveTrafficRecord own = record;
    if (record.callsign.empty() || record.callsign != gf_modelCodeText(record.ids.model))
        return own;
    if (!record.registration.empty()) {
        own.callsign = record.registration;
    } else {
        own.callsign = fmt::format("{:X}", record.hexid);
        if (own.ids.airline == 0)
            own.ids.airline = gf_airlineCode2Id("PVT");
    }
    return own;
}

// A report without a type continues the aircraft known by its hexid, which
// lends it its type and, when the report has none, its registration; with no
// such aircraft the report is dropped.
void lf_decode(const LiveTrafficRecord& record)
{
    if (!gf_isTypeMissing(record)) {
        lf_decodeWithType(lf_withOwnCallsign(record));
        return;
    }
    const LiveAircraft* known = gf_trafficState().aircraft.findLive(record.hexid);
    if (!known)
        return;
    LiveTrafficRecord completed = record;
    completed.ids.model = known->identity.ids.model;
    completed.ids.cargo = known->identity.ids.cargo;
    if (completed.registration.empty())
        completed.registration = known->identity.registration;
    lf_decodeWithType(lf_withOwnCallsign(completed));
}

void lf_decodeWithType(const LiveTrafficRecord& record)
{
    if (lf_refusedAsNotFinite(record))
        return;
    AircraftStore& store = gf_trafficState().aircraft;
    const TrafficSample sample = gf_sampleFromRecord(record);
    LiveAircraft* ac = store.findLive(record.hexid);
    if (!ac) {
        if (!record.callsign.empty()) {
            for (const LiveAircraft& other : store.live())
                if (other.identity.callsign == record.callsign && other.identity.ids.model == record.ids.model)
                    return; // a second address of an aircraft already shown
        }
        lf_newAircraft(record, sample);
        return;
    }
    if (ac->sim.simState == SimState::liveryrespawn)
        return;
    if (ac->sim.simState == SimState::removingfromsim) {
        if (gf_quarantineMap().contains(record.hexid))
            releaseQuarantine(record.hexid, sample, record.timestamp, lf_recordName(record));
        return;
    }
    if (!ac->stream.samples.empty()) {
        const TrafficSample& last = ac->stream.samples.back();
        const double dt = record.timestamp - ac->stream.lastRecordTime;
        const double d = gf_distanceNm(lf_pos(last), lf_pos(sample));
        const double dTrack = std::fabs(sample.trackDeg - last.trackDeg);
        const bool jump = lf_isJump(*ac, last, sample, d, lf_secondsSinceLastFix(*ac, record.timestamp, dt));
        if (record.timestamp == ac->stream.lastRecordTime || dt <= 1.0)
            return;
        const StrayVerdict stray = lf_judgeStray(*ac, sample, record.timestamp);
        if (stray == StrayVerdict::held)
            return;
        if (stray == StrayVerdict::moved && ac->phases.phase == FlightPhase::parked && ac->stand.standId != 0)
            gf_recordRealStandUse(ac->stand.standId, *ac, 3); // it used the stand and left unseen
        if (jump || stray == StrayVerdict::moved) {
            if (record.hexid != 0 && gf_isValidLatLon(lf_pos(sample)) && std::isfinite(record.timestamp))
                gf_quarantineMap().try_emplace(record.hexid,
                                               QuarantineEntry{sample.lat, sample.lon, record.timestamp, 1, 0, engineClock.load()});
            removeAircraftFromSim(*ac);
            return;
        }
        if (ac->stream.projection < 1 && lf_thinnedOut(sample, dt, dTrack))
            return;
    }
    if (ac->sim.simState == SimState::buffer && lf_atAirportAltitude(sample.altitudeFt))
        return;
    const bool samePosition = !ac->stream.samples.empty() && gf_samePosition(ac->stream.samples.back(), sample);
    if (checkRespawn(*ac, record)) {
        if (!samePosition || !std::isfinite(ac->stream.samePositionSince))
            ac->stream.samePositionSince = record.timestamp;
        ac->stream.lastRecordTime = record.timestamp;
        decodeExisting(*ac, sample);
    }
}

// Records taken from the mailbox per lock; the budget is checked between.
constexpr size_t kIntakeChunk = 8;

int64_t (*g_intakeClock)() = nullptr;

int64_t lf_intakeNowNs()
{
    if (g_intakeClock)
        return g_intakeClock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

double gf_maxClimbRateForCategory(Category category)
{
    return gf_perCategory(lf_climbRateTable(), category);
}

double gf_standSpeedForCategory(Category category)
{
    return gf_perCategory(lf_standSpeedTable(), category);
}

void decodeMessage(const LiveTrafficRecord& record)
{
    try {
        lf_decode(record);
    } catch (...) {
        gf_reportTrafficException("decodeMessage");
    }
}

void lf_takeMailboxRecords()
{
    TrafficMailbox& box = gf_trafficMailbox();
    static std::vector<LiveTrafficRecord> chunk; // main task only; keeps its room
    const int64_t deadline = lf_intakeNowNs() + kIntakeBudgetNs;
    do {
        chunk.clear();
        if (box.take(chunk, kIntakeChunk) == 0)
            return;
        for (const LiveTrafficRecord& record : chunk)
            decodeMessage(record);
    } while (lf_intakeNowNs() < deadline);
}

void gf_setIntakeClockForTest(int64_t (*clock)())
{
    g_intakeClock = clock;
}
