// Small pure functions on doubles behind the engine's motion decisions: flat
// offsets and relative positions, plausibility tests of sample jumps and
// speeds, easing and limited steps, the glide and bank planners and the
// airborne Hermite curve. None keeps state or allocates.
//
// Positions are degrees; distances come from gf_distanceNm, bearings from
// gf_initialBearing (radians clockwise from north). Speeds are knots, vertical
// speeds feet per minute, altitudes feet. Angle differences are wrapped into
// (-pi, pi]; a NaN input makes a test false.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/value_types.h"
#include "liveries/model_database.h" // Category

// a wrapped into (-pi, pi] by adding or subtracting 2 pi once.
double gf_wrapAngle(double a) noexcept;

// Longitude wrapped into [-180, 180); a latitude beyond a pole is folded back
// over it and the longitude turned by 180 degrees.
void gf_normalizeLatLon(LatLon& position) noexcept;

struct RelativePosition {
    double distanceM = 0.0;
    double bearing = 0.0; // radians, relative to the reference heading, (-pi, pi]
    double alongM = 0.0;  // ahead positive
    double acrossM = 0.0; // to the right positive
};
// Where q lies seen from p looking along heading (radians). Within 0.1 m only
// the distance is set.
RelativePosition gf_relativePosition(const LatLon& p, double heading, const LatLon& q) noexcept;

// The two circles touch or overlap (flat distance with the cosine of a's
// latitude); false when the radii add up to 0 or less.
bool gf_withinCombinedRadiusNm(const LatLon& a, double radiusANm, const LatLon& b, double radiusBNm) noexcept;

struct AirConflictInput {
    LatLon own;
    LatLon other;
    double cosOwnLat = 1.0;
    double ownHeading = 0.0;   // radians
    double otherHeading = 0.0; // radians
    double ownAltitudeFt = 0.0;
    double otherAltitudeFt = 0.0;
    uint32_t mode = 0; // 0 close ahead only, 1 same-track lateral test, other: following
};
struct AirConflict {
    uint32_t code = 0;   // 1 close ahead, 2 behind in lane, 3 ahead in lane, 4 lateral in mode 1; 0 none
    uint32_t reason = 0; // why not: 1 far, 2 altitude, 3 heading, 4 behind, 5 abeam, 6 too far ahead, 7 lateral
    double distanceNm = 0.0;
    double altitudeDiffFt = 0.0; // other minus own
    double alongNm = 0.0;
    double lateralFt = 0.0;
    double lateralLimitFt = 0.0;
    double headingDiff = 0.0; // own minus other, wrapped
};
// Classifies the proximity of another airborne aircraft.
AirConflict gf_airConflictGeometry(const AirConflictInput& in) noexcept;

// t clamped to [0, 1] and eased: 0 linear, 1 ease-in, 2 ease-out, 3 smoothstep.
double gf_ease(double t, uint32_t mode) noexcept;

// current moved toward target by at most maxStep.
double gf_stepToward(double current, double target, double maxStep) noexcept;

struct LimitedVs {
    double value = 0.0;
    bool clamped = false;
};
// The descent filter: the vertical speed held within 1200 fpm below the mean
// of the (up to two) recent ones and never below the category's floor.
LimitedVs gf_limitDescentVs(double verticalSpeedFpm, std::span<const double> recentFpm, Category category) noexcept;

struct JumpPlausibility {
    double neededTimeS = 0.0;
    double impliedSpeedKt = 0.0;
    bool implausible = false;
};
// Whether a jump of distanceM in timeS is possible at twice the larger of two
// speeds, bounded per category (Light, TwoProps, HighPerf, Rotorcraft, the rest).
JumpPlausibility gf_jumpPlausibility(double distanceM, double timeS, double speedAKt, double speedBKt,
                                     Category category) noexcept;

struct RepeatedTextMemory {
    std::string text;
    uint32_t count = 0;
};
// True once a text different from the previous one has been seen three times
// in a row.
bool gf_repeatedText(const std::string& previous, const std::string& text, RepeatedTextMemory& memory);

struct TakeoffLagInput {
    double distanceM = 0.0;
    double timeS = 0.0;
    double speedKt = 0.0;
    bool light = false;
};
// The samples show a take-off roll that lags: the distance covered implies a
// speed well below the reported one.
bool gf_takeoffLagCheck(const TakeoffLagInput& in) noexcept;

// Two consecutive samples of an aircraft that may be climbing away.
struct ClimbCheckInput {
    double firstVsFpm = 0.0;  // vertical speed of the earlier sample
    double secondVsFpm = 0.0; // vertical speed of the later sample
    double climbFt = 0.0;     // altitude gained from the earlier to the later sample
    bool airborne = false;    // the later sample is airborne
};
// A real climb: airborne, both vertical speeds at least 400 fpm and a gain of
// at least 50 ft (all finite).
bool gf_longEnoughRunway(const ClimbCheckInput& in) noexcept;

struct SpeedPoint {
    double value = 0.0;
    uint32_t time = 0;
};
struct SpeedRise {
    size_t index = 0;
    bool found = false;
};
// The first point that lies 10 above the threshold after a rise of 15 or more
// from an earlier point of at least 40 within 1..2000 time units.
SpeedRise gf_findSpeedRise(std::span<const SpeedPoint> points, double threshold) noexcept;

struct GlideInput {
    double verticalSpeedFpm = 0.0;
    double heightFt = 0.0;
    double gearHeightFt = 0.0;
    double alongPastThresholdM = 0.0;
    double runwayDistanceM = 0.0; // the second distance of the runway match
    double speedKt = 0.0;
    double nextSampleVsFpm = 0.0;
    double firstSamplesAltDiffFt = 0.0;
    double frontSampleVsFpm = 0.0;
    bool nextSampleAirborne = false;
};
struct GlidePlan {
    double verticalSpeedFpm = 0.0;
    double aimPointM = 0.0;
    bool limited = false;
};
// The descent rate that reaches the gear height at an aim point past the
// threshold; the given rate when it already does or the samples climb.
GlidePlan gf_glidePlanner(const GlideInput& in) noexcept;

// True when b lies past a and not more than d behind zero, with c[0] above
// 1000 and c[1] at least c[2].
struct DescentWindowInput {
    double a = 0.0;
    double b = 0.0;
    double c[3] = {0.0, 0.0, 0.0};
    double d = 0.0;
};
bool gf_descentWindow(const DescentWindowInput& in) noexcept;

struct LineOffset {
    LatLon position;
    double bearing = 0.0;       // from p to the result
    double relativeAngle = 0.0; // of q seen from (p, heading)
    double acrossM = 0.0;
    bool ok = false;
};
// q moved toward the line through p along heading, keeping the given fraction
// of its offset across; q itself when it lies behind p, beyond the angle or
// farther across than allowed.
LineOffset gf_offsetTowardLine(const LatLon& p, const LatLon& q, double heading, double maxRelativeAngle,
                               double maxAcrossM, double fraction) noexcept;

struct LineHeading {
    double heading = 0.0;
    double distanceM = 0.0;
    bool ok = false;
};
// The straight heading of a track of points ahead of p, when it is straight
// and agrees with heading.
LineHeading gf_lineHeadingFromPoints(const LatLon& p, std::span<const LatLon> points, double heading, double minDistanceM,
                                     double maxDistanceM, double maxAngle) noexcept;

struct BankInput {
    double heading = 0.0;
    double targetHeading = 0.0;
    double currentBank = 0.0;
    double holdBank = 0.0;
    bool hold = false;
    double speedKt = 0.0;
    double t1 = 0.0;
    double t2 = 0.0;
    double maxTurnRate = 0.0;
    double maxBank = 0.0;
    double maxBankRate = 0.0;
};
struct BankCommand {
    double currentBankLimited = 0.0;
    double turnRate = 0.0;
    double bankRate = 0.0;
    double commandedBank = 0.0;
    uint32_t hold = 0;
    uint8_t holdRefused = 0;
};
// The turn planner: the coordinated-turn bank that brings heading to target.
BankCommand gf_bankForHeading(const BankInput& in) noexcept;

// The bank limit near the ground: 5 degrees on final, from 10 degrees at 100 ft
// rising to the full limit at 1000 ft.
double gf_maxBankNearGround(double bankLimit, bool useAltitude, double altitudeFt, bool final) noexcept;

struct FlightCurvePoint {
    LatLon position;
    double heading = 0.0;
    bool curved = false;
    bool ok = false;
};
// The point at fraction t of the airborne Hermite curve from p0 to p1 that
// starts along h0 (deviating at most maxStartDeviation from the chord).
FlightCurvePoint gf_flightCurvePoint(const LatLon& p0, const LatLon& p1, double h0, double maxStartDeviation,
                                     double t) noexcept;

// Great-circle distance in metres.
double gf_distanceM(const LatLon& a, const LatLon& b);
