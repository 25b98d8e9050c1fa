// The two curves a taxiing aircraft follows round a corner:
//   GroundCurve: a quadratic Bezier from the start point, with the corner as
//                control point, to the end point; evaluated by time.
//   GroundTurn:  a cubic Hermite from the start point with chosen end
//                tangents, checked against geometric limits; evaluated by the
//                fraction of its length.
// Both work in a local flat frame (metres east and north of the start point)
// and keep an arc-length table, so that equal steps of time or fraction give
// equal distances on the ground. Both are plain values inside the aircraft
// record and are rebuilt in place; nothing here allocates or throws.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/value_types.h"

// Metres per degree of latitude in the local frame.
inline constexpr double kGroundFrameMPerDeg = 111132.95;

// Built invalid.
struct GroundCurve {
    double originLat = 0.0; // start point A, degrees
    double originLon = 0.0;
    double startTime = std::numeric_limits<double>::quiet_NaN();
    double endNorth = 0.0; // end point C, metres
    double endEast = 0.0;
    double endTime = std::numeric_limits<double>::quiet_NaN();
    double controlEast = std::numeric_limits<double>::quiet_NaN(); // control point B, metres
    double controlNorth = std::numeric_limits<double>::quiet_NaN();
    // Entry k: the length from t = 0 to t = k/64 over the whole length.
    std::array<double, 65> arcTable{};

    // Valid when the control offsets are numbers.
    bool valid() const noexcept;
};

struct TimedPoint {
    double lat = 0.0;
    double lon = 0.0;
    double time = 0.0;
};

struct GroundCurveInput {
    TimedPoint a;   // start point and start time
    TimedPoint b;   // control point; its time is only checked to be finite
    LatLon c;       // end point
    double endTime = 0.0;
};

enum class GroundTurnStatus : uint32_t {
    none = 0,
    invalidInput = 1,
    legTooShort = 2,
    legOutOfRange = 3,
    turnTooSmall = 4,
    turnTooLarge = 5,
    startHeadingMismatch = 6,
    invalidTangent = 7,
    excessiveLength = 8,
};

// Tuning of a GroundTurn build; a value not above 0 takes its default.
enum GroundTurnTuning : uint32_t {
    kTuneMinLeg = 0,       // minimum leg length (corner mode), m: 15
    kTuneMinLegSum = 1,    // minimum sum of both legs (corner mode), m: 50
    kTuneMaxTurn = 2,      // largest heading change from the start heading to leg 2 (corner mode), deg: 60
    kTuneMaxMismatch = 3,  // largest start-heading mismatch, deg: 60
    kTuneCornerFrac = 4,   // largest distance from the corner over the shorter leg (corner mode): 0.35
    kTuneCurvature = 5,    // largest curvature (corner mode), deg per m: 3
    kTuneStartTangent = 6, // start tangent scale (plain mode): 2
};

struct GroundTurnParams {
    LatLon p0;                  // start
    LatLon p1;                  // corner
    LatLon p2;                  // end
    double startHeading = 0.0;  // radians, [0, 2 pi)
    uint8_t stopAtCorner = 0;   // the curve ends at the corner
    std::array<double, 7> tuning{};
    double endHeading = 0.0;    // radians, [0, 2 pi) when given
    uint8_t hasEndHeading = 0;
};

struct GroundTurn {
    double originLat = 0.0; // P0, degrees
    double originLon = 0.0;
    double cornerEast = 0.0; // P1, metres
    double cornerNorth = 0.0;
    double endEast = 0.0; // P2 (the corner when stopping there), metres
    double endNorth = 0.0;
    double startTangentEast = 0.0;
    double startTangentNorth = 0.0;
    double endTangentEast = 0.0;
    double endTangentNorth = 0.0;
    double turnAngleDeg = 0.0;     // between leg 1 and leg 2
    double startMismatchDeg = 0.0; // between the start heading and leg 1
    double length = 0.0;           // metres; 0 when not built
    double outsideDeviation = 0.0; // largest offset from leg 1's line away from the turn, m
    double chordDeviation = 0.0;   // largest distance from the line start -> end, m
    uint8_t cornerMode = 0;
    uint8_t stopAtCorner = 0;
    GroundTurnStatus status = GroundTurnStatus::invalidInput;
    // Entry k: the length from t = 0 to t = k/128 over the whole length.
    std::array<double, 129> arcTable{};
    double follower = 0.0; // fraction reached by the motion step

    // Drives the aircraft: built without fault and of some length.
    bool active() const noexcept { return status == GroundTurnStatus::none && length > 0.0; }
};

struct GroundPose {
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0; // radians, [0, 2 pi)
    uint8_t valid = 0;
};

// Invalid: times and control offsets NaN, table zero.
void gf_invalidateGroundCurve(GroundCurve& curve) noexcept;
// Every field 0, status "invalid input".
void gf_clearGroundTurn(GroundTurn& turn) noexcept;

// Fills the curve, or leaves it invalid on bad input.
void gf_buildGroundCurve(GroundCurve& curve, const GroundCurveInput& input) noexcept;
// The position and heading at `time`; valid = 0 outside the curve's times or
// on an invalid curve.
GroundPose gf_groundCurveAt(const GroundCurve& curve, double time) noexcept;

// True when the status is "none".
bool gf_buildGroundTurn(GroundTurn& turn, const GroundTurnParams& params) noexcept;
// The position and heading at `fraction` of the length (clamped to [0, 1]).
GroundPose gf_groundTurnAt(const GroundTurn& turn, double fraction) noexcept;
// "none", "invalid input", ... "excessive length"; "unknown" otherwise.
std::string_view gf_groundTurnStatusText(const GroundTurn& turn) noexcept;
