// The aircraft records of the traffic engine: the samples a live aircraft
// flies through, the base that live and static aircraft share, and the
// enumerations of their simulator state and flight phase. Every record lives
// on the main task; no other thread touches them.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "liveries/category.h"
#include "engine/ground_curves.h"
#include "engine/flight_state.h"
#include "liveries/model_database.h"
#include "stands/week_slot.h"

struct LiveTrafficRecord;
struct TrafficIdentity;

// One received position: the sample part of a LiveTrafficRecord, field for
// field. The record's time stamp stays with the aircraft (lastRecordTime).
struct TrafficSample {
    double lat = 0.0;              // degrees
    double lon = 0.0;              // degrees
    double altitudeFt = 0.0;       // feet
    double speedKt = 0.0;          // ground speed, knots
    double trackDeg = 0.0;         // direction of movement, degrees
    double verticalSpeedFpm = 0.0; // feet per minute (non-finite counts as 0)
    double tasKt = 0.0;            // true airspeed, knots
    int32_t playTime = 0;          // engine clock (centiseconds) at which the sample is due
    uint8_t airborne = 0;          // the feed reports the aircraft in the air
    uint8_t stationary = 0;        // repeats the previous position (set by the engine)
    uint8_t hasTrueHeading = 0;
    uint8_t hasRoll = 0;
    double roll = 0.0;        // bank in the simulator's sign convention, radians (when hasRoll)
    double trueHeading = 0.0; // radians (when hasTrueHeading)
    uint8_t inserted = 0;            // made by the turn planning, not received
    uint8_t insertedFromCurrent = 0; // inserted on the line from the aircraft's own position
};

// The sample part of a received record.
TrafficSample gf_sampleFromRecord(const LiveTrafficRecord& record);

// The samples a live aircraft will fly through: front = the next one to reach.
using SampleStream = std::deque<TrafficSample>;

// Where an aircraft stands with the simulator. The values are logged by name
// and kept as they are.
enum class SimState : uint32_t {
    buffer = 0,          // known to the engine, no simulator object (yet, or any more)
    adding2sim = 1,      // creation requested, waiting for the simulator's object id
    active = 2,          // the object exists and the engine drives it
    liveryrespawn = 3,   // being removed to be created again with another livery
    removingfromsim = 4, // removal requested, waiting for the simulator to confirm
};

// What a live aircraft is doing. The values are logged by name and kept as
// they are.
enum class FlightPhase : uint32_t {
    pushing_back = 0, // moved backwards off its stand by a tug
    pushed_back = 1,  // push-back done, engines running, waiting to taxi away
    taxi = 2,         // moving on the ground under its own power
    takeoff_roll = 3, // accelerating along the runway
    takeoff = 4,      // rotation and the first climb after lift-off
    flying = 5,       // in the air: climb, cruise and descent
    landing = 6,      // on the approach down to touch-down, with the flare
    landing_roll = 7, // rolling out on the runway after touch-down
    parking = 8,      // on the last move into its stand
    parked = 9,       // standing at its stand (or where it stopped)
    birth = 10,       // just received; the spawning decides the first real phase
};

// What the planned ground turn is for.
enum class GroundTurnKind : uint8_t {
    none,
    taxiTurn,
    runwayExit,
    lineUp,
};

// How the speed runs over the current ground leg.
enum class LegSpeedMode : uint8_t {
    none,                // the leg's own steps
    accelerateFromStop,  // eased from a stop
    slowToStop,          // eased to a stop
    standing,            // the aircraft stands
};

// "buffer" ... "removingfromsim"; std::out_of_range "invalid unordered_map<K, T> key"
// for any other value.
const std::string& gf_simStateName(SimState state);
// "pushing_back" ... "birth"; the same exception for any other value.
const std::string& gf_flightPhaseName(FlightPhase phase);

// ---- Aircraft keys ----
// A creation request and the SimEvents that answer it name their aircraft by
// one u32. The simulator link treats a key above 10000 as a live aircraft.
// Static keys are 1..9999. A live hexid above 10000 is its own key; a live
// hexid of 10000 or less (rare, but legal) carries the high bit, which no
// 24-bit hexid has, so that it can never be taken for a static key.
inline constexpr uint32_t kLiveKeyFlag = 0x80000000u;
inline constexpr uint32_t kLastStaticKey = 9999;

constexpr uint32_t gf_liveAircraftKey(uint32_t hexid) noexcept
{
    return hexid > 10000 ? hexid : (hexid | kLiveKeyFlag);
}
constexpr bool gf_isLiveKey(uint32_t key) noexcept
{
    return key > 10000;
}
constexpr uint32_t gf_hexidOfLiveKey(uint32_t key) noexcept
{
    return key & ~kLiveKeyFlag;
}

// ---- The parts of an aircraft record ----
// Each part is a plain struct; the records derive from their parts, so a field
// is still reached as `aircraft.field`, and a function that owns one part takes
// that part alone.

// Who the aircraft is: the identity head copied from the traffic record, and
// the dimensions and model data.
struct IdentityAndModel {
    // ---- Identity, copied from the traffic record head ----
    AirlOprModel ids;
    IataCode origin;      // route origin; unset when unknown
    IataCode destination; // route destination; unset when unknown
    std::string callsign;
    std::string callsign2; // second callsign form: a stand option's first callsign
    std::string callsign3; // third callsign form: a stand option's second callsign
    std::string registration;

    // ---- Dimensions and model data ----
    double radius = 0.0;           // half wingspan, nautical miles
    double collisionRadius = 0.0;  // radius used between two aircraft, nautical miles
    double standSearchNm = 0.0;    // distance within which a stand is searched
    double optionSearchNm = 0.0;   // distance within which a stand option is searched
    double cgDefaultFt = 0.0;      // static centre-of-gravity height of the category
    double cgFt = 0.0;             // the CG height in use
    uint8_t cgMeasured = 0;        // cgFt came from the simulator
    double staticPitch = 0.0;      // pitch standing on the ground, radians
    double rotationPitch = 0.0;    // radians
    double climbPitch = 0.0;       // radians
    double baseTurnRate = 0.0;     // radians per tick
    double turnRate = 0.0;         // current turn rate, radians per tick
    double maxClimbRateFtPerTick = 0.0;
    double standSpeedKt = 0.0;     // stand manoeuvre speed
    uint32_t hexid = 0;            // ICAO address; a static aircraft's key
    Category category = Category::Light;
    std::string_view liveryTitle;  // title of the chosen livery (owned by the livery list); empty = none
    uint8_t isFsltlLivery = 0;      // the title contains "FSLTL_"
    // Per-category values of the model, in ticks: the rotation, the pitch
    // transition after it, the flare, and the return to the ground attitude
    // after touch-down.
    std::array<uint32_t, 4> modelValues{};
    uint8_t jet = 0;
    uint8_t regional = 0;
    uint8_t pistonTwin = 0;
    uint8_t pistonSingle = 0;
    uint8_t reverseThrust = 0; // the model may use reverse thrust
    // The livery choice matched it at a step deeper than MATCHING_DEPTH: it is
    // removed when it descends below the TCAS level, and without a livery it
    // goes without a no-match entry.
    uint8_t matchedBeyondDepth = 0;
};

// The stand the aircraft stands on, or makes for (standId 0 or below = none).
struct AircraftStand {
    double standLat = 0.0;
    double standLon = 0.0;
    double standHeading = 0.0; // radians
    int32_t standId = 0;    // stand id, 0 or below = none
    uint8_t atStand = 0;
    uint8_t gateStand = 0;      // the stand's name contains "GATE"
    uint8_t keepStand = 0;
};

// Its object in the simulator: creation, removal and the commands sent last.
struct SimObjectState {
    uint32_t objectId = 0; // SimConnect object id, 0 = none yet
    WeekSlot createdWeekSlot;
    uint32_t parkedKey = 0; // hexid of the parked traffic record a static aircraft came from
    SimState simState = SimState::buffer;
    uint32_t throttleIndex = 5; // last throttle index commanded (5 = none)
    uint32_t flapsIndex = 4;    // last flaps index commanded (4 = none sent yet)
    uint8_t removeWhenCreated = 0;
    uint8_t removeFlag = 0;       // erased by the compaction at the end of the tick
    uint8_t staticRemoveFlag = 0; // erased without a simulator object
    uint8_t isStatic = 0;         // a static parked aircraft (its hexid is its static key)
    uint8_t parkedKeyGuard = 1;   // parkedKey does not name a live aircraft it stands in for
    uint32_t staticSource = 0;    // static: 1 = planned from an airport-file option, 0 = from parked traffic
    // The waiting state seen last (buffer = none) and the engine clock since
    // when the aircraft waits in it for the simulator's answer.
    SimState waitState = SimState::buffer;
    int32_t waitSince = 0;
    // The creation request that left the engine's queues last (0 = none) and
    // whether its object id has come. Only the answer to this request is
    // taken; any other is late, and its object is removed.
    uint32_t creationRequestId = 0;
    uint8_t creationAnswered = 0;
};

// Identity and simulator-side state shared by live and static aircraft.
struct AircraftBase {
    IdentityAndModel identity;
    AircraftStand stand;
    SimObjectState sim;

    // Copies the identity and the model data; the simulator-side state starts
    // afresh.
    void copyIdentityAndModel(const AircraftBase& other);

    // The key of creation requests and SimEvents.
    uint32_t key() const noexcept { return sim.isStatic ? identity.hexid : gf_liveAircraftKey(identity.hexid); }

    // Fills the whole record from a received record head.
    static AircraftBase fromTrafficRecord(const TrafficIdentity& head);
};

// What the simulator shows: position, attitude and the shown speeds.
struct MotionState {
    double lat = 0.0;
    double lon = 0.0;
    double pitch = 0.0;   // radians, negative nose up
    double bank = 0.0;    // radians
    double heading = 0.0; // radians, [0, 2 pi)
    double altitudeFt = 0.0;
    double verticalSpeedFpm = 0.0;
    double tasKt = 0.0;
};

// Ground reports of a standing aircraft that lie beyond a taxi's reach of
// where it was last seen: held back (not used) while they may be strays of
// the source. Reset by a report that agrees with the aircraft's place.
struct HeldReports {
    TrafficSample last;  // the last one held (with its play time)
    double time = 0.0;   // seconds, its time stamp
    int32_t count = 0;   // held in a row, each within a taxi's reach of the one before
};

// The samples still to fly through and the last report taken.
struct StreamState {
    SampleStream samples;
    double lastRecordTime = 0.0; // seconds, time stamp of the last accepted record
    // Seconds, time stamp of the first accepted record at the stream back's
    // position: a feed that repeats a stale position keeps this one.
    double samePositionSince = std::numeric_limits<double>::quiet_NaN();
    // The last report taken into the stream, where it was received: the
    // stream's back may be a prediction or a stop held at an earlier place.
    TrafficSample lastReport;
    int64_t lastNearStandTicks = 0;
    int32_t projection = 0; // > 0 while projected beyond the last sample, -1 used up
    // Seconds, time stamp of the last report that agreed with where the
    // aircraft was seen (taken or thinned out).
    double agreedTime = 0.0;
    HeldReports held;
    // Ticks the reports wait behind their time on the ground: a roll that
    // turned off behind them taxis after them this far behind.
    int32_t lagTicks = 0;
};

// The flight phase with its history (changed through LiveAircraft::setPhase).
struct FlightPhaseState {
    FlightPhase phase = FlightPhase::birth;
    uint32_t phaseSince = 0; // engine clock at the last change
    uint8_t leavingStand = 0; // the leaving-the-stand tracker is running
    uint8_t groundMode = 0; // positioned on the ground
    uint8_t heldForUser = 0;
    uint8_t firstProjected = 0; // the first position has been projected (no step sets it yet)
    FlightPhase previousPhase = FlightPhase::birth;
    FlightPhase phaseBeforePrevious = FlightPhase::birth;
};

// What the simulator and the ground checks reported about the aircraft.
struct SimReports {
    double verticalSpeedStep = 0.0; // feet per tick
    uint32_t liftOffCounter = 0;
    double lastSimAglFt = std::numeric_limits<double>::quiet_NaN();
    // The simulator's ground altitude (ft) under the aircraft at its last ground report.
    double lastSimGroundFt = std::numeric_limits<double>::quiet_NaN();
    uint8_t flightPlanSent = 0;
    uint8_t standOptionsAdopted = 0;
    uint8_t activatedAirborne = 0;
    int32_t activatedAt = 0;
    WeekSlot parkedSince;
    int64_t parkedSinceTime = 0; // system clock at the arrival, 100 ns units
    double collisionCheckLat = 0.0; // where the last live-versus-parked check saw it; 0/0 = never
    double collisionCheckLon = 0.0;
};

// The corner curve and the planned turn of the ground legs.
struct GroundCurvesAndTurns {
    GroundCurve groundCurve;       // the corner curve, evaluated by the progress below
    GroundTurn groundTurn;         // the planned turn, evaluated by its follower value
    double curveProgress = 0.0;    // fraction of the ground curve reached
    double legFraction = 0.0;      // per-tick fraction of the current leg (1 / leg ticks)
    double lastTurnAngleDeg = 0.0; // angle of the last turn planned
    GroundTurnKind turnKind = GroundTurnKind::none;
    uint8_t sharpTurn = 0;         // a sharp corner no turn could be built for
    uint8_t turningInPlace = 0;    // turns on the spot before the leg starts
    int8_t turnRoundSide = 0;      // while turningInPlace: rolls round at walking pace, +1 right, -1 left
    uint8_t pushingInTaxi = 0;     // the leg is a push-back: it goes backwards, nose kept
    uint8_t hoverTurning = 0;      // a helicopter turning in the hover toward its way before it goes
    double hoverTurnWay = 0.0;     // while hoverTurning: the heading it turns to (radians)
    uint8_t hoverLeg = 0;          // a helicopter's leg between two reports of its hover: level, nose kept
    uint8_t creeping = 0;          // crawls while its heading catches up with its way
    double creepLagTicks = 0.0;    // ticks lost crawling, not yet added to the samples' times
    double speedCapLagTicks = 0.0; // ticks the samples waited since it last stood, held to its most ground speed
    double groundStepKt = -1.0;    // speed of the last ground step, -1 when it did not roll
    // The latitudes the ground step and the measured speed last took, with
    // their sines and cosines (spares the trigonometry of every tick).
    LatitudeTrigMemo stepTrig;
};

// The aircraft's curve made invalid and its turn cleared, with the progress
// along them.
void lf_clearGroundPath(GroundCurvesAndTurns& ground) noexcept;

// Push-back, the leaving-the-stand tracker and the departure flags.
struct PushBackAndDeparture {
    double minStandDistanceNm = 0.0;
    double maxStandDistanceNm = 0.0;
    uint8_t pulledOut = 0;
    uint8_t holding = 0;
    uint8_t quickTurnAround = 0;
    uint8_t leftStand = 0;
    uint8_t inboundToAirport = 0;
    uint8_t standLeaveRequest = 0; // the samples show the aircraft leaving its stand
    // The first positions seen after push-back, and how often the second was passed.
    std::optional<LatLon> pushFirst;
    std::optional<LatLon> pushSecond;
    uint32_t pushSecondCount = 0;
    // The leaving-the-stand tracker (active while leavingStand is set).
    double trackerStartM = 0.0;
    double trackerLastM = 0.0;
    double trackerLat = 0.0;
    double trackerLon = 0.0;
    int32_t trackerTime = 0;
    uint32_t trackerCount = 0;
    uint32_t standGrowthCount = 0; // growths of maxStandDistanceNm since the last reset
};

// The motion of the current leg: steps, headings, timing and speed mode.
struct LegMotion {
    double stepLat = 0.0;           // degrees per tick
    double stepLon = 0.0;           // degrees per tick
    double targetTrack = 0.0;       // bearing of the leg, radians
    double airHeadingStep = 0.0;    // heading change per tick of an air leg, radians
    double headingRate = 0.0;       // rate memory of the smooth heading step, radians per tick
    // Heading to end a stand move or turn with, radians. No step sets it yet;
    // while unset the ground steps steer toward targetTrack.
    std::optional<double> endHeading;
    // The bearing of the last leg it moved along, radians: a hover's legs
    // that hold it over its spot keep it.
    std::optional<double> lastWay;
    double headingCorrectionDeg = 0.0;
    int32_t legOverrideTicks = 0;
    int32_t lagEarlier = 900;       // how much earlier a sample may be re-timed, ticks
    int32_t lagLater = 900;         // how much later, ticks
    // Ticks its samples waited aloft, held to the speed it flies: made up as
    // it flies on faster, within that speed.
    double airLagTicks = 0.0;
    LegSpeedMode speedMode = LegSpeedMode::none;
    uint8_t headingCorrectionPending = 0;
    uint8_t legOverride = 0;
    uint8_t extrapolating = 0;
    uint8_t spawnTriedFound = 0;    // the last spawn stand search found a stand
    // The stand it stands at is held by another live aircraft still reported
    // there: it is shown where its reports put it, without a stand.
    uint8_t spawnStandHeld = 0;
    double spawnTriedLat = std::numeric_limits<double>::quiet_NaN();
    double spawnTriedLon = std::numeric_limits<double>::quiet_NaN();
};

// The touch-down calibration and the roll-out attitude.
struct TouchdownAndLanding {
    double calibrationFt = std::numeric_limits<double>::quiet_NaN(); // height taken at touch-down; NaN = none
    double calibrationPitch = 0.0;
    double rolloutPitchStep = 0.0; // radians per tick
    double rolloutBankStep = 0.0;  // radians per tick
    double touchdownHeading = 0.0;
    int32_t onGroundSlots = 0;     // ticks over which the roll-out attitude is reached
    uint8_t calibrationFailed = 0;
    uint8_t flareStage = 0;        // 0 = no flare
};

// Values remembered from earlier samples: altitudes, callsigns, routes, the
// go-around and roll-out watches.
struct RememberedValues {
    double lastAirborneAltitudeFt = std::numeric_limits<double>::quiet_NaN(); // NaN = none
    std::string lastSeenCallsign;
    uint32_t lastSeenCallsignCount = 0;
    std::string pendingRoute; // a new route waiting to be seen three times
    uint32_t pendingRouteCount = 0;
    // Go-around watch, latched at touch-down: airborne samples count as on the
    // ground until one climbs away; a ground sample ends it.
    uint8_t goAroundWatch = 0;
    double goAroundAltitudeFt = std::numeric_limits<double>::quiet_NaN();
    double goAroundVsFpm = std::numeric_limits<double>::quiet_NaN();
    // Roll-out watch of a Light aircraft: the kept sample of a touch-and-go test.
    std::optional<TrafficSample> rolloutKept;
};

// The runway the aircraft lines up on, its holds there and the measured
// ground speed.
struct RunwayHolds {
    std::string runwayKey;         // "<runway>:<end>" the aircraft lines up on; empty = none
    std::optional<double> runwayHeading; // radians: the runway the aircraft lines up on
    std::string lastRunwaySeen;    // key of the last stop point matched to a runway
    std::string runwayDescription; // what the hold tracking last saw
    uint8_t runwayAheadDropped = 0; // a sample behind the runway heading was dropped once
    uint8_t lineUp = 0;
    uint8_t turningToRunway = 0;
    std::string heldKey; // where the aircraft stood on a runway, and since when
    double heldLat = 0.0;
    double heldLon = 0.0;
    int32_t heldSince = 0;
    std::optional<TrafficSample> heldSample; // a stop sample held back while the aircraft holds on a runway
    // Measured ground speed over windows of at least 200 ticks.
    double speedWindowLat = std::numeric_limits<double>::quiet_NaN();
    double speedWindowLon = std::numeric_limits<double>::quiet_NaN();
    int32_t speedWindowStart = 0;
    double speedWindowSumM = 0.0;
    double lastWindowM = std::numeric_limits<double>::quiet_NaN();
    double lastWindowS = std::numeric_limits<double>::quiet_NaN();
    std::optional<double> respawnHeading; // radians, the heading of the re-creation after a livery respawn
};

// A live aircraft: the base, its sample stream and its motion state, in parts.
struct LiveAircraft : AircraftBase {
    LiveAircraft() = default;
    LiveAircraft(const TrafficSample& first, const AircraftBase& base, double recordTime);

    // The record's parts; a function that writes one part alone takes that part.
    MotionState motion;
    StreamState stream;
    FlightPhaseState phases;
    SimReports reports;
    GroundCurvesAndTurns ground;
    PushBackAndDeparture push;
    LegMotion leg;
    TouchdownAndLanding touchdown;
    RememberedValues remembered;
    RunwayHolds holds;
    // Flight phases: take-off, climb, approach, flare.
    FlightState flight;

    // Changes the flight phase and shifts the phase history; stamps the
    // change with the engine clock. Entering push-back or parked stops the
    // leaving-the-stand tracker; leaving `landing` clears the landing data;
    // the same phase again changes nothing.
    void setPhase(FlightPhase next);
};

// A static parked aircraft: the base alone.
struct StaticAircraft : AircraftBase {
    StaticAircraft() { sim.isStatic = 1; }
    struct StandPose {
        double lat = 0.0;
        double lon = 0.0;
        double heading = 0.0; // radians
    };
    // `key` (1..9999) names the aircraft in creation requests and SimEvents.
    StaticAircraft(const AircraftBase& model, uint32_t key, int32_t standId, const StandPose& pose, bool atStand);
};

// Positions of samples and aircraft.
inline LatLon gf_samplePosition(const TrafficSample& s)
{
    return {s.lat, s.lon};
}
inline LatLon gf_aircraftPosition(const LiveAircraft& aircraft)
{
    return {aircraft.motion.lat, aircraft.motion.lon};
}
// The two samples lie at the same place (within 1e-8 degrees).
inline bool gf_samePosition(const TrafficSample& a, const TrafficSample& b)
{
    return std::fabs(a.lat - b.lat) <= 1e-8 && std::fabs(a.lon - b.lon) <= 1e-8;
}

// Where the aircraft's stand is.
inline LatLon lf_stand(const LiveAircraft& aircraft)
{
    return {aircraft.stand.standLat, aircraft.stand.standLon};
}
